#pragma once

#include <QtGlobal>

// One operation's figures: its time (one run's, or the median of several), the
// frames it moved and the file bytes it read or wrote.
struct Measurement
{
    bool ok = false;
    double seconds = 0;
    qint64 frames = 0;
    qint64 bytes = 0;

    double framesPerSecond() const { return seconds > 0 ? double(frames) / seconds : 0; }
    double megabytesPerSecond() const { return seconds > 0 ? double(bytes) / 1e6 / seconds : 0; }
};
