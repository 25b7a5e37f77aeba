#pragma once

#include <cstdint>
#include <vector>

#include <QVector>

#include "exportformat.h"
#include "framesnapshot.h"
#include "vemi_canfd_data.h"

// Orders frames by their 29-bit CAN identifier as std::sort orders the records
// themselves - the same introsort making the same comparisons, so frames of one
// identifier end in the same order too - but sorts pairs of identifier and
// position, 8 bytes each, instead of moving 136-byte records about; the
// records themselves stay where they are.
class IdentifierSort final
{
public:
    IdentifierSort() = delete;

    // The positions of the frames in sorted order; empty for any order but
    // Ascending and Descending (the frames stay as they are).
    static std::vector<uint32_t> positions(const FrameSnapshot &frames, SortOrder order);
    static std::vector<uint32_t> positions(const QVector<Vemi_CANFD_Data> &frames,
                                           SortOrder order);
};
