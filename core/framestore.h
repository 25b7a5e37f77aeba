#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include <QObject>
#include <QVector>

#include "framesnapshot.h"
#include "vemi_canfd_data.h"

class FrameChunk;

// The frames of the file being shown, in file order: the one place that holds
// them, for the table, the export and the converter alike. Frames are kept in
// chunks of compact entries (FrameChunk), so growing never moves the ones
// already held and a frame takes the bytes it needs; callers see full records
// by index or through a snapshot. Lives on one thread; snapshots go to
// others. When it cannot take more (the table's rows run out, memory would
// pass its share, or an allocation fails) it keeps what it holds and says so
// once, until it is cleared.
class FrameStore final : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultChunkFrames = 8192;

    explicit FrameStore(QObject *parent = nullptr);
    ~FrameStore() override;

    int size() const { return count; }
    bool isEmpty() const { return count == 0; }
    bool isFull() const { return fullReported; }
    // Bytes allocated for the frames.
    std::size_t memoryUsed() const { return bytes; }

    // A full record, made on request.
    Vemi_CANFD_Data at(int index) const;
    uint64_t timestampAt(int index) const;
    FrameSnapshot snapshot() const;

    // Takes the frames of batch in order, as many as the store may hold;
    // returns how many it took.
    int append(const QVector<Vemi_CANFD_Data> &batch);
    // Lets go of every frame; snapshots taken before keep theirs.
    void clear();

    // What an open chunk allocates, for tests of the memory limit.
    static std::size_t openChunkBytes();

    // For tests: frames per chunk, rounded up to a power of two; 0 restores
    // the default. Takes effect for stores created afterwards.
    static void setChunkFramesForTesting(int frames);

signals:
    void framesAboutToBeAppended(int first, int last);
    void framesAppended(int first, int last);
    void aboutToBeCleared();
    void cleared();
    // The store holds as many frames as it can; what follows is not kept.
    void full(int held);

private:
    int room(int wanted) const;
    bool makeRoom(int frames);
    void sealFullChunks();

    std::vector<std::shared_ptr<FrameChunk>> chunks;
    std::size_t sealed = 0; // chunks before this one are sealed
    std::size_t bytes = 0;
    int chunkShift;
    int count = 0;
    uint64_t lastTimestamp = 0;
    bool fullReported = false;
};
