#pragma once

#include <QVector>

#include "vemi_canfd_data.h"

namespace SampleFrames {

// count frames that cycle through what bus logs hold: classic CAN, CAN FD with
// and without bit-rate switch, standard and extended identifiers, data and
// remote frames, received and sent. Times rise from 0 in microseconds. The
// identifiers of the first 2048 frames are pairwise distinct, so an identifier
// sort of them has one result.
QVector<Vemi_CANFD_Data> varied(int count);

} // namespace SampleFrames
