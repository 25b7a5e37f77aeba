#pragma once

#include <vector>

#include "vemi_canfd_data.h"

// A fixed number of frames in one block of their own. Its room is reserved
// once and never moves, so a snapshot may read the frames it holds on another
// thread while later frames are appended behind them.
class FrameChunk final
{
public:
    explicit FrameChunk(int capacity) { frames.reserve(std::size_t(capacity)); }

    int size() const { return int(frames.size()); }
    bool isFull() const { return frames.size() == frames.capacity(); }

    void append(const Vemi_CANFD_Data &frame) { frames.push_back(frame); }

    const Vemi_CANFD_Data &frame(int index) const { return frames[std::size_t(index)]; }

private:
    std::vector<Vemi_CANFD_Data> frames;
};
