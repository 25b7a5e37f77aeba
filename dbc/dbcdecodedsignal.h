#pragma once

#include <cstdint>

// One signal of one frame, at the signal's index in its message. A signal is
// absent when the frame is too short for it, its switch does not select it,
// or its definition could not be decoded.
struct DbcDecodedSignal
{
    uint64_t raw = 0; // the signal's bits; DbcSignal::integerValue gives the signed number
    double value = 0; // physical value: factor and offset applied
    bool present = false;
};
