#pragma once

#include <QVector>

#include "candataexporter.h"
#include "vemi_canfd_data.h"

// Orders frames by their 29-bit CAN identifier as std::sort orders the records
// themselves - the same introsort making the same comparisons, so frames of one
// identifier end in the same order too - but sorts pairs of identifier and
// position, 8 bytes each, instead of moving 136-byte records about, and then
// copies each record once into its place.
class IdentifierSort final
{
public:
    IdentifierSort() = delete;

    // frames as they are for any order but Ascending and Descending.
    static QVector<Vemi_CANFD_Data> sorted(const QVector<Vemi_CANFD_Data> &frames,
                                           SortOrder order);
};
