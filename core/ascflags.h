#pragma once

#include <cstdint>

// Bits of the flags field that follows the data on a CAN FD line of an ASC log,
// for the reader and the writer alike. Each bit stands on its own: ESI set does
// not clear BRS, and with FDF clear the line holds a classic frame.
struct AscFlags final
{
    AscFlags() = delete;

    static constexpr uint32_t Remote = 0x0010; // classic remote frame; its length is the DLC
    static constexpr uint32_t Fdf = 0x1000;    // a CAN FD frame
    static constexpr uint32_t Brs = 0x2000;    // bit-rate switch
    static constexpr uint32_t Esi = 0x4000;    // error state indicator
};
