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

const FrameChunk &FrameSnapshot::chunkOf(int index) const
{
    return *chunks[std::size_t(index >> chunkShift)];
}

int FrameSnapshot::inChunk(int index) const
{
    return index & ((1 << chunkShift) - 1);
}

const Vemi_CANFD_Data &FrameSnapshot::frameAt(int index, Vemi_CANFD_Data &scratch) const
{
    if (chunks.empty())
        return vector.at(index);
    chunkOf(index).readPayload(inChunk(index), scratch);
    return scratch;
}

Vemi_CANFD_Data FrameSnapshot::at(int index) const
{
    if (chunks.empty())
        return vector.at(index);
    Vemi_CANFD_Data frame;
    const FrameChunk::Previous previous{index > 0, index > 0 ? timestampAt(index - 1) : 0};
    chunkOf(index).read(inChunk(index), previous, frame);
    return frame;
}

uint32_t FrameSnapshot::identifierAt(int index) const
{
    if (chunks.empty())
        return vector.at(index).identifier();
    return chunkOf(index).idWord(inChunk(index)) & Vemi_CANFD_Data::IdMask;
}

uint64_t FrameSnapshot::timestampAt(int index) const
{
    if (chunks.empty())
        return vector.at(index).timestamp;
    return chunkOf(index).timestamp(inChunk(index));
}

const void *FrameSnapshot::addressOf(int index) const
{
    if (chunks.empty())
        return &vector.at(index);
    return chunkOf(index).address(inChunk(index));
}

QVector<Vemi_CANFD_Data> FrameSnapshot::toVector() const
{
    if (chunks.empty())
        return vector;
    QVector<Vemi_CANFD_Data> frames;
    frames.reserve(count);
    for (int i = 0; i < count; ++i)
        frames.append(at(i));
    return frames;
}
