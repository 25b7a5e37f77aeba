#pragma once

// LOG_CONTAINER objects (type 10): the top-level objects that carry the inner
// object stream in slices, stored or zlib-compressed.
//
// Layout: base header (header size 16, version 1, object size 32 + payload),
// then u16 compression method, u16 and u32 reserved, u32 uncompressed payload
// size, u32 reserved, the payload, and objectSize % 4 zero bytes of padding.

#include <cstddef>
#include <cstdint>

namespace binlog {

class LogContainer final
{
public:
    LogContainer() = delete;

    static constexpr std::size_t HeaderSize = 32;
    // Uncompressed bytes per container; the stream is cut here wherever that falls.
    static constexpr std::size_t ChunkSize = 131072;
    static constexpr uint16_t MethodStored = 0;
    static constexpr uint16_t MethodZlib = 2; // RFC 1950 stream

    // The first HeaderSize bytes of a container of objectSize bytes (header
    // and payload) holding size bytes of the stream.
    static void encodeHeader(uint8_t *header, uint64_t objectSize, uint16_t method,
                             uint32_t size);

    // Zero bytes that follow a container of the given object size.
    static std::size_t padding(uint64_t objectSize) { return std::size_t(objectSize % 4); }

    // Compression method and stated uncompressed size from a container's first
    // HeaderSize bytes.
    static uint16_t method(const uint8_t *header);
    static uint32_t uncompressedSize(const uint8_t *header);
};

} // namespace binlog
