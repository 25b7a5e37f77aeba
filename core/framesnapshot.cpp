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

FrameSnapshot FrameSnapshot::selected(std::shared_ptr<const std::vector<uint32_t>> rows) const
{
    FrameSnapshot subset = *this;
    if (selection) {
        // Positions into this selection become positions into the frames.
        auto mapped = std::make_shared<std::vector<uint32_t>>();
        mapped->reserve(rows->size());
        for (uint32_t row : *rows)
            mapped->push_back((*selection)[row]);
        rows = std::move(mapped);
    }
    subset.selection = std::move(rows);
    subset.count = int(subset.selection->size());
    return subset;
}

int FrameSnapshot::sourceOf(int index) const
{
    return selection ? int((*selection)[std::size_t(index)]) : index;
}

const Vemi_CANFD_Data &FrameSnapshot::frameAt(int index, Vemi_CANFD_Data &scratch) const
{
    index = sourceOf(index);
    if (chunks.empty())
        return vector.at(index);
    chunkOf(index).readPayload(inChunk(index), scratch);
    return scratch;
}

Vemi_CANFD_Data FrameSnapshot::at(int index) const
{
    index = sourceOf(index);
    if (chunks.empty())
        return vector.at(index);
    Vemi_CANFD_Data frame;
    // The frame before it in the log, selected or not.
    const FrameChunk::Previous previous{
        index > 0, index > 0 ? chunkOf(index - 1).timestamp(inChunk(index - 1)) : 0};
    chunkOf(index).read(inChunk(index), previous, frame);
    return frame;
}

uint32_t FrameSnapshot::identifierAt(int index) const
{
    index = sourceOf(index);
    if (chunks.empty())
        return vector.at(index).identifier();
    return chunkOf(index).idWord(inChunk(index)) & Vemi_CANFD_Data::IdMask;
}

uint64_t FrameSnapshot::timestampAt(int index) const
{
    index = sourceOf(index);
    if (chunks.empty())
        return vector.at(index).timestamp;
    return chunkOf(index).timestamp(inChunk(index));
}

const void *FrameSnapshot::addressOf(int index) const
{
    index = sourceOf(index);
    if (chunks.empty())
        return &vector.at(index);
    return chunkOf(index).address(inChunk(index));
}

QVector<Vemi_CANFD_Data> FrameSnapshot::toVector() const
{
    if (chunks.empty() && !selection)
        return vector;
    QVector<Vemi_CANFD_Data> frames;
    frames.reserve(count);
    for (int i = 0; i < count; ++i)
        frames.append(at(i));
    return frames;
}
