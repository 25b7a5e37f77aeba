#pragma once

#include <cstdint>

// Numbers written as printf writes them, from a table of digit pairs: the
// readers and writers of millions of frames cannot afford printf per field.
class DecimalText final
{
public:
    DecimalText() = delete;

    // Below this many microseconds a double quotient micros / 1e6 rounds to
    // six decimals exactly as the integer split does.
    static constexpr uint64_t ExactSecondsLimit = uint64_t(1) << 52;
    // The longest text written: 20 digits, a point and six decimals.
    static constexpr int MaxSize = 27;

    // "00" to "99" back to back.
    static const char pairs[201];

    // printf "%llu" at out; returns the number of characters.
    static int writeUnsigned(uint64_t value, char *out);
    // printf "%.6f" of micros / 1000000.0, for micros below ExactSecondsLimit.
    static int writeSeconds(uint64_t micros, char *out);
    // "HH:mm:ss:zzz", the clock of a time of day below 24 hours; 12 characters.
    static constexpr int ClockSize = 12;
    static void writeClock(int msecsOfDay, char *out);
};
