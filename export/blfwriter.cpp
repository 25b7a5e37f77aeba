#include "blfwriter.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include <QFile>

#include "binlog.h"
#include "exportcontext.h"
#include "linebuffer.h"
#include "vemi_canfd_data.h"

namespace {

// What the file header names as the writing application.
constexpr BYTE ApplicationId = 6;
constexpr BYTE ApplicationMajor = 1;
constexpr BYTE ApplicationMinor = 0;
constexpr BYTE ApplicationBuild = 1;
constexpr DWORD CompressionLevel = 6;

constexpr uint64_t NanosPerMicro = 1000;

// The local calendar time of now, to the whole second: the time of the export,
// not of the recording.
SYSTEMTIME measurementStartTime()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    SYSTEMTIME start{};
    start.wYear = WORD(local.tm_year + 1900);
    start.wMonth = WORD(local.tm_mon + 1);
    start.wDayOfWeek = WORD(local.tm_wday);
    start.wDay = WORD(local.tm_mday);
    start.wHour = WORD(local.tm_hour);
    start.wMinute = WORD(local.tm_min);
    start.wSecond = WORD(local.tm_sec);
    start.wMilliseconds = 0;
    return start;
}

// Zero-fills the whole object, then sets its version-1 header.
template<typename Message>
void startObject(Message &message, DWORD type, uint64_t time)
{
    std::memset(static_cast<void *>(&message), 0, sizeof message);
    VBLObjectHeader &header = message.mHeader;
    header.mBase.mSignature = BL_OBJ_SIGNATURE;
    header.mBase.mHeaderSize = sizeof(VBLObjectHeader);
    header.mBase.mHeaderVersion = 1;
    header.mBase.mObjectSize = sizeof message;
    header.mBase.mObjectType = type;
    header.mObjectFlags = BL_OBJ_FLAG_TIME_ONE_NANS;
    header.mObjectTimeStamp = time;
}

DWORD libraryId(const Vemi_CANFD_Data &frame)
{
    return frame.identifier() | (frame.isExtended() ? BL_CAN_ID_EXTENDED : 0u);
}

void fillCan(VBLCANMessage &message, const Vemi_CANFD_Data &frame, uint64_t time)
{
    startObject(message, BL_OBJ_TYPE_CAN_MESSAGE, time);
    message.mChannel = ExportContext::fileChannel(frame);
    // The direction value of bits 6-7, 0 to 3, as it stands.
    message.mFlags = frame.direction();
    if (frame.isRemote())
        message.mFlags |= BL_CAN_MSG_FLAG_REMOTE_FRAME;
    message.mDLC = BYTE(std::min<int>(frame.length, Vemi_CANFD_Data::MaxClassicLength));
    message.mID = libraryId(frame);
    if (!frame.isRemote())
        std::memcpy(message.mData, frame.data, message.mDLC);
}

// A sent frame has the direction field 1, as the peers and the tools read
// it, and bit 0 of mTxCount set as well, as this program's earlier versions
// marked it alone. The remote bit is left out: a CAN FD frame has none.
void fillCanFd(VBLCANFDMessage64 &message, const Vemi_CANFD_Data &frame, uint64_t time)
{
    startObject(message, BL_OBJ_TYPE_CAN_FD_MESSAGE_64, time);
    const int length = LineBuffer::payloadLength(frame);
    const bool sent = frame.direction() == 1;
    message.mChannel = ExportContext::fileChannel(frame);
    message.mDLC = BYTE(Vemi_CANFD_Data::lengthToDlc(length));
    message.mValidDataBytes = BYTE(length);
    message.mTxCount = sent ? 1 : 0;
    message.mDir = sent ? 1 : 0;
    message.mID = libraryId(frame);
    message.mFlags = BL_CANFD64_FLAG_EDL
                     | (frame.protocol() == Vemi_CANFD_Data::ProtocolCanFdBrs
                            ? BL_CANFD64_FLAG_BRS
                            : 0u)
                     | (frame.errorFlags & Vemi_CANFD_Data::EsiBit ? BL_CANFD64_FLAG_ESI : 0u);
    std::memcpy(message.mData, frame.data, std::size_t(length));
}

bool writeFrame(HANDLE handle, const Vemi_CANFD_Data &frame, uint64_t time)
{
    if (frame.protocol() == Vemi_CANFD_Data::ProtocolCan) {
        VBLCANMessage message;
        fillCan(message, frame, time);
        return BLWriteObject(handle, &message.mHeader.mBase);
    }
    VBLCANFDMessage64 message;
    fillCanFd(message, frame, time);
    return BLWriteObject(handle, &message.mHeader.mBase);
}

} // namespace

bool BlfWriter::write(const ExportContext &context) const
{
    HANDLE handle =
        BLCreateFile(QFile::encodeName(context.outputPath).constData(), BL_GENERIC_WRITE);
    if (handle == BL_INVALID_HANDLE_VALUE)
        return false;

    bool ok = BLSetApplication(handle, ApplicationId, ApplicationMajor, ApplicationMinor,
                               ApplicationBuild);
    const SYSTEMTIME start = measurementStartTime();
    if (ok)
        ok = BLSetMeasurementStartTime(handle, &start);
    if (ok)
        ok = BLSetWriteOptions(handle, CompressionLevel, 0);
    if (!ok) {
        BLCloseHandle(handle);
        return false;
    }

    int counted = 0;
    uint64_t lastObjectTime = 0;
    for (const Vemi_CANFD_Data &frame : context.inWritingOrder()) {
        if (!ok)
            break;
        ++counted;
        if (frame.isErrorEntry())
            continue;
        // Object times never decrease: after a sort by identifier each object
        // takes the latest time written before it.
        const uint64_t time = (frame.timestamp - context.baseTimestamp) * NanosPerMicro;
        lastObjectTime = std::max(lastObjectTime, time);
        ok = writeFrame(handle, frame, lastObjectTime);
        context.reportProgress(counted);
    }
    const bool closed = BLCloseHandle(handle);
    return ok && closed;
}
