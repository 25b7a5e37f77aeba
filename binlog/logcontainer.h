#pragma once

// LOG_CONTAINER objects (type 10): the top-level objects that carry the inner
// object stream in slices, stored or zlib-compressed.
//
// Layout: base header (header size 16, version 1, object size 32 + payload),
// then u16 compression method, u16 and u32 reserved, u32 uncompressed payload
// size, u32 reserved, the payload, and objectSize % 4 zero bytes of padding.

#include <cstddef>
#include <cstdint>
#include <vector>

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

    // One slice of the inner stream as a complete container, padding included:
    // stored at level 0, else zlib at that level. The result depends on the
    // arguments alone, so slices may be encoded on any thread. Empty when
    // compression fails.
    static std::vector<uint8_t> encode(const uint8_t *data, std::size_t size, int level);

    // Zero bytes that follow a container of the given object size.
    static std::size_t padding(uint64_t objectSize) { return std::size_t(objectSize % 4); }

    // Compression method and stated uncompressed size from a container's first
    // HeaderSize bytes.
    static uint16_t method(const uint8_t *header);
    static uint32_t uncompressedSize(const uint8_t *header);
};

} // namespace binlog
