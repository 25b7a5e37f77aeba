#pragma once

#include <QVector>

#include "vemi_canfd_data.h"

// Growing a vector of millions of frames without holding it twice. QVector
// (Qt 5) grows by allocating a new block and copying the records into it, so
// for a moment the frames are resident twice. The record is relocatable, so
// the block may move with realloc instead, which the C library does for large
// blocks by remapping pages: no copy, and nothing resident twice.
class FrameVector final
{
public:
    FrameVector() = delete;

    // Makes room for extra more frames. A vector shared with another one, or
    // one that never held a frame, is left as it is: its next append grows it
    // the ordinary way.
    static void reserveForAppend(QVector<Vemi_CANFD_Data> &frames, int extra)
    {
        if (frames.size() + extra > frames.capacity())
            grow(frames, frames.size() + extra);
    }

    // Appends batch. An empty vector takes the batch itself, without a copy.
    static void append(QVector<Vemi_CANFD_Data> &frames, const QVector<Vemi_CANFD_Data> &batch);

private:
    static void grow(QVector<Vemi_CANFD_Data> &frames, int capacity);
};
