#pragma once

// Explicit little-endian field access: the on-disk byte order of every BLF
// field, whatever the byte order of the host.

#include <cstddef>
#include <cstdint>

namespace binlog {

class LittleEndian final
{
public:
    LittleEndian() = delete;

    // True where the host stores numbers as the file does, so that a field
    // may be copied as it is.
#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__)
    static constexpr bool hostOrder = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
#elif defined(_WIN32)
    static constexpr bool hostOrder = true;
#else
    static constexpr bool hostOrder = false;
#endif

    static uint16_t get16(const uint8_t *p) { return uint16_t(p[0] | (p[1] << 8)); }

    static uint32_t get32(const uint8_t *p)
    {
        return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16)
               | (uint32_t(p[3]) << 24);
    }

    static uint64_t get64(const uint8_t *p)
    {
        return uint64_t(get32(p)) | (uint64_t(get32(p + 4)) << 32);
    }

    static void put16(uint8_t *p, uint16_t v)
    {
        p[0] = uint8_t(v);
        p[1] = uint8_t(v >> 8);
    }

    static void put32(uint8_t *p, uint32_t v)
    {
        put16(p, uint16_t(v));
        put16(p + 2, uint16_t(v >> 16));
    }

    static void put64(uint8_t *p, uint64_t v)
    {
        put32(p, uint32_t(v));
        put32(p + 4, uint32_t(v >> 32));
    }

    // Reads an unsigned field of 1, 2, 4 or 8 bytes.
    static uint64_t get(const uint8_t *p, std::size_t width)
    {
        uint64_t v = 0;
        for (std::size_t i = width; i-- > 0;)
            v = (v << 8) | p[i];
        return v;
    }

    // Writes the low width bytes of v.
    static void put(uint8_t *p, std::size_t width, uint64_t v)
    {
        for (std::size_t i = 0; i < width; ++i, v >>= 8)
            p[i] = uint8_t(v);
    }
};

} // namespace binlog
