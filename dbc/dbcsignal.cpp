#include "dbcsignal.h"

#include <algorithm>

bool DbcSignal::prepare()
{
    if (length < 1 || length > 64)
        return false;
    // The first and last bit in reading order: bytes ascending, within a byte
    // from bit 0 up (Intel) or from bit 7 down (Motorola, whose start is its top).
    const unsigned first
        = byteOrder == DbcByteOrder::Intel ? startBit : startBit / 8u * 8u + 7u - startBit % 8u;
    const unsigned last = first + length - 1u;
    if (last >= MaxFrameBytes * 8)
        return false;
    firstByte = uint8_t(first / 8);
    shift = uint8_t(first % 8);
    lastByte = uint8_t(last / 8);
    mask = length == 64 ? ~uint64_t(0) : (uint64_t(1) << length) - 1;
    return true;
}

const std::string *DbcSignal::valueText(uint64_t raw) const
{
    if (values.empty() || valueType != DbcValueType::Integer)
        return nullptr;
    const int64_t key = integerValue(raw);
    const auto found = std::lower_bound(
        values.begin(), values.end(), key,
        [](const DbcValueDescription &entry, int64_t value) { return entry.value < value; });
    return found != values.end() && found->value == key ? &found->text : nullptr;
}
