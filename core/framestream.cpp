#include "framestream.h"

#include <algorithm>

FrameStream::FrameStream(int waitingBatches)
    : limit(std::size_t(std::max(waitingBatches, 1)))
{
}

bool FrameStream::push(const QVector<Vemi_CANFD_Data> &batch)
{
    std::unique_lock<std::mutex> guard(lock);
    changed.wait(guard, [this] { return cancelled || waiting.size() < limit; });
    if (cancelled)
        return false;
    if (!batch.isEmpty())
        waiting.push_back(batch);
    given += batch.size();
    changed.notify_all();
    return true;
}

void FrameStream::finish()
{
    std::lock_guard<std::mutex> guard(lock);
    finished = true;
    changed.notify_all();
}

bool FrameStream::pop(QVector<Vemi_CANFD_Data> &batch)
{
    std::unique_lock<std::mutex> guard(lock);
    changed.wait(guard, [this] { return cancelled || finished || !waiting.empty(); });
    if (cancelled || waiting.empty())
        return false;
    batch = waiting.front();
    waiting.pop_front();
    taken += batch.size();
    changed.notify_all();
    return true;
}

bool FrameStream::firstTimestamp(uint64_t &timestamp)
{
    std::unique_lock<std::mutex> guard(lock);
    changed.wait(guard, [this] { return cancelled || finished || !waiting.empty(); });
    if (cancelled || waiting.empty())
        return false;
    timestamp = waiting.front().constFirst().timestamp;
    return true;
}

void FrameStream::cancel()
{
    std::lock_guard<std::mutex> guard(lock);
    cancelled = true;
    waiting.clear();
    changed.notify_all();
}

int64_t FrameStream::framesGiven() const
{
    std::lock_guard<std::mutex> guard(lock);
    return given;
}

int64_t FrameStream::framesTaken() const
{
    std::lock_guard<std::mutex> guard(lock);
    return taken;
}
