#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

#include <QVector>

#include "vemi_canfd_data.h"

// Frames handed from a reader's thread to a writer's thread in the reader's
// batches, with at most a few batches waiting between them: a log of any
// size passes through in bounded memory. The writer may give up early
// (cancel), which ends the reader's pushing.
class FrameStream final
{
public:
    static constexpr int DefaultWaitingBatches = 8;

    explicit FrameStream(int waitingBatches = DefaultWaitingBatches);

    // The reader's side. Waits while the batches waiting are many; false once
    // the writer has given up, and the batch is dropped.
    bool push(const QVector<Vemi_CANFD_Data> &batch);
    // No more batches will come.
    void finish();

    // The writer's side. Waits for the next batch; false at the end.
    bool pop(QVector<Vemi_CANFD_Data> &batch);
    // The first frame's timestamp without taking its batch; false when the
    // stream ended without a frame.
    bool firstTimestamp(uint64_t &timestamp);
    // The writer gives up: what waits is dropped, and push fails from now on.
    void cancel();

    // Set by the writer when a frame came earlier than the time origin it
    // took from the first frame: the output is void, and a second pass with
    // the earliest time over the whole log is needed.
    void setOutOfOrder() { outOfOrder = true; }
    bool isOutOfOrder() const { return outOfOrder; }

    // Frames the reader handed over, and those the writer took.
    int64_t framesGiven() const;
    int64_t framesTaken() const;

private:
    mutable std::mutex lock;
    std::condition_variable changed;
    std::deque<QVector<Vemi_CANFD_Data>> waiting;
    const std::size_t limit;
    bool finished = false;
    bool cancelled = false;
    std::atomic<bool> outOfOrder{false};
    int64_t given = 0;
    int64_t taken = 0;
};
