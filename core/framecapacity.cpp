#include "framecapacity.h"

#include <atomic>

#include <unistd.h>

namespace {

// Read on reader threads, set by tests on theirs.
std::atomic<int> testLimit{0};
std::atomic<std::size_t> testMemoryLimit{0};

std::size_t physicalMemory()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0)
        return std::numeric_limits<std::size_t>::max() / 100;
    return std::size_t(pages) * std::size_t(pageSize);
}

} // namespace

int FrameCapacity::limit()
{
    const int lowered = testLimit.load();
    return lowered > 0 ? lowered : Maximum;
}

int FrameCapacity::vectorLimit()
{
    const int lowered = testLimit.load();
    return lowered > 0 ? lowered : VectorMaximum;
}

std::size_t FrameCapacity::memoryLimit()
{
    const std::size_t lowered = testMemoryLimit.load();
    if (lowered > 0)
        return lowered;
    static const std::size_t share = physicalMemory() / 100 * MemoryPercent;
    return share;
}

void FrameCapacity::setLimitForTesting(int frames)
{
    testLimit.store(frames > 0 ? frames : 0);
}

void FrameCapacity::setMemoryLimitForTesting(std::size_t bytes)
{
    testMemoryLimit.store(bytes);
}
