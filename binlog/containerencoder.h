#pragma once

// Turns slices of the inner object stream into complete log containers at one
// compression level: stored at level 0, else a zlib stream (RFC 1950, method
// 2) made by libdeflate at the same level, about twice zlib's speed at a
// similar size. The compressor's tables are the encoder's own, so each thread
// that compresses needs an encoder of its own.

#include <cstddef>
#include <cstdint>
#include <vector>

struct libdeflate_compressor;

namespace binlog {

class ContainerEncoder final
{
public:
    // level 0 (stored) to 9.
    explicit ContainerEncoder(int level);
    ~ContainerEncoder();
    ContainerEncoder(const ContainerEncoder &) = delete;
    ContainerEncoder &operator=(const ContainerEncoder &) = delete;

    // The slice as a complete container, padding included. The bytes depend on
    // the slice and the level alone, whichever encoder makes them. Empty when
    // compression fails.
    std::vector<uint8_t> encode(const uint8_t *data, std::size_t size);

private:
    const int level;
    libdeflate_compressor *compressor = nullptr; // made with the first compressed slice
};

} // namespace binlog
