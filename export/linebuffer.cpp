#include "linebuffer.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "vemi_canfd_data.h"

namespace {

const char hexDigits[] = "0123456789ABCDEF";

// Below 2^52 microseconds (about 142 years) a double quotient rounds to six
// decimals exactly as the integer split does; above it only printf itself
// reproduces the double's own digits.
constexpr uint64_t exactSecondsLimit = uint64_t(1) << 52;

// "%02X " of every byte value, padded to four bytes so that one copy of four
// writes it.
constexpr std::array<char, 256 * 4> makeByteTexts()
{
    std::array<char, 256 * 4> texts{};
    for (int b = 0; b < 256; ++b) {
        texts[std::size_t(4 * b)] = hexDigits[b >> 4];
        texts[std::size_t(4 * b + 1)] = hexDigits[b & 0xF];
        texts[std::size_t(4 * b + 2)] = ' ';
    }
    return texts;
}

constexpr std::array<char, 256 * 4> byteTexts = makeByteTexts();

} // namespace

const char LineBuffer::digitPairs[201] = "00010203040506070809"
                                         "10111213141516171819"
                                         "20212223242526272829"
                                         "30313233343536373839"
                                         "40414243444546474849"
                                         "50515253545556575859"
                                         "60616263646566676869"
                                         "70717273747576777879"
                                         "80818283848586878889"
                                         "90919293949596979899";

void LineBuffer::appendLongDecimal(uint64_t value)
{
    char digits[20];
    int count = 0;
    while (value >= 100) {
        count += 2;
        std::memcpy(digits + sizeof digits - count, digitPairs + 2 * (value % 100), 2);
        value /= 100;
    }
    if (value >= 10) {
        count += 2;
        std::memcpy(digits + sizeof digits - count, digitPairs + 2 * value, 2);
    } else {
        digits[sizeof digits - ++count] = char('0' + value);
    }
    Q_ASSERT(used + count <= Capacity);
    std::memcpy(text + used, digits + sizeof digits - count, std::size_t(count));
    used += count;
}

void LineBuffer::appendHex(uint32_t value, int minDigits)
{
    int count = std::max(1, std::min(minDigits, 8));
    while (count < 8 && (value >> (4 * count)) != 0)
        ++count;
    count = std::max(count, minDigits);
    Q_ASSERT(used + count <= Capacity);
    // Two digits at a time from the right, out of the byte texts.
    char *p = text + used + count;
    int left = count;
    for (; left >= 2; left -= 2, value >>= 8) {
        p -= 2;
        std::memcpy(p, byteTexts.data() + 4 * (value & 0xFF), 2);
    }
    if (left == 1)
        *--p = hexDigits[value & 0xF];
    used += count;
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
    const uint32_t fraction = uint32_t(micros % 1000000);
    appendTwoDigits(int(fraction / 10000));
    appendTwoDigits(int(fraction / 100 % 100));
    appendTwoDigits(int(fraction % 100));
}

void LineBuffer::appendPayload(const Vemi_CANFD_Data &frame)
{
    const int count = payloadLength(frame);
    // One spare byte for the last four-byte copy.
    Q_ASSERT(used + 3 * count + 1 <= Capacity);
    char *out = text + used;
    for (int i = 0; i < count; ++i, out += 3)
        std::memcpy(out, byteTexts.data() + 4 * frame.data[i], 4);
    used += 3 * count;
}

int LineBuffer::payloadLength(const Vemi_CANFD_Data &frame)
{
    return std::min<int>(frame.length, Vemi_CANFD_Data::MaxDataLength);
}
