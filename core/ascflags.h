#pragma once

#include <cstdint>

// The flags field of an ASC CAN FD frame line: hexadecimal, the third of the
// eight fields after the data bytes. Shared by the ASC reader and writer.
class AscFlags final
{
public:
    AscFlags() = delete;

    static constexpr uint32_t Remote = 0x0010; // remote frame (only with FDF clear)
    static constexpr uint32_t Fdf = 0x1000;    // a CAN FD frame; clear: classic
    static constexpr uint32_t Brs = 0x2000;    // bit-rate switch
    static constexpr uint32_t Esi = 0x4000;    // error state indicator
};
