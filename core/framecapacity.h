#pragma once

#include <cstddef>
#include <limits>

#include <QArrayData>

#include "vemi_canfd_data.h"

// How many frames of one file the program holds. The frame store takes frames
// until the table's rows run out (a row number is an int) or the store's
// memory would pass a share of the machine's physical memory; then it keeps
// what it holds, the rest of the file is left unread and the user is told.
class FrameCapacity final
{
public:
    // What one QVector of records holds: Qt 5 limits its block to 2 GiB, so
    // 15 790 320 records of 136 bytes with the vector's header. A reader that
    // gathers a whole file in one vector stops there.
    static constexpr int VectorMaximum = int((std::numeric_limits<int>::max()
                                              - sizeof(QArrayData))
                                             / sizeof(Vemi_CANFD_Data));
    // The store's own limit: one row per frame.
    static constexpr int Maximum = std::numeric_limits<int>::max();
    // The share of physical memory the store may fill, in percent.
    static constexpr int MemoryPercent = 80;

    FrameCapacity() = delete;

    // Frames the store takes: Maximum, unless a test lowered it.
    static int limit();
    // Frames one vector takes: VectorMaximum, or the lowered limit.
    static int vectorLimit();
    // Bytes the store may allocate: MemoryPercent of physical memory, unless
    // a test lowered it.
    static std::size_t memoryLimit();

    // For tests, which cannot afford gigabytes: a value above 0 sets the
    // limit, 0 restores the default. Set it before a parse starts.
    static void setLimitForTesting(int frames);
    static void setMemoryLimitForTesting(std::size_t bytes);
};
