#pragma once

#include <cstddef>
#include <limits>

#include <QArrayData>

#include "vemi_canfd_data.h"

// How many frames of one file the program holds. The table, and the BLF reader
// while it gathers, keep a file's frames in one QVector, and Qt 5 limits a
// vector's block to 2 GiB: a longer log would make the allocation fail and end
// the program. Beyond the limit frames are left unread and the user is told.
class FrameCapacity final
{
public:
    // 15 790 320 records of 136 bytes, with the vector's header, in 2 GiB - 1.
    static constexpr int Maximum = int((std::numeric_limits<int>::max() - sizeof(QArrayData))
                                       / sizeof(Vemi_CANFD_Data));

    FrameCapacity() = delete;

    // Maximum, unless a test lowered it.
    static int limit();
    // For tests, which cannot afford gigabytes: frames above 0 set the limit,
    // 0 restores Maximum. Set it before a parse starts.
    static void setLimitForTesting(int frames);
};
