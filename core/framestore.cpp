#include "framestore.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <new>

#ifdef __GLIBC__
#include <malloc.h>
#endif

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

std::size_t FrameStore::openChunkBytes()
{
    const int shift = testChunkShift.load() > 0 ? testChunkShift.load() : defaultShift();
    return FrameChunk::openBytes(1 << shift);
}

Vemi_CANFD_Data FrameStore::at(int index) const
{
    Vemi_CANFD_Data frame;
    const int mask = (1 << chunkShift) - 1;
    const FrameChunk::Previous previous{index > 0, index > 0 ? timestampAt(index - 1) : 0};
    chunks[std::size_t(index >> chunkShift)]->read(index & mask, previous, frame);
    return frame;
}

uint64_t FrameStore::timestampAt(int index) const
{
    const int mask = (1 << chunkShift) - 1;
    return chunks[std::size_t(index >> chunkShift)]->timestamp(index & mask);
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
    const std::size_t more = std::size_t(std::max(needed - int(chunks.size()), 0))
                             * FrameChunk::openBytes(chunkFrames);
    if (bytes + more > FrameCapacity::memoryLimit())
        return false;
    try {
        chunks.reserve(std::size_t(needed));
        while (int(chunks.size()) < needed) {
            chunks.push_back(std::make_shared<FrameChunk>(chunkFrames));
            bytes += chunks.back()->bytes();
        }
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

void FrameStore::sealFullChunks()
{
    // A full chunk gives its reserve back: in place when only the store holds
    // it; else a snapshot that holds the open one keeps reading it, and the
    // store takes a copy. Without memory for the copy the open one stays.
    while (sealed < chunks.size() && chunks[sealed]->isFull()) {
        if (chunks[sealed].use_count() == 1) {
            bytes -= chunks[sealed]->bytes();
            chunks[sealed]->shrink();
            bytes += chunks[sealed]->bytes();
            ++sealed;
            continue;
        }
        try {
            std::shared_ptr<FrameChunk> copy = chunks[sealed]->sealed();
            bytes += copy->bytes();
            bytes -= chunks[sealed]->bytes();
            chunks[sealed] = std::move(copy);
        } catch (const std::bad_alloc &) {
        }
        ++sealed;
    }
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
            const Vemi_CANFD_Data &frame = batch.at(i);
            chunks[std::size_t(index >> chunkShift)]->append(frame, {index > 0, lastTimestamp});
            lastTimestamp = frame.timestamp;
        }
        count += taken;
        sealFullChunks();
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
#ifdef __GLIBC__
    // The chunks are mostly too small for the C library to map them on their
    // own, so their pages stay with the process unless it is told to give
    // free memory back.
    malloc_trim(0);
#endif
    count = 0;
    sealed = 0;
    bytes = 0;
    lastTimestamp = 0;
    fullReported = false;
    emit cleared();
}
