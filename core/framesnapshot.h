#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <QVector>

#include "vemi_canfd_data.h"

class FrameChunk;

// The frames of a store as they were at one moment, or of a vector: read-only,
// cheap to copy, and safe to read on any thread while the store goes on
// growing or is cleared. Frames are reached by index; a frame is handed out
// as a full record.
class FrameSnapshot final
{
public:
    FrameSnapshot();
    // Shares the vector; nothing is copied.
    explicit FrameSnapshot(const QVector<Vemi_CANFD_Data> &frames);
    ~FrameSnapshot();
    FrameSnapshot(const FrameSnapshot &other);
    FrameSnapshot &operator=(const FrameSnapshot &other);

    int size() const { return count; }
    bool isEmpty() const { return count == 0; }

    // The frames at rows (positions into this snapshot, in the order given):
    // a filter's matches, without copying a frame.
    FrameSnapshot selected(std::shared_ptr<const std::vector<uint32_t>> rows) const;

    // The frame at index as the writers read it, where it lies or made in
    // scratch, a record used before: every field but the time text, which is
    // left as scratch had it. Valid until scratch is used again.
    const Vemi_CANFD_Data &frameAt(int index, Vemi_CANFD_Data &scratch) const;
    // The whole record.
    Vemi_CANFD_Data at(int index) const;
    // What sorting and the time origin need, without making the whole record.
    uint32_t identifierAt(int index) const;
    uint64_t timestampAt(int index) const;
    // Where the frame's bytes begin, for a prefetch.
    const void *addressOf(int index) const;

    // Every frame as a vector of full records.
    QVector<Vemi_CANFD_Data> toVector() const;

private:
    friend class FrameStore;

    const FrameChunk &chunkOf(int index) const;
    int inChunk(int index) const;
    // The position among all frames of the snapshot's frame index.
    int sourceOf(int index) const;

    QVector<Vemi_CANFD_Data> vector;
    std::vector<std::shared_ptr<const FrameChunk>> chunks;
    std::shared_ptr<const std::vector<uint32_t>> selection;
    int chunkShift = 0;
    int count = 0;
};
