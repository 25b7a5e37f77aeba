#include "blfparser.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstring>

#include <QFile>
#include <QString>
#include <QVector>
#include <QtDebug>

#include "binlog.h"
#include "decimaltext.h"

namespace {

constexpr uint64_t NanosPerTenMicros = 10000;

// The object time in nanoseconds. Loggers that count in 10 us units say so in
// mObjectFlags; taking those as nanoseconds would put every frame 10 000 times
// too early.
uint64_t objectNanoseconds(const VBLObjectHeader &header)
{
    if (header.mObjectFlags == BL_OBJ_FLAG_TIME_TEN_MICS)
        return header.mObjectTimeStamp * NanosPerTenMicros;
    return header.mObjectTimeStamp;
}

// The time text: "%.6f" of the gap in seconds, the gap in nanoseconds
// converted to a double. Below 2^40 ns (some 18 minutes) the double lies so
// close to the exact quotient that rounding the integer nanoseconds to
// microseconds gives the same six decimals - except at an exact half, where
// the double's side of it decides.
void setGapText(uint64_t nanoseconds, Vemi_CANFD_Data &frame)
{
    const uint64_t rest = nanoseconds % 1000;
    if (nanoseconds < (uint64_t(1) << 40) && rest != 500) {
        const uint64_t micros = nanoseconds / 1000 + (rest > 500 ? 1 : 0);
        // At most 7 digits, a point and six decimals: within the 31 bytes.
        frame.timeText[DecimalText::writeSeconds(micros, frame.timeText)] = '\0';
        return;
    }
    // to_chars writes "%.6f" without regard to the process locale.
    char text[Vemi_CANFD_Data::TimeTextSize];
    const std::to_chars_result written =
        std::to_chars(text, text + sizeof text - 1, double(nanoseconds) / 1000000000.0,
                      std::chars_format::fixed, 6);
    frame.setTimeText(text, written.ec == std::errc() ? std::size_t(written.ptr - text) : 0);
}

// timestamp in microseconds (truncated), and as time text the seconds since the
// previous message of any type; 0 for the first one and after an object time 0.
void applyTimes(const VBLObjectHeader &header, uint64_t &previousTime, Vemi_CANFD_Data &frame)
{
    const uint64_t time = objectNanoseconds(header);
    frame.timestamp = time / 1000;
    // Unsigned on purpose: a time below the previous one shows the wrapped difference.
    const uint64_t difference = previousTime != 0 ? time - previousTime : 0;
    previousTime = time;
    setGapText(difference, frame);
}

void setIdentifier(DWORD libraryId, Vemi_CANFD_Data &frame)
{
    frame.id = libraryId & Vemi_CANFD_Data::IdMask;
    if (libraryId & BL_CAN_ID_EXTENDED)
        frame.id |= Vemi_CANFD_Data::ExtendedBit;
}

// Only these two exact values mark a remote frame; 0x80 with any other flag
// (wake-up, single-wire) reads as a data frame.
bool isRemote(BYTE flags)
{
    return flags == BL_CAN_MSG_FLAG_REMOTE_FRAME
           || flags == (BL_CAN_MSG_FLAG_REMOTE_FRAME | BL_CAN_MSG_FLAG_TX);
}

// A damaged file may state more bytes than a record holds.
uint8_t clampedLength(int length, int limit = Vemi_CANFD_Data::MaxDataLength)
{
    return uint8_t(std::min(length, limit));
}

// A classic frame never carries more than 8 bytes: a DLC above 8 still means 8
// on the bus. A remote frame's DLC is the length it asks for.
uint8_t classicLength(int dlc)
{
    return clampedLength(dlc, Vemi_CANFD_Data::MaxClassicLength);
}

void setCanFdProtocol(bool bitRateSwitch, bool errorStateIndicator, Vemi_CANFD_Data &frame)
{
    frame.setProtocol(bitRateSwitch ? Vemi_CANFD_Data::ProtocolCanFdBrs
                                    : Vemi_CANFD_Data::ProtocolCanFd);
    if (errorStateIndicator)
        frame.errorFlags = Vemi_CANFD_Data::EsiBit;
}

// Types 1 and 86 carry the same fields.
template<typename Message>
void mapClassic(const Message &message, Vemi_CANFD_Data &frame)
{
    setIdentifier(message.mID, frame);
    frame.channel = uint8_t(message.mChannel);
    if (isRemote(message.mFlags))
        frame.id |= Vemi_CANFD_Data::RemoteBit;
    frame.length = classicLength(message.mDLC);
    std::memcpy(frame.data, message.mData, Vemi_CANFD_Data::MaxClassicLength);
    frame.setDirection(message.mFlags & BL_CAN_MSG_FLAG_TX);
}

// Type 100. Its EDL flag tells a CAN FD frame from a classic one.
void mapCanFd(const VBLCANFDMessage &message, Vemi_CANFD_Data &frame)
{
    setIdentifier(message.mID, frame);
    frame.channel = uint8_t(message.mChannel);
    frame.setDirection(message.mFlags & BL_CAN_MSG_FLAG_TX);
    if (message.mCANFDFlags & BL_CANFD_FLAG_EDL) {
        setCanFdProtocol(message.mCANFDFlags & BL_CANFD_FLAG_BRS,
                         message.mCANFDFlags & BL_CANFD_FLAG_ESI, frame);
        frame.length = clampedLength(message.mValidDataBytes);
        std::memcpy(frame.data, message.mData, sizeof message.mData);
        return;
    }
    frame.length = classicLength(message.mDLC);
    // A classic remote frame stores no bytes.
    if (isRemote(message.mFlags)) {
        frame.id |= Vemi_CANFD_Data::RemoteBit;
        return;
    }
    std::memcpy(frame.data, message.mData, Vemi_CANFD_Data::MaxClassicLength);
}

// The data bytes a type-101 object holds: no more than its valid-byte count,
// and none past the object's end or where its extended data begin. Some
// loggers store fewer bytes than they count as valid; the rest read as 0.
int storedDataBytes(const VBLCANFDMessage64 &message)
{
    constexpr int DataOffset = int(offsetof(VBLCANFDMessage64, mData));
    int end = int(std::min<DWORD>(message.mHeader.mBase.mObjectSize, sizeof message));
    if (message.mExtDataOffset >= DataOffset)
        end = std::min<int>(end, message.mExtDataOffset);
    return std::max(0, std::min<int>(end - DataOffset, message.mValidDataBytes));
}

// Type 101. The direction is mDir's; where that is 0, bit 0 of mTxCount still
// marks a sent frame, as this program's earlier files stored it.
void mapCanFd64(const VBLCANFDMessage64 &message, Vemi_CANFD_Data &frame)
{
    setIdentifier(message.mID, frame);
    frame.channel = message.mChannel;
    frame.setDirection(message.mDir != 0 || (message.mTxCount & 1) != 0);
    const DWORD flags = message.mFlags;
    int stored = storedDataBytes(message);
    if (flags & BL_CANFD64_FLAG_EDL) {
        setCanFdProtocol(flags & BL_CANFD64_FLAG_BRS, flags & BL_CANFD64_FLAG_ESI, frame);
        frame.length = clampedLength(message.mValidDataBytes);
    } else if (flags & BL_CANFD64_FLAG_REMOTE_FRAME) {
        frame.id |= Vemi_CANFD_Data::RemoteBit;
        frame.length = classicLength(message.mDLC);
        stored = 0;
    } else {
        frame.length = classicLength(message.mDLC);
        stored = std::min<int>(stored, frame.length);
    }
    std::memcpy(frame.data, message.mData, std::size_t(stored));
}

// Reads the peeked object into a zeroed Message and, when that worked, appends
// its frame. Returns the library's read result.
template<typename Message, typename Map>
BOOL readMessage(HANDLE handle, const VBLObjectHeaderBase &peeked, Map map,
                 uint64_t &previousTime, QVector<Vemi_CANFD_Data> &frames)
{
    // The library fills the whole structure; only the header goes in.
    Message message;
    message.mHeader.mBase = peeked;
    const BOOL result = BLReadObjectSecure(handle, &message.mHeader.mBase, sizeof message);
    if (result == 1) {
        Vemi_CANFD_Data frame;
        map(message, frame);
        applyTimes(message.mHeader, previousTime, frame);
        frames.append(frame);
    }
    if (result != 0)
        BLFreeObject(handle, &message.mHeader.mBase);
    return result;
}

} // namespace

BlfParser::BlfParser() = default;
BlfParser::~BlfParser() = default;

bool BlfParser::parse(const QString &filePath, std::atomic<bool> &stopRequested)
{
    emit progressUpdated(0, QStringLiteral("开始解析BLF文件..."));

    HANDLE handle = BLCreateFile(QFile::encodeName(filePath).constData(), BL_GENERIC_READ);
    if (handle == BL_INVALID_HANDLE_VALUE) {
        emit parsingFinished(false, QStringLiteral("无法打开BLF文件"));
        return false;
    }
    VBLFileStatisticsEx statistics;
    std::memset(static_cast<void *>(&statistics), 0, sizeof statistics);
    statistics.mStatisticsSize = sizeof statistics;
    BLGetFileStatisticsEx(handle, &statistics);

    uint64_t previousTime = 0;
    QVector<Vemi_CANFD_Data> batch;
    batch.reserve(BatchSize);
    // Progress by the share of the file read, up to 99 before the end; only
    // a changed percentage is reported.
    int percent = 0;
    const auto reportShare = [this, handle, &percent] {
        ULONGLONG position = 0;
        ULONGLONG size = 0;
        if (!BLGetReadPosition(handle, &position, &size) || size == 0)
            return;
        const int share = int(std::min<ULONGLONG>(position * 100 / size, 99));
        if (share > percent) {
            percent = share;
            emit progressUpdated(percent, QStringLiteral("正在解析BLF..."));
        }
    };
    BOOL lastResult = TRUE;
    VBLObjectHeaderBase peeked{};
    while (lastResult && BLPeekObject(handle, &peeked)) {
        if (stopRequested.load()) {
            qDebug("%s", parserStopLogLine);
            BLCloseHandle(handle);
            return false;
        }
        switch (peeked.mObjectType) {
        case BL_OBJ_TYPE_CAN_MESSAGE:
            lastResult = readMessage<VBLCANMessage>(handle, peeked, mapClassic<VBLCANMessage>,
                                                    previousTime, batch);
            break;
        case BL_OBJ_TYPE_CAN_MESSAGE2:
            lastResult = readMessage<VBLCANMessage2>(handle, peeked, mapClassic<VBLCANMessage2>,
                                                     previousTime, batch);
            break;
        case BL_OBJ_TYPE_CAN_FD_MESSAGE:
            lastResult = readMessage<VBLCANFDMessage>(handle, peeked, mapCanFd, previousTime,
                                                      batch);
            break;
        case BL_OBJ_TYPE_CAN_FD_MESSAGE_64:
            lastResult = readMessage<VBLCANFDMessage64>(handle, peeked, mapCanFd64, previousTime,
                                                        batch);
            break;
        default:
            lastResult = BLSkipObject(handle, &peeked);
            break;
        }
        if (batch.size() >= BatchSize) {
            emit dataParsed(batch);
            batch = QVector<Vemi_CANFD_Data>();
            batch.reserve(BatchSize);
            reportShare();
        }
    }

    if (!batch.isEmpty())
        emit dataParsed(batch);
    // A read or skip that failed stopped the loop before the end, or the
    // library met a cut or damaged container or object. The header's file
    // size is no witness: loggers leave it wrong.
    if (!lastResult || BLIsDamaged(handle))
        emit endedEarly(QStringLiteral("BLF文件不完整或已损坏"));
    BLCloseHandle(handle);
    emit progressUpdated(100, QStringLiteral("解析完成"));
    emit parsingFinished(true, QStringLiteral("BLF文件解析成功"));
    return true;
}
