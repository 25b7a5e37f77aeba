#include "linebuffer.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "vemi_canfd_data.h"

namespace {

constexpr char hexDigits[] = "0123456789ABCDEF";

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
    // Above 2^52 microseconds (some 142 years) only printf itself reproduces
    // the double's own digits.
    if (micros >= DecimalText::ExactSecondsLimit) {
        Q_ASSERT(used + 32 <= Capacity);
        const int written = std::snprintf(text + used, size_t(Capacity - used), "%.6f",
                                          double(micros) / 1000000.0);
        used += std::min(std::max(written, 0), Capacity - used - 1);
        return;
    }
    Q_ASSERT(used + DecimalText::MaxSize <= Capacity);
    used += DecimalText::writeSeconds(micros, text + used);
}

void LineBuffer::appendPayload(const Vemi_CANFD_Data &frame, int count)
{
    Q_ASSERT(count >= 0 && count <= payloadLength(frame));
    // One spare byte for the last four-byte copy.
    Q_ASSERT(used + 3 * count + 1 <= Capacity);
    char *out = text + used;
    for (int i = 0; i < count; ++i, out += 3)
        std::memcpy(out, byteTexts.data() + 4 * frame.data[i], 4);
    used += 3 * count;
}

void LineBuffer::appendHexBytes(const Vemi_CANFD_Data &frame, int count)
{
    Q_ASSERT(count >= 0 && count <= payloadLength(frame));
    // One spare pair of bytes for the last four-byte copy.
    Q_ASSERT(used + 2 * count + 2 <= Capacity);
    char *out = text + used;
    for (int i = 0; i < count; ++i, out += 2)
        std::memcpy(out, byteTexts.data() + 4 * frame.data[i], 4);
    used += 2 * count;
}

int LineBuffer::payloadLength(const Vemi_CANFD_Data &frame)
{
    return std::min<int>(frame.length, Vemi_CANFD_Data::MaxDataLength);
}
