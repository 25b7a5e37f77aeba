#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Numbers as DBC files write them, read without regard to the C locale (a
// program may have set one with a decimal comma). Each call returns false
// when the text is not such a number or the number does not fit.
class DbcNumber final
{
public:
    // Decimal digits, or 0x and hex digits; an optional + sign.
    static bool toUnsigned(std::string_view text, uint64_t &value);
    // As toUnsigned with an optional - sign.
    static bool toSigned(std::string_view text, int64_t &value);
    // A decimal number with an optional fraction and exponent; finite.
    static bool toDouble(std::string_view text, double &value);

    // "0x1A2B", the way messages are named in warnings.
    static std::string hex(uint64_t value);
};
