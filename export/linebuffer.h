#pragma once

#include <cstdint>
#include <cstring>

#include <QLatin1String>
#include <QTextStream>
#include <QtGlobal>

#include "decimaltext.h"

struct Vemi_CANFD_Data;

// One output line of a text writer, formatted by hand into a fixed buffer that
// is reused for every frame: printf and QString::arg per field would dominate
// the run time of an export of millions of frames. Every line a writer builds
// is bounded (payload clamped to 64 bytes), far below the capacity.
class LineBuffer final
{
public:
    static constexpr int Capacity = 512;

    void clear() { used = 0; }
    int size() const { return used; }
    const char *data() const { return text; }

    void append(char c)
    {
        Q_ASSERT(used < Capacity);
        text[used++] = c;
    }
    void append(QLatin1String literal)
    {
        Q_ASSERT(used + literal.size() <= Capacity);
        std::memcpy(text + used, literal.data(), std::size_t(literal.size()));
        used += literal.size();
    }
    // printf "%llu".
    void appendDecimal(uint64_t value)
    {
        if (value < 10)
            append(char('0' + value));
        else if (value < 100)
            appendTwoDigits(int(value));
        else
            used += DecimalText::writeUnsigned(value, text + used);
    }
    // printf "%X" with at least minDigits digits ("%08X" for 8).
    void appendHex(uint32_t value, int minDigits = 1);
    // printf "%.6f" of micros / 1000000.0: the time in seconds.
    void appendSeconds(uint64_t micros);
    // printf "%02d" of 0 to 99.
    void appendTwoDigits(int value)
    {
        Q_ASSERT(used + 2 <= Capacity && value >= 0 && value < 100);
        std::memcpy(text + used, DecimalText::pairs + 2 * value, 2);
        used += 2;
    }
    // printf "%02X " of each payload byte, at most 64 of them.
    void appendPayload(const Vemi_CANFD_Data &frame)
    {
        appendPayload(frame, payloadLength(frame));
    }
    // The same of the first count bytes; count at most payloadLength(frame).
    void appendPayload(const Vemi_CANFD_Data &frame, int count);
    // printf "%02X" of each of the first count bytes, without separators.
    void appendHexBytes(const Vemi_CANFD_Data &frame, int count);

    void writeTo(QTextStream &out) const { out << QLatin1String(text, used); }

    // The payload length a writer may use: a damaged record's length above 64
    // would read past the data array.
    static int payloadLength(const Vemi_CANFD_Data &frame);

private:
    char text[Capacity];
    int used = 0;
};
