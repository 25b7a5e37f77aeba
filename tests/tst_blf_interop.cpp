// BLF files between us and the peers: python-can's files through our reader,
// and our exporter's files through python-can and tshark.

#include <cstddef>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "blfbytes.h"
#include "candataexporter.h"
#include "idataparser.h"
#include "testsupport.h"

namespace {

constexpr quint32 LibraryExtended = 0x80000000u;

QByteArray payload(const Vemi_CANFD_Data &frame)
{
    return QByteArray(reinterpret_cast<const char *>(frame.data), frame.length);
}

// Classic data and remote frames of every length, CAN FD frames of every size
// with and without bit-rate switch, standard and extended, Rx and Tx, spread
// over more than one log container.
QVector<Vemi_CANFD_Data> ourFrames()
{
    static const uint8_t fdSizes[] = {0, 1, 5, 8, 12, 16, 20, 24, 32, 48, 64};
    QVector<Vemi_CANFD_Data> frames;
    for (int i = 0; i < 3000; ++i) {
        const bool extended = i % 5 == 1;
        const uint32_t id = extended ? uint32_t(i) * 7919u + 0x800u : uint32_t(i * 13) & 0x7FF;
        const bool tx = i % 2 == 1;
        const uint64_t time = 9000000 + uint64_t(i) * 250 + uint64_t(i % 7);
        if (i % 3 == 0) {
            const uint8_t protocol = i % 6 == 0 ? 3 : 2;
            frames << TestSupport::makeFrame(id, fdSizes[i % 11], protocol, extended, false, tx,
                                             time, uint8_t(i));
        } else {
            const bool remote = i % 11 == 2;
            frames << TestSupport::makeFrame(id, uint8_t(i % 9), 0, extended, remote, tx, time,
                                             uint8_t(i));
        }
    }
    return frames;
}

// One object of a flag combination, what it means, and how python-can reads it
// where it reads it otherwise.
struct Combination
{
    QByteArray object;
    QByteArray ours;
    QByteArray peer; // empty: as ours
};

QByteArray describe(quint64 micros, int channel, quint32 id, bool extended, bool remote, bool tx,
                    const QByteArray &kind, int length, const QByteArray &data)
{
    return QByteArray::number(micros) + ' ' + QByteArray::number(channel) + ' '
           + QByteArray::number(id, 16).toUpper() + (extended ? "x" : "") + (remote ? "r" : "")
           + (tx ? " Tx " : " Rx ") + kind + ' ' + QByteArray::number(length) + ' '
           + (remote || data.isEmpty() ? QByteArray("-") : data.toHex().toUpper());
}

QByteArray counting(int first, int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += char(first + i);
    return bytes;
}

QByteArray fdKind(bool brs, bool esi)
{
    return QByteArray("fd") + (brs ? "+brs" : "") + (esi ? "+esi" : "");
}

// Every combination of the flags the frame objects carry, as the tools' files
// hold them: types 1 and 86 with every DLC and their TX and remote flags, type
// 100 with EDL, BRS and ESI, type 101 with FDF, BRS, ESI, remote, direction and
// the transmit count our earlier files kept the direction in.
QVector<Combination> flagCombinations()
{
    QVector<Combination> all;
    auto add = [&all](QByteArray object, int channel, const QByteArray &ours,
                      const QByteArray &peer = {}) {
        object[32] = char(channel); // the low byte of mChannel in every type
        all << Combination{object, ours, peer};
    };
    for (quint8 flags : {0x00, 0x01, 0x80, 0x81}) {
        for (quint8 dlc = 0; dlc < 16; ++dlc) {
            const quint64 us = quint64(all.size()) * 1000;
            const bool remote = flags & 0x80;
            const bool tx = flags & 0x01;
            const int length = std::min<int>(dlc, 8);
            add(BlfBytes::canMessage(0x100 + dlc, dlc, us * 1000, flags), 1 + dlc % 4,
                describe(us, 1 + dlc % 4, 0x100 + dlc, false, remote, tx, "c", length,
                         counting(0x11, length)),
                // A classic frame asks for at most 8 bytes.
                remote && dlc > 8 ? describe(us, 1 + dlc % 4, 0x100 + dlc, false, true, tx, "c",
                                             dlc, {})
                                  : QByteArray());
            const quint64 us2 = us + 500;
            add(BlfBytes::canMessage2(0x200 + dlc, dlc, flags, us2 * 1000), 2,
                describe(us2, 2, 0x200 + dlc, false, remote, tx, "c", length,
                         counting(0x31, length)),
                remote && dlc > 8 ? describe(us2, 2, 0x200 + dlc, false, true, tx, "c", dlc, {})
                                  : QByteArray());
        }
    }
    for (quint8 fdFlags = 0; fdFlags < 8; ++fdFlags) {
        for (quint8 flags : {0x00, 0x01, 0x80, 0x81}) {
            const quint64 us = quint64(all.size()) * 1000;
            const bool fd = fdFlags & BL_CANFD_FLAG_EDL;
            const bool remote = !fd && (flags & 0x80);
            const quint8 valid = fd ? 12 : remote ? 0 : 5;
            const quint8 dlc = fd ? 9 : remote ? 3 : 5;
            const QByteArray kind =
                fd ? fdKind(fdFlags & BL_CANFD_FLAG_BRS, fdFlags & BL_CANFD_FLAG_ESI) : "c";
            const QByteArray ours = describe(us, 3, 0x300 + fdFlags, false, remote, flags & 1,
                                             kind, fd ? valid : dlc, counting(0x41, valid));
            // python-can takes 0x80 for a remote frame on CAN FD frames too.
            const QByteArray peer =
                fd && (flags & 0x80) ? describe(us, 3, 0x300 + fdFlags, false, true, flags & 1,
                                                kind, valid, {})
                                     : QByteArray();
            add(BlfBytes::canFdMessage(0x300 + fdFlags, fdFlags, valid, flags, dlc, -1,
                                       us * 1000), 3, ours, peer);
        }
    }
    for (int bits = 0; bits < 16; ++bits) {
        const quint32 flags = (bits & 1 ? BL_CANFD64_FLAG_REMOTE_FRAME : 0)
                              | (bits & 2 ? BL_CANFD64_FLAG_EDL : 0)
                              | (bits & 4 ? BL_CANFD64_FLAG_BRS : 0)
                              | (bits & 8 ? BL_CANFD64_FLAG_ESI : 0);
        for (quint8 dir : {0, 1, 2}) {
            for (quint8 txCount : {0x00, 0x01, 0x10}) {
                const quint64 us = quint64(all.size()) * 1000;
                const bool fd = flags & BL_CANFD64_FLAG_EDL;
                const bool remote = !fd && (flags & BL_CANFD64_FLAG_REMOTE_FRAME);
                const quint8 valid = fd ? 12 : remote ? 0 : 5;
                const quint8 dlc = fd ? 9 : remote ? 3 : 5;
                const quint32 id = LibraryExtended | quint32(0x10000 + all.size());
                QByteArray object = BlfBytes::canFd64(id, valid, us * 1000, flags, txCount);
                object = BlfBytes::withByte(object, offsetof(VBLCANFDMessage64, mDLC), dlc);
                object = BlfBytes::withByte(object, offsetof(VBLCANFDMessage64, mDir), dir);
                const QByteArray kind = fd ? fdKind(bits & 4, bits & 8) : "c";
                const bool tx = dir != 0 || (txCount & 1);
                const QByteArray data = counting(0x21, valid);
                const QByteArray ours = describe(us, 4, id & 0x1FFFFFFF, true, remote, tx, kind,
                                                 fd ? valid : dlc, data);
                // python-can reads the direction from mDir alone, so a frame of
                // our earlier files reads as received; and it takes 0x0010 for
                // a remote frame on CAN FD frames too.
                const bool peerTx = dir != 0;
                const bool peerRemote = flags & BL_CANFD64_FLAG_REMOTE_FRAME;
                const QByteArray peer =
                    peerTx != tx || peerRemote != remote
                        ? describe(us, 4, id & 0x1FFFFFFF, true, peerRemote, peerTx, kind,
                                   fd ? valid : dlc, data)
                        : QByteArray();
                add(object, 4, ours, peer);
            }
        }
    }
    // A classic frame in a type-101 object with a DLC above 8 carries 8
    // bytes; python-can gives it all the bytes the object counts as valid.
    const quint64 us = quint64(all.size()) * 1000;
    QByteArray classic = BlfBytes::canFd64(0x7FF, 12, us * 1000, 0);
    classic = BlfBytes::withByte(classic, offsetof(VBLCANFDMessage64, mDLC), 12);
    add(classic, 1, describe(us, 1, 0x7FF, false, false, false, "c", 8, counting(0x21, 8)),
        describe(us, 1, 0x7FF, false, false, false, "c", 12, counting(0x21, 12)));
    return all;
}

} // namespace

class TestBlfInterop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        registerFrameMetaTypes();
        QVERIFY(CanDataExporter().exportData(ourFrames(), ExportFormat::Blf, SortOrder::None,
                                             ourFile()));
    }

    void pythonCanFilesReadByUs_data()
    {
        BlfBytes::addLevelRows();
    }

    // python-can writes classic frames as type 1 and CAN FD frames as type 100,
    // object times in nanoseconds since its first message. The script prints
    // each frame as our reader must deliver it, times as the time rules say:
    // microseconds, and the seconds since the previous frame, 0 after time 0.
    void pythonCanFilesReadByUs()
    {
        QFETCH(int, level);
        if (!TestSupport::pythonCanAvailable())
            QSKIP("python-can is not installed");
        const QString path = dir.filePath(QStringLiteral("theirs%1.blf").arg(level));
        const QString script = QStringLiteral(
            "import can, sys\n"
            "w = can.BLFWriter(sys.argv[1], compression_level=int(sys.argv[2]))\n"
            "t0 = 1700000000.0\n"
            "sizes = [0, 1, 5, 8, 12, 16, 20, 24, 32, 48, 64]\n"
            "previous = 0\n"
            "for i in range(3000):\n"
            "    t = t0 + i * 0.00025 + (i % 7) * 1e-6\n"
            "    ext = i % 5 == 1\n"
            "    cid = (i * 7919) & (0x1FFFFFFF if ext else 0x7FF)\n"
            "    tx = i % 2 == 1\n"
            "    if i % 3 == 0:\n"
            "        data = bytes((i + k) & 0xFF for k in range(sizes[i % 11]))\n"
            "        m = can.Message(timestamp=t, arbitration_id=cid, is_extended_id=ext,\n"
            "                        is_fd=True, bitrate_switch=i % 6 == 0,\n"
            "                        error_state_indicator=i % 4 == 0, is_rx=not tx, data=data)\n"
            "        length, flags, remote = len(data), 3 if i % 6 == 0 else 2, False\n"
            "    else:\n"
            "        remote = i % 11 == 2\n"
            "        n = i % 9\n"
            "        data = bytes() if remote else bytes((i * 3 + k) & 0xFF for k in range(n))\n"
            "        m = can.Message(timestamp=t, arbitration_id=cid, is_extended_id=ext,\n"
            "                        is_remote_frame=remote, is_rx=not tx, dlc=n, data=data)\n"
            "        length, flags = n, 0\n"
            "    w.on_message_received(m)\n"
            "    ts = int((t - t0) * 1e9)\n"
            "    gap = ts - previous if previous else 0\n"
            "    previous = ts\n"
            "    word = cid | (0x40000000 if ext else 0) | (0x20000000 if remote else 0)\n"
            "    print('%08X %d %02X %s %d %.6f' % (word, length, flags | (0x40 if tx else 0),\n"
            "          (data + bytes(64 - len(data))).hex().upper(), ts // 1000, gap / 1e9))\n"
            "w.stop()\n");
        bool ok = false;
        QList<QByteArray> expected =
            TestSupport::runPython(script, {path, QString::number(level)}, &ok).split('\n');
        QVERIFY(ok);
        expected.removeLast();

        const TestSupport::ParseRun run = TestSupport::parseOnWorker(path);
        QVERIFY(run.result);
        QList<int> batches;
        for (int left = int(expected.size()); left > 0; left -= IDataParser::BatchSize)
            batches << std::min(left, int(IDataParser::BatchSize));
        QCOMPARE(run.batchSizes(), batches);
        const QVector<Vemi_CANFD_Data> frames = run.frames();
        for (int i = 0; i < frames.size(); ++i) {
            const Vemi_CANFD_Data &f = frames[i];
            const QByteArray got =
                QString::asprintf("%08X %d %02X ", f.id, f.length, f.flags).toLatin1()
                + QByteArray(reinterpret_cast<const char *>(f.data), 64).toHex().toUpper() + ' '
                + QByteArray::number(qulonglong(f.timestamp)) + ' ' + QByteArray(f.timeText);
            QCOMPARE(got, expected[i]);
        }
    }

    // Each flag combination read by us and by python-can, frame by frame.
    void flagCombinationsAsPythonCanReadsThem()
    {
        if (!TestSupport::pythonCanAvailable())
            QSKIP("python-can is not installed");
        const QVector<Combination> combinations = flagCombinations();
        QByteArray stream;
        for (const Combination &c : combinations)
            stream += c.object;
        const QString path = dir.filePath(QStringLiteral("combinations.blf"));
        QVERIFY(TestSupport::writeFile(dir.path(), QStringLiteral("combinations.blf"),
                                       BlfBytes::file(stream)) == path);

        const QVector<Vemi_CANFD_Data> frames = TestSupport::parseOnWorker(path).frames();
        const QString script = TestSupport::pythonDescribe() + QStringLiteral(
            "import sys, can\n"
            "r = can.BLFReader(sys.argv[1])\n"
            "for m in r:\n"
            "    print(describe(m, r.start_timestamp, 1))\n");
        bool ok = false;
        const QList<QByteArray> peer = TestSupport::runPython(script, {path}, &ok).split('\n');
        QVERIFY(ok);
        QCOMPARE(frames.size(), combinations.size());
        QCOMPARE(peer.size() - 1, combinations.size());
        for (int i = 0; i < combinations.size(); ++i) {
            const Combination &c = combinations.at(i);
            QCOMPARE(TestSupport::describeFrame(frames.at(i)), c.ours);
            QCOMPARE(peer.at(i), c.peer.isEmpty() ? c.ours : c.peer);
        }
    }

    // python-can's BLF writer: several channels, every BRS and ESI
    // combination, remote frames; read by both readers. Times are eighths of
    // a second, which python-can's float arithmetic turns into nanoseconds
    // exactly.
    void pythonCanFileAsPythonCanReadsIt()
    {
        if (!TestSupport::pythonCanAvailable())
            QSKIP("python-can is not installed");
        const QString path = dir.filePath(QStringLiteral("written.blf"));
        const QString script = TestSupport::pythonDescribe() + QStringLiteral(
            "import sys, can\n"
            "w = can.BLFWriter(sys.argv[1])\n"
            "for i in range(48):\n"
            "    common = dict(timestamp=1700000000 + i * 0.125, channel=i % 4,\n"
            "                  is_rx=i % 3 != 0, arbitration_id=(i * 0x1234567) & 0x7FF,\n"
            "                  is_extended_id=False)\n"
            "    if i % 6 == 5:\n"
            "        m = can.Message(is_remote_frame=True, dlc=i % 9, **common)\n"
            "    elif i % 2:\n"
            "        m = can.Message(data=bytes(range(i % 9)), **common)\n"
            "    else:\n"
            "        m = can.Message(is_fd=True, bitrate_switch=i & 2 == 2,\n"
            "                        error_state_indicator=i & 4 == 4,\n"
            "                        data=bytes(range([1, 12, 64][i % 3])), **common)\n"
            "    w.on_message_received(m)\n"
            "w.stop()\n"
            "r = can.BLFReader(sys.argv[1])\n"
            "for m in r:\n"
            "    print(describe(m, r.start_timestamp, 1))\n");
        bool ok = false;
        const QString peer = QString::fromLatin1(TestSupport::runPython(script, {path}, &ok));
        QVERIFY(ok);
        const QVector<Vemi_CANFD_Data> frames = TestSupport::parseOnWorker(path).frames();
        QStringList ours;
        for (const Vemi_CANFD_Data &frame : frames)
            ours << QString::fromLatin1(TestSupport::describeFrame(frame));
        QCOMPARE(ours, peer.split(QLatin1Char('\n'), Qt::SkipEmptyParts));
        QCOMPARE(ours.size(), 48);
    }

    void ourFileReadByPythonCan()
    {
        if (!TestSupport::pythonCanAvailable())
            QSKIP("python-can is not installed");
        bool ok = false;
        const QList<QByteArray> lines =
            TestSupport::runPython(BlfBytes::pythonCanDumpScript(), {ourFile()}, &ok).split('\n');
        QVERIFY(ok);
        const QVector<Vemi_CANFD_Data> frames = ourFrames();
        QCOMPARE(lines.size() - 1, frames.size());
        const uint64_t base = frames.first().timestamp;
        for (int i = 0; i < frames.size(); ++i) {
            const Vemi_CANFD_Data &f = frames[i];
            const bool fd = f.protocol() != Vemi_CANFD_Data::ProtocolCan;
            // The direction of a CAN FD 64 object is its mDir, which we set.
            const bool rx = f.direction() == 0;
            const QByteArray data = f.isRemote() ? QByteArray() : payload(f);
            const QByteArray want =
                QByteArray::number(f.identifier(), 16) + ' ' + QByteArray::number(f.isExtended())
                + ' ' + QByteArray::number(f.isRemote()) + ' ' + QByteArray::number(fd) + ' '
                + QByteArray::number(f.protocol() == Vemi_CANFD_Data::ProtocolCanFdBrs) + ' '
                + QByteArray::number(rx) + ' ' + QByteArray::number(f.length) + ' '
                + (data.isEmpty() ? QByteArray("-") : data.toHex()) + ' '
                + QByteArray::number(qulonglong(f.timestamp - base));
            QCOMPARE(lines[i], want);
        }
    }

    void ourFileReadByTshark()
    {
        const QString tshark = QStandardPaths::findExecutable(QStringLiteral("tshark"));
        if (tshark.isEmpty())
            QSKIP("tshark is not installed");
        QStringList arguments{QStringLiteral("-r"), ourFile(), QStringLiteral("-T"),
                              QStringLiteral("fields"), QStringLiteral("-E"),
                              QStringLiteral("separator=;")};
        for (const char *field : {"can.id", "can.flags.xtd", "can.flags.rtr", "can.len",
                                  "data.data", "frame.p2p_dir"})
            arguments << QStringLiteral("-e") << QLatin1String(field);
        QProcess process;
        process.start(tshark, arguments);
        QVERIFY(process.waitForFinished(120000));
        QCOMPARE(process.exitCode(), 0);
        const QList<QByteArray> lines = process.readAllStandardOutput().split('\n');
        const QVector<Vemi_CANFD_Data> frames = ourFrames();
        QCOMPARE(lines.size() - 1, frames.size());
        for (int i = 0; i < frames.size(); ++i) {
            const Vemi_CANFD_Data &f = frames[i];
            // Received is 1, sent 0; for CAN FD 64 objects read from mDir.
            const bool received = f.direction() == 0;
            // tshark 4.0 hands CAN FD 64 objects to its classic CAN dissector:
            // it shows no CAN FD or bit-rate switch flag, only the length.
            const QByteArray want = QByteArray::number(f.identifier()) + ';'
                + QByteArray::number(f.isExtended()) + ';' + QByteArray::number(f.isRemote())
                + ';' + QByteArray::number(f.length) + ';'
                + (f.isRemote() ? QByteArray() : payload(f).toHex()) + ';'
                + QByteArray::number(received);
            QCOMPARE(lines[i], want);
        }
    }

    // Every frame of the bus log through python-can: each keeps its channel
    // (python-can counts from 0), its direction and its ESI.
    void busLogReadByPythonCan_data()
    {
        QTest::addColumn<int>("index");
        TestSupport::addBusLogRows();
    }

    void busLogReadByPythonCan()
    {
        QFETCH(int, index);
        if (!TestSupport::pythonCanAvailable())
            QSKIP("python-can is not installed");
        if (busPythonLines.isEmpty()) {
            const char *script = R"(
import sys, can
r = can.BLFReader(sys.argv[1])
for m in r:
    print('%d %x %d %d %d %d %d %d %d %s %d' % (m.channel, m.arbitration_id, m.is_extended_id,
          m.is_remote_frame, m.is_fd, m.bitrate_switch, m.error_state_indicator, m.is_rx, m.dlc,
          m.data.hex() or '-', round((m.timestamp - r.start_timestamp) * 1e6)))
)";
            bool ok = false;
            busPythonLines = TestSupport::runPython(QString::fromLatin1(script),
                                                    {busLogFile()}, &ok).split('\n');
            QVERIFY(ok);
            busPythonLines.removeLast();
        }
        const QVector<Vemi_CANFD_Data> frames = TestSupport::busLog();
        QCOMPARE(busPythonLines.size(), frames.size());
        const Vemi_CANFD_Data &f = frames[index];
        const bool fd = f.protocol() != Vemi_CANFD_Data::ProtocolCan;
        const QByteArray data = f.isRemote() ? QByteArray() : payload(f);
        const QByteArray want = QByteArray::number(f.channel - 1) + ' '
            + QByteArray::number(f.identifier(), 16) + ' ' + QByteArray::number(f.isExtended())
            + ' ' + QByteArray::number(f.isRemote()) + ' ' + QByteArray::number(fd) + ' '
            + QByteArray::number(f.protocol() == Vemi_CANFD_Data::ProtocolCanFdBrs) + ' '
            + QByteArray::number(fd && (f.errorFlags & Vemi_CANFD_Data::EsiBit) != 0) + ' '
            + QByteArray::number(f.direction() == 0) + ' ' + QByteArray::number(f.length) + ' '
            + (data.isEmpty() ? QByteArray("-") : data.toHex()) + ' '
            + QByteArray::number(qulonglong(f.timestamp - frames.first().timestamp));
        QCOMPARE(busPythonLines.at(index), want);
    }

    // Every frame of the bus log through tshark, which names each channel's
    // interface CAN-<channel>; p2p_dir is 1 for received, 0 for sent.
    void busLogReadByTshark_data()
    {
        QTest::addColumn<int>("index");
        TestSupport::addBusLogRows();
    }

    void busLogReadByTshark()
    {
        QFETCH(int, index);
        const QString tshark = QStandardPaths::findExecutable(QStringLiteral("tshark"));
        if (tshark.isEmpty())
            QSKIP("tshark is not installed");
        if (busTsharkLines.isEmpty()) {
            QStringList arguments{QStringLiteral("-r"), busLogFile(), QStringLiteral("-T"),
                                  QStringLiteral("fields"), QStringLiteral("-E"),
                                  QStringLiteral("separator=;")};
            for (const char *field : {"frame.interface_name", "can.id", "can.flags.xtd",
                                      "can.flags.rtr", "can.len", "data.data", "frame.p2p_dir"})
                arguments << QStringLiteral("-e") << QLatin1String(field);
            QProcess process;
            process.start(tshark, arguments);
            QVERIFY(process.waitForFinished(120000));
            QCOMPARE(process.exitCode(), 0);
            busTsharkLines = process.readAllStandardOutput().split('\n');
            busTsharkLines.removeLast();
        }
        const QVector<Vemi_CANFD_Data> frames = TestSupport::busLog();
        QCOMPARE(busTsharkLines.size(), frames.size());
        const Vemi_CANFD_Data &f = frames[index];
        const QByteArray want = "CAN-" + QByteArray::number(f.channel) + ';'
            + QByteArray::number(f.identifier()) + ';' + QByteArray::number(f.isExtended())
            + ';' + QByteArray::number(f.isRemote()) + ';' + QByteArray::number(f.length) + ';'
            + (f.isRemote() ? QByteArray() : payload(f).toHex()) + ';'
            + QByteArray::number(f.direction() == 0);
        QCOMPARE(busTsharkLines.at(index), want);
    }

private:
    QString ourFile() const { return dir.filePath(QStringLiteral("ours.blf")); }

    // The bus log written by our exporter, once.
    QString busLogFile()
    {
        const QString path = dir.filePath(QStringLiteral("buses.blf"));
        if (!QFile::exists(path)
            && !CanDataExporter().exportData(TestSupport::busLog(), ExportFormat::Blf,
                                             SortOrder::None, path))
            return QString();
        return path;
    }

    QTemporaryDir dir;
    QList<QByteArray> busPythonLines;
    QList<QByteArray> busTsharkLines;
};

QTEST_GUILESS_MAIN(TestBlfInterop)
#include "tst_blf_interop.moc"
