#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

#include <QString>

#include "framesnapshot.h"
#include "vemi_canfd_data.h"

// One identifier on one channel, over a whole log: how often it came, with
// which lengths, when first and last, how regularly, and in which direction.
struct OverviewRow
{
    uint32_t identifier = 0;
    bool extended = false;
    uint8_t channel = 0;
    int64_t count = 0;
    uint64_t lengths[2] = {0, 0}; // bit n: a frame of length n came (0 to 64)
    uint64_t first = 0;           // timestamps, microseconds
    uint64_t last = 0;
    // Gaps between frames after each other in the log, in microseconds;
    // meaningful from two frames on.
    int64_t minPeriod = 0;
    int64_t maxPeriod = 0;
    int64_t received = 0;
    int64_t sent = 0;

    double meanPeriod() const
    {
        return count > 1 ? double(int64_t(last - first)) / double(count - 1) : 0;
    }
    // "0, 8, 64": the lengths seen, smallest first.
    QString lengthsText() const;
    // "18DA00F1x": as the filter and the ASC format write it.
    QString identifierText() const;
};

// Gathers the rows frame by frame, in log order: from a store's snapshot for
// the window, or from a stream for the converter.
class FrameOverview final
{
public:
    void add(const Vemi_CANFD_Data &frame);
    // The rows so far, by identifier, extended ones after standard ones, then
    // by channel.
    std::vector<OverviewRow> rows() const;
    // The timestamp of the log's first frame, where the times count from.
    uint64_t origin() const { return start; }

    // The overview of a whole snapshot; progress gets percentages as they
    // grow, and cancel, when set, ends it early.
    static FrameOverview of(const FrameSnapshot &frames,
                            const std::function<void(int percent)> &progress = {},
                            const std::atomic<bool> *cancel = nullptr);

    // The rows as CSV text, with a header line; times in seconds since the
    // log's first frame.
    QString csv() const;

private:
    std::unordered_map<uint64_t, std::size_t> index;
    std::vector<OverviewRow> table;
    uint64_t start = 0;
    bool any = false;
};
