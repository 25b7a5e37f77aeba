#include "containercompressor.h"

#include <algorithm>
#include <utility>

#include "containerencoder.h"

namespace binlog {

ContainerCompressor::ContainerCompressor(int compressionLevel, unsigned threads, Sink output)
    : level(compressionLevel)
    , limit(2 * std::max(threads, 1u) + 1)
    , sink(std::move(output))
{
    for (unsigned i = 0; i < std::max(threads, 1u); ++i)
        workers.emplace_back(&ContainerCompressor::work, this);
}

ContainerCompressor::~ContainerCompressor()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    jobAdded.notify_all();
    for (std::thread &worker : workers)
        worker.join();
}

void ContainerCompressor::submit(std::vector<uint8_t> slice)
{
    std::unique_lock<std::mutex> lock(mutex);
    jobs.emplace_back(submitted++, std::move(slice));
    jobAdded.notify_one();
    // Bounded: a writer faster than the compression waits here.
    while (submitted - delivered >= limit) {
        jobDone.wait(lock, [this] { return done.count(delivered) > 0; });
        deliver(lock);
    }
    deliver(lock);
}

void ContainerCompressor::finish()
{
    std::unique_lock<std::mutex> lock(mutex);
    while (delivered < submitted) {
        jobDone.wait(lock, [this] { return done.count(delivered) > 0; });
        deliver(lock);
    }
}

void ContainerCompressor::deliver(std::unique_lock<std::mutex> &lock)
{
    for (auto next = done.find(delivered); next != done.end(); next = done.find(delivered)) {
        Done finished = std::move(next->second);
        done.erase(next);
        ++delivered;
        lock.unlock();
        sink(finished.container, finished.sliceSize);
        lock.lock();
    }
}

void ContainerCompressor::work()
{
    ContainerEncoder encoder(level);
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        jobAdded.wait(lock, [this] { return stopping || !jobs.empty(); });
        if (stopping)
            return;
        auto [sequence, slice] = std::move(jobs.front());
        jobs.pop_front();
        lock.unlock();
        Done result;
        result.sliceSize = slice.size();
        try {
            result.container = encoder.encode(slice.data(), slice.size());
        } catch (...) {
            result.container.clear(); // out of memory: a failed container
        }
        lock.lock();
        done.emplace(sequence, std::move(result));
        jobDone.notify_all();
    }
}

} // namespace binlog
