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

    // A plain decimal ("12.3456785": digits, optionally a point and more
    // digits) of a unit that has Decimals decimal places down to the
    // microsecond (6 for seconds, 3 for milliseconds), converted digit by digit
    // to whole microseconds, halves rounded upward: through a double, about
    // one written half microsecond in a hundred lands a hair below the half
    // and would round down. A value beyond 64 bits reads as 0. False when the
    // text has another form.
    template<int Decimals, typename View>
    static bool decimalToMicroseconds(View text, uint64_t &micros)
    {
        constexpr uint64_t Max = std::numeric_limits<uint64_t>::max();
        uint64_t unit = 1;
        for (int i = 0; i < Decimals; ++i)
            unit *= 10;
        const int size = int(text.size());
        auto digitAt = [&text](int i) {
            const char16_t u = text.at(i).unicode();
            return u >= '0' && u <= '9' ? int(u - '0') : -1;
        };
        int i = 0;
        bool anyDigit = false;
        bool overflow = false;
        uint64_t whole = 0;
        for (int d; i < size && (d = digitAt(i)) >= 0; ++i) {
            anyDigit = true;
            overflow = overflow || whole > (Max - uint64_t(d)) / 10;
            whole = whole * 10 + uint64_t(d);
        }
        uint64_t fraction = 0;
        int fractionDigits = 0;
        bool roundUp = false;
        if (i < size && text.at(i).unicode() == '.') {
            for (++i; i < size; ++i) {
                const int d = digitAt(i);
                if (d < 0)
                    return false;
                anyDigit = true;
                if (fractionDigits < Decimals)
                    fraction = fraction * 10 + uint64_t(d);
                else if (fractionDigits == Decimals)
                    roundUp = d >= 5; // later digits cannot turn a half into less
                ++fractionDigits;
            }
        }
        if (i != size || !anyDigit)
            return false;
        for (; fractionDigits < Decimals; ++fractionDigits)
            fraction *= 10;
        const uint64_t below = fraction + (roundUp ? 1 : 0);
        overflow = overflow || whole > (Max - below) / unit;
        micros = overflow ? 0 : whole * unit + below;
        return true;
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

    // Hexadecimal digits alone, at most 16 of them: no sign, no "0x". False
    // (and value 0) for any other text, the empty one too.
    template<typename View>
    static bool parseHexDigits(View text, quint64 &value)
    {
        value = 0;
        const int size = int(text.size());
        if (size == 0 || size > 16)
            return false;
        quint64 result = 0;
        for (int i = 0; i < size; ++i) {
            const int digit = digitValue(text.at(i).unicode());
            if (digit >= 16)
                return false;
            result = result << 4 | quint64(digit);
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
