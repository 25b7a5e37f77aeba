#pragma once

// The inner object stream of a BLF file, inflated ahead on a thread of its
// own: inflating takes about as long as everything else a reader does with
// the objects, so the two run side by side. At most Depth slices wait.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "containerstream.h"

namespace binlog {

class PrefetchStream final
{
public:
    static constexpr std::size_t Depth = 4;

    // Starts pulling from stream at once.
    explicit PrefetchStream(std::unique_ptr<ContainerStream> stream);
    // Stops the thread; the slices not yet taken are dropped.
    ~PrefetchStream();
    PrefetchStream(const PrefetchStream &) = delete;
    PrefetchStream &operator=(const PrefetchStream &) = delete;

    // ContainerStream::pull, in the same order, from the slices pulled ahead.
    ContainerStream::Pull pull(std::vector<uint8_t> &out);
    // ContainerStream::position and damaged as they were after the slice
    // pulled last.
    uint64_t position() const { return pulledPosition; }
    bool damaged() const { return pulledDamage; }

private:
    struct Slice
    {
        ContainerStream::Pull result = ContainerStream::Pull::End;
        std::vector<uint8_t> bytes;
        uint64_t position = 0;
        bool damaged = false;
    };

    void run();

    std::unique_ptr<ContainerStream> stream;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Slice> ready;
    std::vector<std::vector<uint8_t>> spare; // emptied slice buffers, for reuse
    bool stopping = false;
    bool ended = false; // the thread has queued its last slice
    uint64_t pulledPosition = 0;
    bool pulledDamage = false;
    std::thread worker;
};

} // namespace binlog
