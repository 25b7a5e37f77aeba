#include "linebuffer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "vemi_canfd_data.h"

namespace {

const char hexDigits[] = "0123456789ABCDEF";

// Below 2^52 microseconds (about 142 years) a double quotient rounds to six
// decimals exactly as the integer split does; above it only printf itself
// reproduces the double's own digits.
constexpr uint64_t exactSecondsLimit = uint64_t(1) << 52;

} // namespace

void LineBuffer::append(QLatin1String literal)
{
    Q_ASSERT(used + literal.size() <= Capacity);
    std::memcpy(text + used, literal.data(), size_t(literal.size()));
    used += literal.size();
}

void LineBuffer::appendDecimal(uint64_t value)
{
    char digits[20];
    int count = 0;
    do {
        digits[count++] = char('0' + value % 10);
        value /= 10;
    } while (value != 0);
    Q_ASSERT(used + count <= Capacity);
    while (count > 0)
        text[used++] = digits[--count];
}

void LineBuffer::appendHex(uint32_t value, int minDigits)
{
    int count = 1;
    while (count < 8 && (value >> (4 * count)) != 0)
        ++count;
    count = std::max(count, minDigits);
    Q_ASSERT(used + count <= Capacity);
    for (int shift = 4 * (count - 1); shift >= 0; shift -= 4)
        text[used++] = hexDigits[(value >> shift) & 0xF];
}

void LineBuffer::appendSeconds(uint64_t micros)
{
    if (micros >= exactSecondsLimit) {
        Q_ASSERT(used + 32 <= Capacity);
        const int written = std::snprintf(text + used, size_t(Capacity - used), "%.6f",
                                          double(micros) / 1000000.0);
        used += std::min(std::max(written, 0), Capacity - used - 1);
        return;
    }
    appendDecimal(micros / 1000000);
    append('.');
    uint32_t fraction = uint32_t(micros % 1000000);
    Q_ASSERT(used + 6 <= Capacity);
    for (int i = 5; i >= 0; --i) {
        text[used + i] = char('0' + fraction % 10);
        fraction /= 10;
    }
    used += 6;
}

void LineBuffer::appendTwoDigits(int value)
{
    append(char('0' + value / 10 % 10));
    append(char('0' + value % 10));
}

void LineBuffer::appendPayload(const Vemi_CANFD_Data &frame)
{
    const int count = payloadLength(frame);
    Q_ASSERT(used + 3 * count <= Capacity);
    for (int i = 0; i < count; ++i) {
        const uint8_t byte = frame.data[i];
        text[used++] = hexDigits[byte >> 4];
        text[used++] = hexDigits[byte & 0xF];
        text[used++] = ' ';
    }
}

int LineBuffer::payloadLength(const Vemi_CANFD_Data &frame)
{
    return std::min<int>(frame.length, Vemi_CANFD_Data::MaxDataLength);
}
