#include "dbcnumber.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace {

std::string_view withoutPlus(std::string_view text)
{
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    return text;
}

} // namespace

bool DbcNumber::toUnsigned(std::string_view text, uint64_t &value)
{
    text = withoutPlus(text);
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty() || text.front() == '-' || text.front() == '+')
        return false;
    const char *end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, base);
    return error == std::errc() && stop == end;
}

bool DbcNumber::toSigned(std::string_view text, int64_t &value)
{
    const bool negative = !text.empty() && text.front() == '-';
    uint64_t magnitude = 0;
    if (!toUnsigned(negative ? text.substr(1) : text, magnitude))
        return false;
    constexpr uint64_t limit = uint64_t(std::numeric_limits<int64_t>::max());
    if (magnitude > limit + (negative ? 1 : 0))
        return false;
    value = negative ? int64_t(0 - magnitude) : int64_t(magnitude);
    return true;
}

bool DbcNumber::toDouble(std::string_view text, double &value)
{
    text = withoutPlus(text);
    if (text.empty() || text.front() == '+')
        return false;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        uint64_t whole = 0;
        if (!toUnsigned(text, whole))
            return false;
        value = double(whole);
        return true;
    }
    const char *end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end && std::isfinite(value);
}

std::string DbcNumber::hex(uint64_t value)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return "0x" + text;
}
