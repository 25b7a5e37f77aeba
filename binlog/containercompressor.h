#pragma once

// Compresses the slices of a BLF object stream into log containers on worker
// threads and hands the containers back in stream order. Compression is most
// of the cost of writing a BLF file; one thread per core spreads it.
// A container depends on its slice and the level alone, so the file is the
// same byte for byte whatever the number of threads.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace binlog {

class ContainerCompressor final
{
public:
    // Gets each finished container (empty when compression failed) with the
    // size of its slice, in stream order, on the thread that submits.
    using Sink = std::function<void(const std::vector<uint8_t> &container, std::size_t sliceSize)>;

    ContainerCompressor(int level, unsigned threads, Sink sink);
    // Stops the threads; containers not yet handed to the sink are dropped.
    ~ContainerCompressor();
    ContainerCompressor(const ContainerCompressor &) = delete;
    ContainerCompressor &operator=(const ContainerCompressor &) = delete;

    // Queues one slice. Waits while the queue is full; hands the sink every
    // container finished by then.
    void submit(std::vector<uint8_t> slice);
    // Waits for every slice and hands the sink the rest.
    void finish();

private:
    struct Done
    {
        std::vector<uint8_t> container;
        std::size_t sliceSize = 0;
    };

    void work();
    // With the lock held: hands the sink the containers next in order.
    void deliver(std::unique_lock<std::mutex> &lock);

    const int level;
    const std::size_t limit; // slices queued or in work at most
    Sink sink;

    std::mutex mutex;
    std::condition_variable jobAdded;
    std::condition_variable jobDone;
    std::deque<std::pair<uint64_t, std::vector<uint8_t>>> jobs;
    std::map<uint64_t, Done> done;
    uint64_t submitted = 0;
    uint64_t delivered = 0;
    bool stopping = false;
    std::vector<std::thread> workers;
};

} // namespace binlog
