#include "canfddlc.h"

namespace {

constexpr int ClassicDataBytes = 8;
// The byte counts of codes 9 to 15.
constexpr int longLengths[] = {12, 16, 20, 24, 32, 48, 64};
constexpr int LastDlc = 15;

} // namespace

int CanFdDlc::lengthToDlc(int length)
{
    if (length <= ClassicDataBytes)
        return length;
    for (int code = ClassicDataBytes + 1; code < LastDlc; ++code) {
        if (length == longLengths[code - ClassicDataBytes - 1])
            return code;
    }
    return LastDlc;
}

int CanFdDlc::dlcToLength(int dlc)
{
    if (dlc <= 0)
        return 0;
    if (dlc <= ClassicDataBytes)
        return dlc;
    return dlc >= LastDlc ? longLengths[LastDlc - ClassicDataBytes - 1]
                          : longLengths[dlc - ClassicDataBytes - 1];
}
