#include <cstring>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "binlog.h"
#include "blfbytes.h"
#include "testsupport.h"

namespace {

// A CAN FD 64 object as the program writes it: a sent one has the direction
// field 1 besides bit 0 of the transmit count.
QByteArray programFd(quint32 id, quint8 length, quint64 time, bool brs, bool tx)
{
    VBLCANFDMessage64 message = BlfBytes::fdStruct(id, length, time, brs, tx);
    message.mDir = tx ? 1 : 0;
    return BlfBytes::bytesOf(message);
}

// Frames the way the program writes them, the special cases first, then enough
// to fill several containers.
QList<QByteArray> programObjects()
{
    QList<QByteArray> objects{
        BlfBytes::bytesOf(BlfBytes::canStruct(0x123, 8, 0, BL_CAN_MSG_FLAG_TX)),
        BlfBytes::bytesOf(BlfBytes::canStruct(0x81ABCDEF, 3, 1500000)),
        BlfBytes::bytesOf(BlfBytes::canStruct(0x7FF, 4, 1500000, BL_CAN_MSG_FLAG_REMOTE_FRAME)),
        BlfBytes::bytesOf(BlfBytes::canStruct(0x80000001, 0, 2000000, 0x81)),
        programFd(0x9FFFFFFF, 64, 2500000, true, true),
        programFd(0x456, 12, 3000000, false, false),
        programFd(0x457, 0, 3000001, true, false),
        programFd(0x458, 48, 4000000, false, true),
    };
    static const quint8 fdSizes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64};
    for (int i = 0; i < 3000; ++i) {
        const quint64 time = 5000000 + quint64(i) * 250000;
        // Standard identifiers have 11 bits; larger ones go out as extended.
        const quint32 id = i < 0x800 ? quint32(i) : quint32(i) | 0x80000000u;
        if (i % 3)
            objects << BlfBytes::bytesOf(BlfBytes::canStruct(id, quint8(i % 9), time,
                                                             quint8(i % 2)));
        else
            objects << programFd(id, fdSizes[i % 16], time, i % 2, false);
    }
    return objects;
}

struct Frame
{
    quint32 id = 0;
    bool extended = false;
    bool remote = false;
    bool fd = false;
    bool brs = false;
    bool tx = false;
    int length = 0;
    QByteArray data;
    quint64 time = 0;
};

Frame frameOf(const QByteArray &object)
{
    Frame f;
    const auto &header = *reinterpret_cast<const VBLObjectHeader *>(object.constData());
    f.time = header.mObjectTimeStamp;
    if (header.mBase.mObjectType == BL_OBJ_TYPE_CAN_MESSAGE) {
        const auto &m = *reinterpret_cast<const VBLCANMessage *>(object.constData());
        f.id = m.mID;
        f.remote = m.mFlags & BL_CAN_MSG_FLAG_REMOTE_FRAME;
        f.tx = m.mFlags & BL_CAN_MSG_FLAG_TX;
        f.length = m.mDLC;
        f.data = QByteArray(reinterpret_cast<const char *>(m.mData), qMin(8, f.length));
    } else {
        const auto &m = *reinterpret_cast<const VBLCANFDMessage64 *>(object.constData());
        f.id = m.mID;
        f.fd = true;
        f.brs = m.mFlags & BL_CANFD64_FLAG_BRS;
        f.tx = m.mDir == 1;
        f.length = m.mValidDataBytes;
        f.data = QByteArray(reinterpret_cast<const char *>(m.mData), f.length);
    }
    f.extended = f.id >> 31;
    f.id &= 0x1FFFFFFF;
    return f;
}

} // namespace

class TestBinlogInterop : public QObject
{
    Q_OBJECT

private slots:
    void ourFilesReadByPythonCan_data()
    {
        BlfBytes::addLevelRows();
    }

    void ourFilesReadByPythonCan()
    {
        QFETCH(int, level);
        if (!TestSupport::pythonCanAvailable())
            QSKIP("python-can is not installed");
        const QString path = dir.filePath(QStringLiteral("ours%1.blf").arg(level));
        const QList<QByteArray> objects = programObjects();
        QVERIFY(BlfBytes::writeAll(path, objects, level));
        bool ok = false;
        const QList<QByteArray> lines =
            TestSupport::runPython(BlfBytes::pythonCanDumpScript(), {path}, &ok).split('\n');
        QVERIFY(ok);
        QCOMPARE(lines.size() - 1, objects.size());
        for (int i = 0; i < objects.size(); ++i) {
            const Frame f = frameOf(objects[i]);
            // The direction of a CAN FD 64 message is its mDir byte.
            const bool rx = !f.tx;
            const QByteArray data = f.remote ? QByteArray() : f.data;
            const QByteArray expected = QByteArray::number(f.id, 16) + ' '
                + QByteArray::number(f.extended) + ' ' + QByteArray::number(f.remote) + ' '
                + QByteArray::number(f.fd) + ' ' + QByteArray::number(f.brs) + ' '
                + QByteArray::number(rx) + ' ' + QByteArray::number(f.length) + ' '
                + (data.isEmpty() ? QByteArray("-") : data.toHex()) + ' '
                + QByteArray::number(f.time / 1000);
            QCOMPARE(lines[i], expected);
        }
    }

    void ourFilesReadByTshark_data()
    {
        BlfBytes::addLevelRows();
    }

    void ourFilesReadByTshark()
    {
        QFETCH(int, level);
        const QString tshark = QStandardPaths::findExecutable(QStringLiteral("tshark"));
        if (tshark.isEmpty())
            QSKIP("tshark is not installed");
        const QString path = dir.filePath(QStringLiteral("tshark%1.blf").arg(level));
        const QList<QByteArray> objects = programObjects();
        QVERIFY(BlfBytes::writeAll(path, objects, level));
        QProcess process;
        process.start(tshark, {QStringLiteral("-r"), path, QStringLiteral("-T"),
                               QStringLiteral("fields"), QStringLiteral("-E"),
                               QStringLiteral("separator=;"),
                               QStringLiteral("-e"), QStringLiteral("can.id"),
                               QStringLiteral("-e"), QStringLiteral("can.flags.xtd"),
                               QStringLiteral("-e"), QStringLiteral("can.flags.rtr"),
                               QStringLiteral("-e"), QStringLiteral("can.len"),
                               QStringLiteral("-e"), QStringLiteral("data.data"),
                               QStringLiteral("-e"), QStringLiteral("frame.p2p_dir"),
                               QStringLiteral("-e"), QStringLiteral("frame.time_relative")});
        QVERIFY(process.waitForFinished(120000));
        QCOMPARE(process.exitCode(), 0);
        const QList<QByteArray> lines = process.readAllStandardOutput().split('\n');
        QCOMPARE(lines.size() - 1, objects.size());
        const quint64 first = frameOf(objects.first()).time;
        for (int i = 0; i < objects.size(); ++i) {
            const Frame f = frameOf(objects[i]);
            // Received is 1, sent 0, read from mDir for a CAN FD 64 message.
            const bool received = !f.tx;
            const quint64 relative = f.time - first;
            const QByteArray expected = QByteArray::number(f.id) + ';'
                + QByteArray::number(f.extended) + ';' + QByteArray::number(f.remote) + ';'
                + QByteArray::number(f.length) + ';' + (f.remote ? QByteArray() : f.data.toHex())
                + ';' + QByteArray::number(received) + ';'
                + QByteArray::number(relative / 1000000000) + '.'
                + QByteArray::number(relative % 1000000000).rightJustified(9, '0');
            QCOMPARE(lines[i], expected);
        }
    }

    void pythonCanFilesReadByUs_data()
    {
        BlfBytes::addLevelRows();
    }

    void pythonCanFilesReadByUs()
    {
        QFETCH(int, level);
        if (!TestSupport::pythonCanAvailable())
            QSKIP("python-can is not installed");
        const QString path = dir.filePath(QStringLiteral("theirs%1.blf").arg(level));
        // Writes classic, CAN FD (type 100) and error frames (type 73) and a
        // marker (type 96, padded), and prints each object as we should read it.
        const QString script = QStringLiteral(
            "import can, sys\n"
            "from can.util import len2dlc\n"
            "w = can.BLFWriter(sys.argv[1], compression_level=int(sys.argv[2]))\n"
            "t0 = 1700000000.0\n"
            "for i in range(2500):\n"
            "    t = t0 + i * 0.00025\n"
            "    ext = i % 5 == 1\n"
            "    cid = (i * 7919) & (0x1FFFFFFF if ext else 0x7FF)\n"
            "    cid2 = cid | (0x80000000 if ext else 0)\n"
            "    ts = int((t - t0) * 1e9)\n"
            "    if i == 1000:\n"
            "        w.log_event('mark', t)\n"
            "        print('96 t=%d' % ts)\n"
            "    if i % 7 == 3:\n"
            "        m = can.Message(timestamp=t, arbitration_id=cid, is_extended_id=ext,\n"
            "                        is_error_frame=True, dlc=4, data=bytes([1, 2, 3, 4]))\n"
            "        w.on_message_received(m)\n"
            "        print('73 %08x %d %s t=%d' % (cid2, 4, (m.data + bytes(4)).hex(), ts))\n"
            "    elif i % 3 == 0:\n"
            "        n = [0, 1, 8, 12, 16, 20, 24, 32, 48, 64][i % 10]\n"
            "        data = bytes((i + k) & 0xFF for k in range(n))\n"
            "        m = can.Message(timestamp=t, arbitration_id=cid, is_extended_id=ext,\n"
            "                        is_fd=True, bitrate_switch=i % 2 == 0,\n"
            "                        error_state_indicator=i % 4 == 0, is_rx=i % 8 != 0,\n"
            "                        data=data)\n"
            "        w.on_message_received(m)\n"
            "        fd = 1 | (2 if m.bitrate_switch else 0)\n"
            "        fd |= 4 if m.error_state_indicator else 0\n"
            "        print('100 %08x %02x %d %02x %d %s t=%d' % (cid2, 0 if m.is_rx else 1,\n"
            "              len2dlc(n), fd, n, (data + bytes(64 - n)).hex(), ts))\n"
            "    else:\n"
            "        n = i % 9\n"
            "        remote = i % 11 == 0\n"
            "        data = bytes() if remote else bytes((i * 3 + k) & 0xFF for k in range(n))\n"
            "        m = can.Message(timestamp=t, arbitration_id=cid, is_extended_id=ext,\n"
            "                        is_remote_frame=remote, is_rx=i % 2 == 0, dlc=n, data=data)\n"
            "        w.on_message_received(m)\n"
            "        flags = (0x80 if remote else 0) | (0 if m.is_rx else 1)\n"
            "        padded = (data + bytes(8 - len(data))).hex()\n"
            "        print('1 %08x %02x %d %s t=%d' % (cid2, flags, n, padded, ts))\n"
            "w.stop()\n");
        bool ok = false;
        QList<QByteArray> expected =
            TestSupport::runPython(script, {path, QString::number(level)}, &ok).split('\n');
        QVERIFY(ok);
        expected.removeLast();

        const auto read = BlfBytes::readAll(path, sizeof(VBLCANFDMessage));
        QCOMPARE(read.size(), expected.size());
        for (int i = 0; i < read.size(); ++i)
            QCOMPARE(describe(read[i]), expected[i]);
    }

private:
    static QByteArray hex(const BYTE *data, int size)
    {
        return QByteArray(reinterpret_cast<const char *>(data), size).toHex();
    }

    static QByteArray describe(const BlfBytes::Read &read)
    {
        const auto header = read.as<VBLObjectHeader>();
        const QByteArray time = " t=" + QByteArray::number(quint64(header.mObjectTimeStamp));
        switch (read.peeked.mObjectType) {
        case BL_OBJ_TYPE_CAN_MESSAGE: {
            const auto m = read.as<VBLCANMessage>();
            return QString::asprintf("1 %08x %02x %d ", m.mID, m.mFlags, m.mDLC).toLatin1()
                   + hex(m.mData, 8) + time;
        }
        case BL_OBJ_TYPE_CAN_FD_MESSAGE: {
            const auto m = read.as<VBLCANFDMessage>();
            // python-can writes 116 bytes: the trailing reserved word comes back zero.
            if (m.mReservedCANFDMessage3 != 0 || read.peeked.mObjectSize != 116)
                return "unexpected size or tail";
            return QString::asprintf("100 %08x %02x %d %02x %d ", m.mID, m.mFlags, m.mDLC,
                                     m.mCANFDFlags, m.mValidDataBytes).toLatin1()
                   + hex(m.mData, 64) + time;
        }
        case BL_OBJ_TYPE_CAN_ERROR_EXT: {
            const auto m = read.as<VBLCANErrorFrameExt>();
            return QString::asprintf("73 %08x %d ", m.mID, m.mDLC).toLatin1() + hex(m.mData, 8)
                   + time;
        }
        default:
            return QByteArray::number(read.peeked.mObjectType) + time;
        }
    }

    QTemporaryDir dir;
};

QTEST_GUILESS_MAIN(TestBinlogInterop)
#include "tst_binlog_interop.moc"
