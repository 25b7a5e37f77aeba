#pragma once

#include <cstdint>

// What the reader and the writer of candump logs share of a line
// "(seconds) interface frame [R|T]", where the frame is "id#data" (classic
// data), "id#R[length]" (remote) or "id##<flags digit>data" (CAN FD).
struct CandumpLayout final
{
    CandumpLayout() = delete;

    // Hexadecimal digits of a standard and of an extended identifier; no
    // other count is an identifier.
    static constexpr int StandardIdDigits = 3;
    static constexpr int ExtendedIdDigits = 8;
    // Set in an identifier of 8 digits: an error frame, whose data describe
    // the error rather than carry a payload.
    static constexpr uint32_t ErrorFrameBit = 0x20000000;
    // Bits of the flags digit of a CAN FD frame.
    static constexpr int Brs = 0x1; // bit-rate switch
    static constexpr int Esi = 0x2; // error state indicator
    // After "_": the DLC above 8 of a classic frame of 8 bytes.
    static constexpr char RawDlcMark = '_';
    // The optional token after the frame.
    static constexpr char Received = 'R';
    static constexpr char Sent = 'T';
    // Interfaces are written as this prefix and the channel counted from 0.
    static constexpr const char *InterfacePrefix = "can";
};
