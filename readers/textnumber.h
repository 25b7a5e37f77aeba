#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include <QtGlobal>

// Unsigned numbers in the text of a log, read as Qt's own conversion
// (QString::toULongLong) reads a text without white space: an optional '+',
// "0x" or "0X" before a hexadecimal number, then digits of the base and nothing
// else. Any other text, and a value beyond 64 bits, reads as 0. View is
// QStringView or QLatin1String.
class TextNumber final
{
public:
    TextNumber() = delete;

    // Seconds to whole microseconds, halves rounded upward. Adding 0.5 before
    // std::floor would round some products up that lie just below a half, or
    // above 2^52. Anything that is not a representable non-negative time
    // (negative, too large, not a number) reads as 0, like any other
    // unreadable number.
    static quint64 secondsToMicroseconds(double seconds)
    {
        const double scaled = seconds * 1000000.0;
        double micros = std::floor(scaled);
        if (scaled - micros >= 0.5)
            micros += 1.0;
        if (!(micros >= 0.0) || micros >= 18446744073709551616.0)
            return 0;
        return static_cast<quint64>(micros);
    }

    template<int Base, typename View>
    static quint64 toUnsigned(View text)
    {
        quint64 value = 0;
        return parse<Base>(text, value) ? value : 0;
    }

    // The same reading, telling a number apart from a text that is none: false
    // (and value 0) for the texts that read as 0 above without being 0.
    template<int Base, typename View>
    static bool parse(View text, quint64 &value)
    {
        value = 0;
        int i = 0;
        const int size = int(text.size());
        if (size > 0 && text.at(0).unicode() == '+')
            ++i;
        if (Base == 16 && size - i > 2 && text.at(i).unicode() == '0'
            && (text.at(i + 1).unicode() | 0x20) == 'x')
            i += 2;
        if (i == size)
            return false;
        // One or two digits, as flags and data bytes are written, need no
        // overflow checks.
        if (size - i <= 2) {
            const int high = digitValue(text.at(i).unicode());
            if (high >= Base)
                return false;
            if (size - i == 1) {
                value = quint64(high);
                return true;
            }
            const int low = digitValue(text.at(i + 1).unicode());
            if (low >= Base)
                return false;
            value = quint64(high * Base + low);
            return true;
        }
        constexpr quint64 limit = std::numeric_limits<quint64>::max() / Base;
        constexpr int lastDigit = int(std::numeric_limits<quint64>::max() % Base);
        quint64 result = 0;
        for (; i < size; ++i) {
            const int digit = digitValue(text.at(i).unicode());
            if (digit >= Base || result > limit || (result == limit && digit > lastDigit))
                return false;
            result = result * Base + quint64(digit);
        }
        value = result;
        return true;
    }

    // A hexadecimal or decimal digit's value; 99 for any other character.
    static int digitValue(char16_t c) { return c < 128 ? digits.values[c] : 99; }

private:
    struct Table
    {
        uint8_t values[128];
    };

    static constexpr Table makeTable()
    {
        Table table{};
        for (int c = 0; c < 128; ++c) {
            const int lower = c | 0x20;
            table.values[c] = uint8_t(c >= '0' && c <= '9'           ? c - '0'
                                      : lower >= 'a' && lower <= 'f' ? lower - 'a' + 10
                                                                     : 99);
        }
        return table;
    }

    static const Table digits;
};

inline constexpr TextNumber::Table TextNumber::digits = TextNumber::makeTable();
