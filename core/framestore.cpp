#include "framestore.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <new>

#include "framecapacity.h"
#include "framechunk.h"

namespace {

std::atomic<int> testChunkShift{0};

int defaultShift()
{
    int shift = 0;
    while ((1 << shift) < FrameStore::DefaultChunkFrames)
        ++shift;
    return shift;
}

} // namespace

FrameStore::FrameStore(QObject *parent)
    : QObject(parent)
    , chunkShift(testChunkShift.load() > 0 ? testChunkShift.load() : defaultShift())
{
}

FrameStore::~FrameStore() = default;

void FrameStore::setChunkFramesForTesting(int frames)
{
    int shift = 0;
    while (frames > 0 && (1 << shift) < frames)
        ++shift;
    testChunkShift.store(frames > 0 ? std::max(shift, 1) : 0);
}

Vemi_CANFD_Data FrameStore::at(int index) const
{
    const int mask = (1 << chunkShift) - 1;
    return chunks[std::size_t(index >> chunkShift)]->frame(index & mask);
}

FrameSnapshot FrameStore::snapshot() const
{
    FrameSnapshot frames;
    frames.chunks.assign(chunks.begin(), chunks.end());
    frames.chunkShift = chunkShift;
    frames.count = count;
    return frames;
}

int FrameStore::room(int wanted) const
{
    if (fullReported)
        return 0;
    return std::min(wanted, std::max(FrameCapacity::limit() - count, 0));
}

bool FrameStore::makeRoom(int frames)
{
    // Every chunk the frames need is there before the first is announced, so
    // running out of memory never leaves a row announced and not filled.
    const int chunkFrames = 1 << chunkShift;
    const int needed = int((int64_t(count) + frames + chunkFrames - 1) >> chunkShift);
    try {
        chunks.reserve(std::size_t(needed));
        while (int(chunks.size()) < needed)
            chunks.push_back(std::make_shared<FrameChunk>(chunkFrames));
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

int FrameStore::append(const QVector<Vemi_CANFD_Data> &batch)
{
    if (batch.isEmpty())
        return 0;
    int taken = room(batch.size());
    while (taken > 0 && !makeRoom(taken))
        taken /= 2;
    if (taken > 0) {
        const int first = count;
        emit framesAboutToBeAppended(first, first + taken - 1);
        for (int i = 0; i < taken; ++i) {
            const int index = count + i;
            chunks[std::size_t(index >> chunkShift)]->append(batch.at(i));
        }
        count += taken;
        emit framesAppended(first, first + taken - 1);
    }
    // Memory ran out, or the capacity rule says no more: what is held stays.
    if (!fullReported && (taken < batch.size() || count >= FrameCapacity::limit())) {
        fullReported = true;
        emit full(count);
    }
    return taken;
}

void FrameStore::clear()
{
    emit aboutToBeCleared();
    std::vector<std::shared_ptr<FrameChunk>>().swap(chunks);
    count = 0;
    fullReported = false;
    emit cleared();
}
