#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "dbctypes.h"

// One signal of a message: where its bits lie in the frame's data and how
// they become a value. The parser fills the fields and calls prepare().
class DbcSignal final
{
public:
    // Decoding reads whole 8-byte words from the frame's data copied into a
    // buffer of this size, zero behind the frame's own bytes.
    static constexpr std::size_t PaddedSize = 72;
    static constexpr std::size_t MaxFrameBytes = 64;

    std::string name;
    // As the file gives it, in the file's numbering (bit 8*byte + bit in byte,
    // bit 0 the least significant): the lowest bit for Intel, the most
    // significant bit for Motorola.
    uint16_t startBit = 0;
    uint8_t length = 0; // bits, 1 to 64
    DbcByteOrder byteOrder = DbcByteOrder::Intel;
    bool isSigned = false;
    DbcValueType valueType = DbcValueType::Integer;
    double factor = 1;
    double offset = 0;
    double minimum = 0;
    double maximum = 0;
    std::string unit;
    std::vector<std::string> receivers;
    std::string comment;
    std::vector<DbcAttribute> attributes;
    std::vector<DbcValueDescription> values; // ascending by value, no value twice

    // Multiplexing: a switch (M) selects the signals that name it as their
    // multiplexor by its value; a signal may be both (m3M).
    bool isMultiplexor = false;
    int multiplexor = -1; // the switch's index in the message, -1: always present
    std::vector<DbcMultiplexRange> multiplexValues;
    // False where the definition cannot be decoded; the load warned about it.
    bool decodable = true;
    int line = 0; // where the file defines it

    // Lays out the bits for extract(); false when they reach past 64 bytes.
    bool prepare();
    // The frame length the signal needs: its last byte's index plus one.
    std::size_t bytesNeeded() const { return std::size_t(lastByte) + 1; }

    // The signal's bits from a padded copy of the frame's data (PaddedSize
    // bytes), as an unsigned number of length bits.
    uint64_t extract(const uint8_t *padded) const
    {
        if (byteOrder == DbcByteOrder::Intel) {
            uint64_t bits = loadLittle(padded + firstByte) >> shift;
            if (shift + length > 64)
                bits |= uint64_t(padded[firstByte + 8]) << (64 - shift);
            return bits & mask;
        }
        // Motorola: shift is the signal's offset from the top of its first byte.
        const unsigned end = unsigned(shift) + length;
        const uint64_t word = loadBig(padded + firstByte);
        if (end <= 64)
            return (word >> (64 - end)) & mask;
        return ((word << (end - 64)) | (padded[firstByte + 8] >> (72 - end))) & mask;
    }
    // The bits as a whole number, the sign extended for signed signals.
    int64_t integerValue(uint64_t raw) const
    {
        if (isSigned && length < 64 && (raw >> (length - 1)) & 1)
            raw |= ~mask;
        return int64_t(raw);
    }
    // factor and offset applied to the number (or float) the bits hold.
    double physicalValue(uint64_t raw) const
    {
        switch (valueType) {
        case DbcValueType::Float: {
            const uint32_t bits = uint32_t(raw);
            float number;
            std::memcpy(&number, &bits, sizeof number);
            return double(number) * factor + offset;
        }
        case DbcValueType::Double: {
            double number;
            std::memcpy(&number, &raw, sizeof number);
            return number * factor + offset;
        }
        case DbcValueType::Integer:
            break;
        }
        const double number = isSigned ? double(integerValue(raw)) : double(raw);
        return number * factor + offset;
    }
    // The value table's text for these bits, or nullptr.
    const std::string *valueText(uint64_t raw) const;
    // Whether a switch value selects this signal.
    bool selectedBy(uint64_t switchValue) const
    {
        for (const DbcMultiplexRange &range : multiplexValues) {
            if (switchValue >= range.first && switchValue <= range.last)
                return true;
        }
        return false;
    }

private:
    static uint64_t loadLittle(const uint8_t *bytes)
    {
        uint64_t word;
        std::memcpy(&word, bytes, sizeof word);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
        word = __builtin_bswap64(word);
#endif
        return word;
    }
    static uint64_t loadBig(const uint8_t *bytes)
    {
        uint64_t word;
        std::memcpy(&word, bytes, sizeof word);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        word = __builtin_bswap64(word);
#endif
        return word;
    }

    uint8_t firstByte = 0;
    uint8_t lastByte = 0;
    uint8_t shift = 0;
    uint64_t mask = 0;
};
