#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include <QMetaType>
#include <QStringView>
#include <QVector>

// One CAN or CAN FD frame as it travels from a reader through the table to a
// writer. A plain fixed-size value: no pointers, no owned resources.
struct Vemi_CANFD_Data
{
    static constexpr int MaxDataLength = 64;
    static constexpr int TimeTextSize = 32;

    // ID word: identifier in bits 0-28, remote frame in bit 29, extended in bit 30.
    static constexpr uint32_t IdMask = 0x1FFFFFFFu;
    static constexpr uint32_t RemoteBit = 0x20000000u;
    static constexpr uint32_t ExtendedBit = 0x40000000u;

    // errorFlags: the whole byte equal to 1 marks an error entry; bit 7 is the ESI.
    static constexpr uint8_t ErrorEntry = 1;
    static constexpr uint8_t EsiBit = 0x80;

    // protocol values (bits 0-1 of flags).
    static constexpr uint8_t ProtocolCan = 0;
    static constexpr uint8_t ProtocolCanFd = 2;
    static constexpr uint8_t ProtocolCanFdBrs = 3;

    uint32_t id;
    uint8_t length;      // payload bytes, never above 64
    uint8_t errorFlags;
    uint8_t channel;
    uint8_t flags;       // protocol in bits 0-1, direction in bits 6-7
    uint8_t data[MaxDataLength];
    uint64_t timestamp;  // microseconds
    uint32_t reserved1;
    uint8_t reserved2[16];
    char timeText[TimeTextSize];

    // Every byte zero, the tail padding included, so records compare and
    // serialise deterministically. The record is plain bytes; only its
    // assignment is its own, which is why the tools call it non-trivial.
    // NOLINTNEXTLINE(bugprone-undefined-memory-manipulation)
    Vemi_CANFD_Data() { std::memset(static_cast<void *>(this), 0, sizeof *this); }
    Vemi_CANFD_Data(const Vemi_CANFD_Data &other)
    {
        // NOLINTNEXTLINE(bugprone-undefined-memory-manipulation)
        std::memcpy(static_cast<void *>(this), &other, sizeof *this);
    }
    // Assignment copies only the payload bytes that count; the destination's
    // later data bytes keep whatever they held.
    Vemi_CANFD_Data &operator=(const Vemi_CANFD_Data &other);
    Vemi_CANFD_Data &operator=(Vemi_CANFD_Data &&other) noexcept;

    uint32_t identifier() const { return id & IdMask; }
    bool isRemote() const { return (id & RemoteBit) != 0; }
    bool isExtended() const { return (id & ExtendedBit) != 0; }
    bool isErrorEntry() const { return errorFlags == ErrorEntry; }

    uint8_t protocol() const { return flags & 0x03; }
    // The direction as the number in bits 6-7 (the CSV and BLF writers' reading).
    uint8_t direction() const { return (flags >> 6) & 0x03; }
    // Bit 6 alone, the low bit of the direction: the table's and the ASC
    // writer's reading of "sent".
    bool isSent() const { return (flags & 0x40) != 0; }
    void setProtocol(uint8_t value) { flags = uint8_t((flags & ~0x03) | (value & 0x03)); }
    void setDirection(uint8_t value)
    {
        flags = uint8_t((flags & ~0xC0) | ((value & 0x03) << 6));
    }

    // A classic frame carries at most 8 data bytes, whatever its DLC says.
    static constexpr int MaxClassicLength = 8;
    // The DLC code of a CAN FD payload length: the length itself up to 8,
    // 9 to 14 for 12, 16, 20, 24, 32 and 48, and 15 for 64 and for lengths
    // off the CAN FD sizes.
    static int lengthToDlc(int length);
    // The payload length of a CAN FD DLC code (0 to 15).
    static int dlcToLength(int dlc);

    // Stores text as the NUL-terminated time text, cut to at most 31 bytes.
    void setTimeText(const char *text, std::size_t size);
    // Stores text in UTF-8, as many whole characters as fit in 31 bytes.
    void setTimeText(QStringView text);
};

static_assert(sizeof(Vemi_CANFD_Data) == 136, "the frame record is 136 bytes");
static_assert(offsetof(Vemi_CANFD_Data, length) == 4 && offsetof(Vemi_CANFD_Data, flags) == 7
                  && offsetof(Vemi_CANFD_Data, data) == 8
                  && offsetof(Vemi_CANFD_Data, timestamp) == 72
                  && offsetof(Vemi_CANFD_Data, reserved1) == 80
                  && offsetof(Vemi_CANFD_Data, reserved2) == 84
                  && offsetof(Vemi_CANFD_Data, timeText) == 100,
              "the frame record keeps its field order and widths");

// A plain block of bytes that may be moved in memory without its copy
// constructor: vectors of records relocate with memcpy or realloc.
Q_DECLARE_TYPEINFO(Vemi_CANFD_Data, Q_MOVABLE_TYPE);

Q_DECLARE_METATYPE(Vemi_CANFD_Data)
Q_DECLARE_METATYPE(QVector<Vemi_CANFD_Data>)

// Registers the record and its vector by name, so batches can cross threads
// through queued connections. Safe to call more than once.
void registerFrameMetaTypes();
