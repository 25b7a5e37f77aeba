#include "prefetchstream.h"

#include <utility>

namespace binlog {

PrefetchStream::PrefetchStream(std::unique_ptr<ContainerStream> source)
    : stream(std::move(source))
    , worker(&PrefetchStream::run, this)
{
}

PrefetchStream::~PrefetchStream()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    worker.join();
}

ContainerStream::Pull PrefetchStream::pull(std::vector<uint8_t> &out)
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return !ready.empty() || ended; });
    if (ready.empty())
        return ContainerStream::Pull::End;
    Slice slice = std::move(ready.front());
    ready.pop_front();
    pulledPosition = slice.position;
    pulledDamage = slice.damaged;
    lock.unlock();
    changed.notify_all();

    out.insert(out.end(), slice.bytes.begin(), slice.bytes.end());
    slice.bytes.clear();
    lock.lock();
    spare.push_back(std::move(slice.bytes));
    return slice.result;
}

void PrefetchStream::run()
{
    for (;;) {
        Slice slice;
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [this] { return ready.size() < Depth || stopping; });
            if (stopping)
                return;
            if (!spare.empty()) {
                slice.bytes = std::move(spare.back());
                spare.pop_back();
            }
        }
        try {
            slice.result = stream->pull(slice.bytes);
            slice.damaged = stream->damaged();
        } catch (...) {
            // Out of memory: the stream ends here, as a failed read would end it.
            slice.result = ContainerStream::Pull::End;
            slice.bytes.clear();
            slice.damaged = true;
        }
        slice.position = stream->position();
        const bool last = slice.result == ContainerStream::Pull::End;
        {
            std::lock_guard<std::mutex> lock(mutex);
            ready.push_back(std::move(slice));
            ended = last;
        }
        changed.notify_all();
        if (last)
            return;
    }
}

} // namespace binlog
