#include "blfbytes.h"

#include <cstring>

#include <QtTest>

#include <zlib.h>

namespace {

quint8 fdDlc(quint8 length)
{
    static const quint8 sizes[] = {12, 16, 20, 24, 32, 48};
    if (length <= 8)
        return length;
    for (quint8 i = 0; i < sizeof sizes; ++i) {
        if (sizes[i] == length)
            return quint8(9 + i);
    }
    return 15;
}

template<typename T> T withHeader(DWORD type, quint64 time)
{
    T value;
    memset(&value, 0, sizeof value);
    value.mHeader.mBase = {BL_OBJ_SIGNATURE, 32, 1, DWORD(sizeof value), type};
    value.mHeader.mObjectFlags = BL_OBJ_FLAG_TIME_ONE_NANS;
    value.mHeader.mClientIndex = 0x2222;
    value.mHeader.mObjectVersion = 0x3333;
    value.mHeader.mObjectTimeStamp = time;
    return value;
}

void fill(BYTE *data, int size, int first)
{
    for (int i = 0; i < size; ++i)
        data[i] = BYTE(first + i);
}

} // namespace

void BlfBytes::put(QByteArray &bytes, int offset, quint64 value, int width)
{
    for (int i = 0; i < width; ++i, value >>= 8)
        bytes[offset + i] = char(value & 0xFF);
}

quint64 BlfBytes::get(const QByteArray &bytes, qint64 offset, int width)
{
    quint64 value = 0;
    for (int i = width; i-- > 0;)
        value = (value << 8) | quint8(bytes.at(int(offset) + i));
    return value;
}

SYSTEMTIME BlfBytes::startTime()
{
    return SYSTEMTIME{2024, 3, 2, 5, 6, 7, 8, 9};
}

QByteArray BlfBytes::header(quint32 headerSize)
{
    QByteArray bytes(144, '\0');
    bytes.replace(0, 4, "LOGG");
    put(bytes, 4, headerSize, 4);
    put(bytes, 16, 144, 8);
    put(bytes, 24, 144, 8);
    const SYSTEMTIME t = startTime();
    const WORD fields[] = {t.wYear, t.wMonth, t.wDayOfWeek, t.wDay,
                           t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
    for (int i = 0; i < 8; ++i)
        put(bytes, 40 + 2 * i, fields[i], 2);
    return bytes;
}

QByteArray BlfBytes::object(quint32 type, const QByteArray &body, quint64 time, int headerVersion,
                            quint32 timeFlags)
{
    const int headerSize = headerVersion == 2 ? 40 : 32;
    QByteArray bytes(headerSize, '\0');
    bytes.replace(0, 4, "LOBJ");
    put(bytes, 4, quint64(headerSize), 2);
    put(bytes, 6, quint64(headerVersion), 2);
    put(bytes, 8, quint64(headerSize + body.size()), 4);
    put(bytes, 12, type, 4);
    put(bytes, 16, timeFlags, 4);
    if (headerVersion == 2)
        bytes[20] = 0x01; // time stamp status: original time stamp valid
    put(bytes, 24, time, 8);
    if (headerVersion == 2)
        put(bytes, 32, time + 7, 8); // original time stamp, which readers do not present
    return bytes + body;
}

QByteArray BlfBytes::canMessage(quint32 id, quint8 dlc, quint64 time, quint8 flags,
                                int headerVersion, quint32 timeFlags, quint8 first)
{
    QByteArray body(16, '\0');
    put(body, 0, 1, 2);
    body[2] = char(flags);
    body[3] = char(dlc);
    put(body, 4, id, 4);
    for (int i = 0; i < 8 && i < dlc; ++i)
        body[8 + i] = char(first + i);
    return object(1, body, time, headerVersion, timeFlags);
}

QByteArray BlfBytes::canMessage2(quint32 id, quint8 dlc, quint8 flags, quint64 time)
{
    auto m = withHeader<VBLCANMessage2>(BL_OBJ_TYPE_CAN_MESSAGE2, time);
    m.mChannel = 1;
    m.mFlags = flags;
    m.mDLC = dlc;
    m.mID = id;
    for (int i = 0; i < 8 && i < dlc; ++i)
        m.mData[i] = BYTE(0x31 + i);
    m.mFrameLength = 0x11223344;
    m.mBitCount = 0x55;
    return bytesOf(m);
}

QByteArray BlfBytes::canFdMessage(quint32 id, quint8 canFdFlags, quint8 valid, quint8 flags,
                                  quint8 dlc, int stored, quint64 time, int size)
{
    auto m = withHeader<VBLCANFDMessage>(BL_OBJ_TYPE_CAN_FD_MESSAGE, time);
    m.mHeader.mBase.mObjectSize = DWORD(size);
    m.mChannel = 1;
    m.mFlags = flags;
    m.mDLC = dlc;
    m.mID = id;
    m.mArbBitCount = 0x77;
    m.mCANFDFlags = canFdFlags;
    m.mValidDataBytes = valid;
    for (int i = 0; i < (stored < 0 ? valid : stored) && i < 64; ++i)
        m.mData[i] = BYTE(0x41 + i);
    return bytesOf(m).left(size);
}

QByteArray BlfBytes::withByte(QByteArray object, std::size_t offset, quint8 value)
{
    object[int(offset)] = char(value);
    return object;
}

QByteArray BlfBytes::canFd64(quint32 id, quint8 valid, quint64 time, quint32 flags,
                             quint8 txCount, quint8 first)
{
    QByteArray body(40 + valid, '\0');
    body[0] = 1;
    body[1] = char(fdDlc(valid));
    body[2] = char(valid);
    body[3] = char(txCount);
    put(body, 4, id, 4);
    put(body, 12, flags, 4);
    for (int i = 0; i < valid; ++i)
        body[40 + i] = char(first + i);
    return object(101, body, time);
}

QByteArray BlfBytes::container(const QByteArray &payload, quint16 method, qint64 statedSize)
{
    QByteArray data = payload;
    if (method == 2) {
        uLongf size = compressBound(uLong(payload.size()));
        data.resize(int(size));
        compress2(reinterpret_cast<Bytef *>(data.data()), &size,
                  reinterpret_cast<const Bytef *>(payload.constData()), uLong(payload.size()), 6);
        data.resize(int(size));
    }
    QByteArray bytes(32, '\0');
    bytes.replace(0, 4, "LOBJ");
    put(bytes, 4, 16, 2);
    put(bytes, 6, 1, 2);
    put(bytes, 8, quint64(32 + data.size()), 4);
    put(bytes, 12, 10, 4);
    put(bytes, 16, method, 2);
    put(bytes, 24, quint64(statedSize < 0 ? payload.size() : statedSize), 4);
    return bytes + data + QByteArray((32 + data.size()) % 4, '\0');
}

QByteArray BlfBytes::file(const QByteArray &stream, const QList<int> &pieces, quint16 method)
{
    QByteArray bytes = header();
    int offset = 0;
    for (int piece : pieces) {
        bytes += container(stream.mid(offset, piece), method);
        offset += piece;
    }
    if (offset < stream.size() || pieces.isEmpty())
        bytes += container(stream.mid(offset), method);
    return bytes;
}

bool BlfBytes::walk(const QByteArray &file, QList<Container> &containers, QString &problem)
{
    qint64 offset = 144;
    while (offset < file.size()) {
        Container c;
        c.offset = offset;
        if (file.size() - offset < 32 || file.mid(int(offset), 4) != "LOBJ"
            || get(file, offset + 12, 4) != 10) {
            problem = QStringLiteral("no container at %1").arg(offset);
            return false;
        }
        c.objectSize = quint32(get(file, offset + 8, 4));
        c.method = quint16(get(file, offset + 16, 2));
        c.statedSize = quint32(get(file, offset + 24, 4));
        const QByteArray data = file.mid(int(offset + 32), int(c.objectSize) - 32);
        if (c.method == 2) {
            c.payload.resize(int(c.statedSize));
            uLongf size = c.statedSize;
            if (uncompress(reinterpret_cast<Bytef *>(c.payload.data()), &size,
                           reinterpret_cast<const Bytef *>(data.constData()), uLong(data.size()))
                    != Z_OK
                || size != c.statedSize) {
                problem = QStringLiteral("bad zlib data at %1").arg(offset);
                return false;
            }
        } else {
            c.payload = data;
        }
        const int pad = int(c.objectSize % 4);
        if (file.mid(int(offset + c.objectSize), pad) != QByteArray(pad, '\0')) {
            problem = QStringLiteral("bad padding at %1").arg(offset);
            return false;
        }
        offset += c.objectSize + pad;
        containers << c;
    }
    if (offset != file.size())
        problem = QStringLiteral("file ends inside a container");
    return offset == file.size();
}

QVector<BlfBytes::Read> BlfBytes::readAll(const QString &path, size_t structSize, bool *opened)
{
    QVector<Read> objects;
    HANDLE handle = BLCreateFile(path.toLocal8Bit().constData(), BL_GENERIC_READ);
    if (opened)
        *opened = handle != BL_INVALID_HANDLE_VALUE;
    if (handle == BL_INVALID_HANDLE_VALUE)
        return objects;
    VBLObjectHeaderBase base{};
    // The bound turns a reader that never ends into a failed comparison.
    while (objects.size() < 2000000 && BLPeekObject(handle, &base)) {
        Read read;
        read.peeked = base;
        read.bytes = QByteArray(int(structSize), '\x5A');
        memcpy(read.bytes.data(), &base, sizeof base);
        auto *target = reinterpret_cast<VBLObjectHeaderBase *>(read.bytes.data());
        if (BLReadObjectSecure(handle, target, structSize) != 1)
            break;
        BLFreeObject(handle, target);
        objects << read;
    }
    BLCloseHandle(handle);
    return objects;
}

bool BlfBytes::writeAll(const QString &path, const QList<QByteArray> &objects, int level,
                        const SYSTEMTIME *start)
{
    HANDLE handle = BLCreateFile(path.toLocal8Bit().constData(), BL_GENERIC_WRITE);
    if (handle == BL_INVALID_HANDLE_VALUE)
        return false;
    const SYSTEMTIME defaultStart = startTime();
    bool ok = BLSetApplication(handle, 6, 1, 0, 1)
              && BLSetMeasurementStartTime(handle, start ? start : &defaultStart)
              && BLSetWriteOptions(handle, DWORD(level), 0);
    for (const QByteArray &object : objects) {
        if (!ok)
            break;
        QByteArray copy = object; // the API takes a non-const pointer
        ok = BLWriteObject(handle, reinterpret_cast<VBLObjectHeaderBase *>(copy.data()));
    }
    return BLCloseHandle(handle) && ok;
}

VBLCANMessage BlfBytes::canStruct(quint32 id, quint8 dlc, quint64 time, quint8 flags)
{
    VBLCANMessage m;
    memset(&m, 0, sizeof m);
    m.mHeader.mBase = {BL_OBJ_SIGNATURE, 32, 1, sizeof m, BL_OBJ_TYPE_CAN_MESSAGE};
    m.mHeader.mObjectFlags = BL_OBJ_FLAG_TIME_ONE_NANS;
    m.mHeader.mObjectTimeStamp = time;
    m.mChannel = 1;
    m.mFlags = flags;
    m.mDLC = dlc;
    m.mID = id;
    for (int i = 0; i < 8 && i < dlc && !(flags & BL_CAN_MSG_FLAG_REMOTE_FRAME); ++i)
        m.mData[i] = quint8(0x11 * (i + 1));
    return m;
}

VBLCANFDMessage64 BlfBytes::fdStruct(quint32 id, quint8 length, quint64 time, bool brs, bool tx)
{
    VBLCANFDMessage64 m;
    memset(&m, 0, sizeof m);
    m.mHeader.mBase = {BL_OBJ_SIGNATURE, 32, 1, sizeof m, BL_OBJ_TYPE_CAN_FD_MESSAGE_64};
    m.mHeader.mObjectFlags = BL_OBJ_FLAG_TIME_ONE_NANS;
    m.mHeader.mObjectTimeStamp = time;
    m.mChannel = 1;
    m.mDLC = fdDlc(length);
    m.mValidDataBytes = length;
    m.mTxCount = tx ? 1 : 0;
    m.mID = id;
    m.mFlags = BL_CANFD64_FLAG_EDL | (brs ? BL_CANFD64_FLAG_BRS : 0);
    for (int i = 0; i < length && i < 64; ++i)
        m.mData[i] = quint8(0xA0 + i);
    return m;
}

QList<QByteArray> BlfBytes::sentinelObjects()
{
    auto can = withHeader<VBLCANMessage>(BL_OBJ_TYPE_CAN_MESSAGE, 0x0102030405060708);
    can.mChannel = 0x2211;
    can.mFlags = 0x33;
    can.mDLC = 0x44;
    can.mID = 0x88776655;
    fill(can.mData, 8, 0x99);

    auto can2 = withHeader<VBLCANMessage2>(BL_OBJ_TYPE_CAN_MESSAGE2, 11);
    can2.mChannel = 0x1211;
    can2.mFlags = 0x13;
    can2.mDLC = 0x14;
    can2.mID = 0x18171615;
    fill(can2.mData, 8, 0x19);
    can2.mFrameLength = 0x24232221;
    can2.mBitCount = 0x25;
    can2.mReservedCANMessage1 = 0x26;
    can2.mReservedCANMessage2 = 0x2827;

    auto fd = withHeader<VBLCANFDMessage>(BL_OBJ_TYPE_CAN_FD_MESSAGE, 12);
    fd.mChannel = 0x1211;
    fd.mFlags = 0x13;
    fd.mDLC = 0x14;
    fd.mID = 0x18171615;
    fd.mFrameLength = 0x1C1B1A19;
    fd.mArbBitCount = 0x1D;
    fd.mCANFDFlags = 0x1E;
    fd.mValidDataBytes = 0x1F;
    fd.mReservedCANFDMessage1 = 0x20;
    fd.mReservedCANFDMessage2 = 0x24232221;
    fill(fd.mData, 64, 0x30);
    fd.mReservedCANFDMessage3 = 0x7C7B7A79;

    auto fd64 = withHeader<VBLCANFDMessage64>(BL_OBJ_TYPE_CAN_FD_MESSAGE_64, 13);
    fd64.mChannel = 0x11;
    fd64.mDLC = 0x12;
    fd64.mValidDataBytes = 0x13;
    fd64.mTxCount = 0x14;
    fd64.mID = 0x18171615;
    fd64.mFrameLength = 0x1C1B1A19;
    fd64.mFlags = 0x201F1E1D;
    fd64.mBtrCfgArb = 0x24232221;
    fd64.mBtrCfgData = 0x28272625;
    fd64.mTimeOffsetBrsNs = 0x2C2B2A29;
    fd64.mTimeOffsetCrcDelNs = 0x302F2E2D;
    fd64.mBitCount = 0x3231;
    fd64.mDir = 0x33;
    fd64.mExtDataOffset = 0x34;
    fd64.mCRC = 0x38373635;
    fill(fd64.mData, 64, 0x40);

    auto error = withHeader<VBLCANErrorFrameExt>(BL_OBJ_TYPE_CAN_ERROR_EXT, 14);
    error.mChannel = 0x1211;
    error.mLength = 0x1413;
    error.mFlags = 0x18171615;
    error.mECC = 0x19;
    error.mPosition = 0x1A;
    error.mDLC = 0x1B;
    error.mReserved1 = 0x1C;
    error.mFrameLengthInNS = 0x201F1E1D;
    error.mID = 0x24232221;
    error.mFlagsExt = 0x2625;
    error.mReserved2 = 0x2827;
    fill(error.mData, 8, 0x30);

    return {bytesOf(can), bytesOf(can2), bytesOf(fd), bytesOf(fd64), bytesOf(error)};
}

QString BlfBytes::pythonCanDumpScript()
{
    return QStringLiteral(
        "import can, sys\n"
        "r = can.BLFReader(sys.argv[1])\n"
        "for m in r:\n"
        "    t = round((m.timestamp - r.start_timestamp) * 1e6)\n"
        "    print('%x %d %d %d %d %d %d %s %d' % (m.arbitration_id, m.is_extended_id,\n"
        "          m.is_remote_frame, m.is_fd, m.bitrate_switch, m.is_rx, m.dlc,\n"
        "          m.data.hex() or '-', t))\n");
}

void BlfBytes::addLevelRows()
{
    QTest::addColumn<int>("level");
    QTest::newRow("stored") << 0;
    QTest::newRow("zlib") << 6;
}
