#include "blfparser.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include <QFile>
#include <QString>
#include <QVector>
#include <QtDebug>

#include "binlog.h"
#include "decimaltext.h"
#include "framecapacity.h"
#include "framevector.h"

namespace {

constexpr uint64_t NanosPerTenMicros = 10000;
constexpr uint32_t LibraryExtendedBit = 0x80000000u;
constexpr int ClassicDataBytes = 8;

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
    if (libraryId & LibraryExtendedBit)
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

// Types 1 and 86 carry the same fields; the length is the DLC as stored.
template<typename Message>
void mapClassic(const Message &message, Vemi_CANFD_Data &frame)
{
    setIdentifier(message.mID, frame);
    if (isRemote(message.mFlags))
        frame.id |= Vemi_CANFD_Data::RemoteBit;
    frame.length = clampedLength(message.mDLC);
    std::memcpy(frame.data, message.mData, ClassicDataBytes);
    frame.setDirection(message.mFlags & BL_CAN_MSG_FLAG_TX);
}

// Type 100. Its EDL flag tells a CAN FD frame from a classic one.
void mapCanFd(const VBLCANFDMessage &message, Vemi_CANFD_Data &frame)
{
    setIdentifier(message.mID, frame);
    frame.setDirection(message.mFlags & BL_CAN_MSG_FLAG_TX);
    if (message.mCANFDFlags & BL_CANFD_FLAG_EDL) {
        frame.setProtocol((message.mCANFDFlags & BL_CANFD_FLAG_BRS)
                              ? Vemi_CANFD_Data::ProtocolCanFdBrs
                              : Vemi_CANFD_Data::ProtocolCanFd);
        frame.length = clampedLength(message.mValidDataBytes);
        std::memcpy(frame.data, message.mData, sizeof message.mData);
        return;
    }
    // A classic frame stores no bytes when remote: its requested length is the DLC.
    if (isRemote(message.mFlags)) {
        frame.id |= Vemi_CANFD_Data::RemoteBit;
        frame.length = clampedLength(message.mDLC, ClassicDataBytes);
        return;
    }
    frame.length = clampedLength(message.mValidDataBytes, ClassicDataBytes);
    std::memcpy(frame.data, message.mData, ClassicDataBytes);
}

// Type 101. Bits 8-15 of mFlags equal to EDL and BRS alone mean a switched bit
// rate; anything else in that byte, the ESI bit included, reads as plain CAN FD.
void mapCanFd64(const VBLCANFDMessage64 &message, Vemi_CANFD_Data &frame)
{
    setIdentifier(message.mID, frame);
    const DWORD fdFlags = message.mFlags & 0xFF00u;
    frame.setProtocol(fdFlags == (BL_CANFD64_FLAG_EDL | BL_CANFD64_FLAG_BRS)
                          ? Vemi_CANFD_Data::ProtocolCanFdBrs
                          : Vemi_CANFD_Data::ProtocolCanFd);
    frame.length = clampedLength(message.mValidDataBytes);
    std::memcpy(frame.data, message.mData, sizeof message.mData);
    // Our writer keeps the direction in bit 0 of mTxCount; mDir is not read.
    frame.setDirection(message.mTxCount & 1);
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
        FrameVector::reserveForAppend(frames, 1);
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
    QVector<Vemi_CANFD_Data> frames;
    BOOL lastResult = TRUE;
    VBLObjectHeaderBase peeked{};
    // More frames than the table can hold: the file ends there for us, and
    // what was gathered is handed over as usual.
    const int capacity = FrameCapacity::vectorLimit();
    while (lastResult && frames.size() < capacity && BLPeekObject(handle, &peeked)) {
        if (stopRequested.load()) {
            qDebug("%s", parserStopLogLine);
            BLCloseHandle(handle);
            return false;
        }
        switch (peeked.mObjectType) {
        case BL_OBJ_TYPE_CAN_MESSAGE:
            lastResult = readMessage<VBLCANMessage>(handle, peeked, mapClassic<VBLCANMessage>,
                                                    previousTime, frames);
            break;
        case BL_OBJ_TYPE_CAN_MESSAGE2:
            lastResult = readMessage<VBLCANMessage2>(handle, peeked, mapClassic<VBLCANMessage2>,
                                                     previousTime, frames);
            break;
        case BL_OBJ_TYPE_CAN_FD_MESSAGE:
            lastResult = readMessage<VBLCANFDMessage>(handle, peeked, mapCanFd, previousTime,
                                                      frames);
            break;
        case BL_OBJ_TYPE_CAN_FD_MESSAGE_64:
            lastResult = readMessage<VBLCANFDMessage64>(handle, peeked, mapCanFd64, previousTime,
                                                        frames);
            break;
        default:
            lastResult = BLSkipObject(handle, &peeked);
            break;
        }
    }

    if (!frames.isEmpty())
        emit dataParsed(frames);
    BLCloseHandle(handle);
    emit progressUpdated(100, QStringLiteral("解析完成"));
    emit parsingFinished(true, QStringLiteral("BLF文件解析成功"));
    return true;
}
