#pragma once

#include <QVector>

#include "measurement.h"
#include "vemi_canfd_data.h"

// The filter line and the overview on a log the window holds: the corpus's
// frames with a bus's identifiers and channels in a frame store (untimed,
// once), then FrameFilter::select or FrameOverview over all of them, as the
// window's workers run them.
class FilterBench final
{
public:
    // Identifiers (a range and an extended range), a channel and a time.
    static Measurement filter(const QVector<Vemi_CANFD_Data> &frames);
    static Measurement overview(const QVector<Vemi_CANFD_Data> &frames);
};
