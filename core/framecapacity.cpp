#include "framecapacity.h"

#include <atomic>

namespace {

// Read on reader threads, set by tests on theirs.
std::atomic<int> testLimit{0};

} // namespace

int FrameCapacity::limit()
{
    const int lowered = testLimit.load();
    return lowered > 0 ? lowered : Maximum;
}

void FrameCapacity::setLimitForTesting(int frames)
{
    testLimit.store(frames > 0 ? frames : 0);
}
