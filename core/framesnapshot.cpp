#include "framesnapshot.h"

#include "framechunk.h"

FrameSnapshot::FrameSnapshot() = default;

FrameSnapshot::FrameSnapshot(const QVector<Vemi_CANFD_Data> &frames)
    : vector(frames)
    , count(frames.size())
{
}

FrameSnapshot::~FrameSnapshot() = default;
FrameSnapshot::FrameSnapshot(const FrameSnapshot &other) = default;
FrameSnapshot &FrameSnapshot::operator=(const FrameSnapshot &other) = default;

const Vemi_CANFD_Data &FrameSnapshot::stored(int index) const
{
    if (chunks.empty())
        return vector.at(index);
    const int mask = (1 << chunkShift) - 1;
    return chunks[std::size_t(index >> chunkShift)]->frame(index & mask);
}

const Vemi_CANFD_Data &FrameSnapshot::frameAt(int index, Vemi_CANFD_Data &) const
{
    return stored(index);
}

Vemi_CANFD_Data FrameSnapshot::at(int index) const
{
    return stored(index);
}

uint32_t FrameSnapshot::identifierAt(int index) const
{
    return stored(index).identifier();
}

uint64_t FrameSnapshot::timestampAt(int index) const
{
    return stored(index).timestamp;
}

const void *FrameSnapshot::addressOf(int index) const
{
    return &stored(index);
}

QVector<Vemi_CANFD_Data> FrameSnapshot::toVector() const
{
    if (chunks.empty())
        return vector;
    QVector<Vemi_CANFD_Data> frames;
    frames.reserve(count);
    for (int i = 0; i < count; ++i)
        frames.append(stored(i));
    return frames;
}
