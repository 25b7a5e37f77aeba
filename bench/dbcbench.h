#pragma once

#include "measurement.h"

// Decoding frames' signals with a DBC database, as the window's signal panel
// and the converter's signal table do: a generated database of 50 messages
// (classic and CAN FD, both byte orders, signed, multiplexed, value tables)
// and frames of its identifiers, decoded one after the other.
class DbcBench final
{
public:
    // Generates the database and the frames, untimed; then times looking up
    // each frame's message and decoding all its signals.
    static Measurement decode(int frames);
};
