// The BLF reader over files built byte by byte: how each object type maps to a
// frame, the time rules, the run's signals, stopping, and damaged files.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>

#include <QDir>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "binlog.h"
#include "blfbytes.h"
#include "blfparser.h"
#include "datahub.h"
#include "testsupport.h"

using TestSupport::ParseRun;

namespace {

const QString StartText = QStringLiteral("progress 0 开始解析BLF文件...");
const QString DoneText = QStringLiteral("progress 100 解析完成");
const QString SuccessText = QStringLiteral("finished 1 BLF文件解析成功");
const QString OpenFailureText = QStringLiteral("finished 0 无法打开BLF文件");

constexpr quint32 Ext = Vemi_CANFD_Data::ExtendedBit;
constexpr quint32 Rtr = Vemi_CANFD_Data::RemoteBit;
constexpr quint32 LibExt = 0x80000000u;
constexpr std::size_t ExtDataOffsetField = offsetof(VBLCANFDMessage64, mExtDataOffset);

// Short names for the builders the rows use most.
QByteArray canMessage2(quint32 id, quint8 dlc, quint8 flags, quint64 time = 0)
{
    return BlfBytes::canMessage2(id, dlc, flags, time);
}

QByteArray canFdMessage(quint32 id, quint8 canFdFlags, quint8 valid, quint8 flags = 0,
                        quint8 dlc = 0, int stored = -1, quint64 time = 0, int size = 120)
{
    return BlfBytes::canFdMessage(id, canFdFlags, valid, flags, dlc, stored, time, size);
}

QByteArray withDir(const QByteArray &object, quint8 dir)
{
    return BlfBytes::withByte(object, offsetof(VBLCANFDMessage64, mDir), dir);
}

// Type 101 with DLC and valid-byte count of their own; data bytes count up
// from 0x21 for `stored` bytes.
QByteArray fd64Object(quint32 flags, quint8 dlc, quint8 valid, quint8 stored, quint8 dir = 0)
{
    QByteArray object = BlfBytes::canFd64(0x456, stored, 0, flags);
    object = BlfBytes::withByte(object, offsetof(VBLCANFDMessage64, mDLC), dlc);
    object = BlfBytes::withByte(object, offsetof(VBLCANFDMessage64, mValidDataBytes), valid);
    return withDir(object, dir);
}

// An object whose channel field holds channel.
QByteArray onChannel(QByteArray object, quint16 channel)
{
    object[32] = char(channel & 0xFF);
    if (BlfBytes::get(object, 12, 4) != BL_OBJ_TYPE_CAN_FD_MESSAGE_64)
        object[33] = char(channel >> 8);
    return object;
}

// A classic message whose base header lies about its sizes.
QByteArray junkObject(quint32 objectSize)
{
    QByteArray bytes = BlfBytes::canMessage(0x7FF, 8, 99);
    for (int i = 0; i < 4; ++i)
        bytes[8 + i] = char(objectSize >> (8 * i));
    return bytes;
}

QByteArray obj(int n)
{
    return BlfBytes::canMessage(0x100 + quint32(n), 8, quint64(n) * 1000);
}

QByteArray counting(int first, int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += char(first + i);
    return bytes;
}

// Open file descriptors of this process: a handle the reader forgot shows here.
int openDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size();
}

} // namespace

class TestBlfParser : public QObject
{
    Q_OBJECT

    QString write(const QByteArray &bytes, const QString &name = QStringLiteral("t.blf"))
    {
        return TestSupport::writeFile(dir.path(), name, bytes);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        registerFrameMetaTypes();
    }

    void noFrames_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("header only") << BlfBytes::header();
        QTest::newRow("empty container") << BlfBytes::file({});
        const QByteArray others = BlfBytes::sentinelObjects().last() // type 73
                                  + BlfBytes::object(96, QByteArray(40, '\x01'), 5);
        QTest::newRow("only other object types") << BlfBytes::file(others);
    }

    void noFrames()
    {
        QFETCH(QByteArray, file);
        const ParseRun run = TestSupport::parseOnWorker(write(file));
        QVERIFY(run.result);
        QCOMPARE(run.describe(), (QStringList{StartText, DoneText, SuccessText}));
    }

    void mapping_data()
    {
        QTest::addColumn<QByteArray>("object");
        QTest::addColumn<quint32>("id");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("flags"); // protocol | direction << 6 | errorFlags << 8
        QTest::addColumn<QByteArray>("data");

        const auto can = [](quint32 id, quint8 dlc, quint8 flags) {
            return BlfBytes::canMessage(id, dlc, 0, flags);
        };
        const QByteArray d4 = counting(0x11, 4);
        const QByteArray d8 = counting(0x11, 8);
        QTest::newRow("1: 0x81 sent remote") << can(0x123, 4, 0x81) << (0x123 | Rtr) << 4 << 0x40
                                            << d4;
        QTest::newRow("1: 0x01 sent data") << can(0x123, 4, 0x01) << 0x123u << 4 << 0x40 << d4;
        QTest::newRow("1: 0x80 received remote")
            << can(0x123, 4, 0x80) << (0x123 | Rtr) << 4 << 0x00 << d4;
        QTest::newRow("1: 0x20 received data") << can(0x123, 4, 0x20) << 0x123u << 4 << 0 << d4;
        QTest::newRow("1: 0x80 with another bit is data")
            << can(0x123, 4, 0xC0) << 0x123u << 4 << 0 << d4;
        QTest::newRow("1: extended") << can(LibExt | 0x1ABCDEF, 8, 0) << (Ext | 0x1ABCDEF) << 8
                                     << 0 << d8;
        QTest::newRow("1: bits 29 and 30 of mID are no kind bits")
            << can(0x7FFFFFFF, 0, 0) << 0x1FFFFFFFu << 0 << 0 << QByteArray();
        QTest::newRow("1: dlc 15 carries 8 bytes") << can(0x10, 15, 0) << 0x10u << 8 << 0 << d8;
        QTest::newRow("1: dlc 200") << can(0x10, 200, 0) << 0x10u << 8 << 0 << d8;
        QTest::newRow("1: remote, dlc 12") << can(0x10, 12, 0x80) << (0x10 | Rtr) << 8 << 0
                                           << d8;

        const QByteArray e8 = counting(0x31, 8);
        QTest::newRow("86: sent remote") << canMessage2(0x7FF, 8, 0x81) << (0x7FF | Rtr) << 8
                                         << 0x40 << e8;
        QTest::newRow("86: extended received data")
            << canMessage2(LibExt | 0x12345, 3, 0x00) << (Ext | 0x12345) << 3 << 0
            << counting(0x31, 3);
        QTest::newRow("86: dlc 12") << canMessage2(0x1, 12, 0x01) << 0x1u << 8 << 0x40 << e8;

        const auto fd64 = [](quint32 flags, quint8 txCount, quint8 valid = 12) {
            return BlfBytes::canFd64(0x456, valid, 0, flags, txCount);
        };
        const QByteArray f12 = counting(0x21, 12);
        QTest::newRow("101: 0x3000") << fd64(0x3000, 0) << 0x456u << 12 << 3 << f12;
        QTest::newRow("101: 0x1000") << fd64(0x1000, 0) << 0x456u << 12 << 2 << f12;
        QTest::newRow("101: 0x7000, ESI does not clear BRS")
            << fd64(0x7000, 0) << 0x456u << 12 << 0x8003 << f12;
        QTest::newRow("101: 0x5000") << fd64(0x5000, 0) << 0x456u << 12 << 0x8002 << f12;
        // Our earlier files kept the direction in bit 0 of mTxCount alone.
        QTest::newRow("101: txCount 1, dir 0 sent")
            << withDir(fd64(0x1000, 1), 0) << 0x456u << 12 << 0x42 << f12;
        QTest::newRow("101: txCount 0, dir 1 sent")
            << withDir(fd64(0x3000, 0), 1) << 0x456u << 12 << 0x43 << f12;
        QTest::newRow("101: dir 2, a transmit request, sent")
            << withDir(fd64(0x3000, 0x20), 2) << 0x456u << 12 << 0x43 << f12;
        QTest::newRow("101: txCount 0x12, dir 0 received")
            << withDir(fd64(0x1000, 0x12), 0) << 0x456u << 12 << 0x02 << f12;
        QTest::newRow("101: FDF clear, classic data")
            << fd64Object(0x0000, 8, 8, 8) << 0x456u << 8 << 0 << counting(0x21, 8);
        QTest::newRow("101: FDF clear, DLC 12 carries 8 bytes")
            << fd64Object(0x0000, 12, 12, 12, 1) << 0x456u << 8 << 0x40 << counting(0x21, 8);
        QTest::newRow("101: FDF clear, BRS and ESI set")
            << fd64Object(0x6000, 2, 2, 2) << 0x456u << 2 << 0 << counting(0x21, 2);
        QTest::newRow("101: classic remote, DLC 5")
            << fd64Object(0x0010, 5, 0, 0, 1) << (0x456 | Rtr) << 5 << 0x40 << QByteArray();
        QTest::newRow("101: classic remote with stored bytes")
            << fd64Object(0x0010, 4, 4, 4) << (0x456 | Rtr) << 4 << 0 << QByteArray();
        QTest::newRow("101: classic remote, DLC 15")
            << fd64Object(0x0010, 15, 0, 0) << (0x456 | Rtr) << 8 << 0 << QByteArray();
        QTest::newRow("101: FDF with the remote bit is a data frame")
            << fd64Object(0x1010, 1, 1, 1) << 0x456u << 1 << 2 << counting(0x21, 1);
        // A logger's 120-byte objects: 64 valid bytes, 48 of them stored.
        QTest::newRow("101: fewer bytes stored than valid")
            << fd64Object(0x3000, 15, 64, 48) << 0x456u << 64 << 3
            << counting(0x21, 48) + QByteArray(16, '\0');
        QTest::newRow("101: extended data where the bytes end")
            << BlfBytes::withByte(fd64Object(0x1000, 15, 64, 48), ExtDataOffsetField, 72 + 40)
            << 0x456u << 64 << 2 << counting(0x21, 40) + QByteArray(24, '\0');
        QTest::newRow("101: extended data after the bytes")
            << BlfBytes::withByte(fd64Object(0x1000, 12, 12, 20), ExtDataOffsetField, 72 + 12)
            << 0x456u << 12 << 2 << counting(0x21, 12);
        QTest::newRow("101: 3 bytes, 75-byte object") << fd64(0x1000, 0, 3) << 0x456u << 3 << 2
                                                      << counting(0x21, 3);
        QTest::newRow("101: valid 200 clamped") << fd64(0x1000, 0, 200) << 0x456u << 64 << 2
                                                << counting(0x21, 64);
        QTest::newRow("101: extended")
            << BlfBytes::canFd64(LibExt | 0x1FFFFFFF, 64, 0, 0x3000) << (Ext | 0x1FFFFFFF) << 64
            << 3 << counting(0x21, 64);

        // Type 100: the EDL flag tells CAN FD from classic; direction from mFlags.
        const QByteArray g = counting(0x41, 12);
        QTest::newRow("100: EDL BRS") << canFdMessage(0x456, 0x03, 12) << 0x456u << 12 << 3 << g;
        QTest::newRow("100: EDL") << canFdMessage(0x456, 0x01, 12) << 0x456u << 12 << 2 << g;
        QTest::newRow("100: EDL ESI") << canFdMessage(0x456, 0x05, 12) << 0x456u << 12 << 0x8002
                                      << g;
        QTest::newRow("100: EDL BRS ESI") << canFdMessage(0x456, 0x07, 12) << 0x456u << 12
                                          << 0x8003 << g;
        QTest::newRow("100: EDL BRS sent, python-can's 116 bytes")
            << canFdMessage(LibExt | 0x456, 0x03, 64, 0x01, 15, -1, 0, 116) << (Ext | 0x456)
            << 64 << 0x43 << counting(0x41, 64);
        QTest::newRow("100: EDL, valid 200 clamped")
            << canFdMessage(0x456, 0x01, 200, 0, 15, 64) << 0x456u << 64 << 2
            << counting(0x41, 64);
        QTest::newRow("100: EDL clear, data") << canFdMessage(0x456, 0x00, 8, 0x01, 8) << 0x456u
                                              << 8 << 0x40 << counting(0x41, 8);
        QTest::newRow("100: EDL clear, at most 8 bytes")
            << canFdMessage(0x456, 0x00, 12, 0, 9) << 0x456u << 8 << 0 << counting(0x41, 8);
        QTest::newRow("100: EDL clear, length from the DLC")
            << canFdMessage(0x456, 0x00, 8, 0, 3) << 0x456u << 3 << 0 << counting(0x41, 8);
        QTest::newRow("100: EDL clear, BRS and ESI set")
            << canFdMessage(0x456, 0x06, 2, 0, 2) << 0x456u << 2 << 0 << counting(0x41, 2);
        // No bytes are stored for a remote frame; its DLC holds the requested length.
        QTest::newRow("100: EDL clear, received remote")
            << canFdMessage(0x456, 0x00, 0, 0x80, 4) << (0x456 | Rtr) << 4 << 0 << QByteArray();
        QTest::newRow("100: EDL clear, sent remote")
            << canFdMessage(0x456, 0x00, 0, 0x81, 4) << (0x456 | Rtr) << 4 << 0x40 << QByteArray();
        QTest::newRow("100: EDL set, 0x80 is no remote frame")
            << canFdMessage(0x456, 0x01, 1, 0x80, 1) << 0x456u << 1 << 2 << counting(0x41, 1);
    }

    void mapping()
    {
        QFETCH(QByteArray, object);
        QFETCH(quint32, id);
        QFETCH(int, length);
        QFETCH(int, flags);
        QFETCH(QByteArray, data);
        const ParseRun run = TestSupport::parseOnWorker(write(BlfBytes::file(object)));
        QCOMPARE(run.describe(), (QStringList{StartText, "data 1", DoneText, SuccessText}));
        const Vemi_CANFD_Data frame = run.frames().first();
        QCOMPARE(frame.id, id);
        QCOMPARE(int(frame.length), length);
        QCOMPARE(frame.flags | frame.errorFlags << 8, flags);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(frame.data), 64).toHex(),
                 QByteArray(data + QByteArray(64 - data.size(), '\0')).toHex());
        QCOMPARE(int(frame.channel), 1);
    }

    // Every frame keeps its bus: the channel field, as a byte.
    void channels_data()
    {
        QTest::addColumn<QByteArray>("object");
        QTest::addColumn<int>("channel");
        QTest::newRow("1: channel 2") << onChannel(obj(1), 2) << 2;
        QTest::newRow("86: channel 255") << onChannel(canMessage2(1, 1, 0), 255) << 255;
        QTest::newRow("86: channel 0x102") << onChannel(canMessage2(1, 1, 0), 0x102) << 2;
        QTest::newRow("100: channel 3") << onChannel(canFdMessage(1, 1, 1), 3) << 3;
        QTest::newRow("101: channel 0xFE")
            << onChannel(BlfBytes::canFd64(1, 1), 0xFE) << 0xFE;
        QTest::newRow("101: channel 0") << onChannel(BlfBytes::canFd64(1, 1), 0) << 0;
    }

    void channels()
    {
        QFETCH(QByteArray, object);
        QFETCH(int, channel);
        const QVector<Vemi_CANFD_Data> frames =
            TestSupport::parseOnWorker(write(BlfBytes::file(object))).frames();
        QCOMPARE(frames.size(), 1);
        QCOMPARE(int(frames.first().channel), channel);
    }

    void times_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QList<quint64>>("timestamps");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("first, then 1.5 ms later")
            << obj(1000) + obj(2500) << QList<quint64>{1000, 2500}
            << QStringList{"0.000000", "0.001500"};
        QTest::newRow("earlier than the previous: unsigned wrap")
            << obj(2000) + obj(1000) << QList<quint64>{2000, 1000}
            << QStringList{"0.000000", "18446744073.708553"};
        QTest::newRow("1 999 ns truncates")
            << BlfBytes::canMessage(1, 0, 1999) << QList<quint64>{1} << QStringList{"0.000000"};
        QTest::newRow("after an object time 0")
            << obj(0) + BlfBytes::canMessage(1, 0, 5000) + BlfBytes::canMessage(1, 0, 7000)
            << QList<quint64>{0, 5, 7} << QStringList{"0.000000", "0.000000", "0.000002"};
        // Skipped objects take no part; every message type shares the previous time.
        QTest::newRow("across types")
            << obj(1000) + BlfBytes::object(96, QByteArray(40, '\0'), 9000000)
                   + BlfBytes::canFd64(1, 8, 3000000) + canMessage2(1, 8, 0, 3500000)
                   + canFdMessage(1, 1, 8, 0, 8, -1, 5000000)
            << QList<quint64>{1000, 3000, 3500, 5000}
            << QStringList{"0.000000", "0.002000", "0.000500", "0.001500"};
        QTest::newRow("10 us units scaled, mixed with ns")
            << BlfBytes::canMessage(1, 0, 150, 0, 1, 1) + BlfBytes::canMessage(1, 0, 2000000)
                   + BlfBytes::canMessage(1, 0, 300, 0, 2, 1)
            << QList<quint64>{1500, 2000, 3000}
            << QStringList{"0.000000", "0.000500", "0.001000"};
    }

    void times()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QList<quint64>, timestamps);
        QFETCH(QStringList, texts);
        const QVector<Vemi_CANFD_Data> frames =
            TestSupport::parseOnWorker(write(BlfBytes::file(stream))).frames();
        QCOMPARE(frames.size(), timestamps.size());
        for (int i = 0; i < frames.size(); ++i) {
            QCOMPARE(quint64(frames[i].timestamp), timestamps[i]);
            QCOMPARE(QString::fromLatin1(frames[i].timeText), texts[i]);
        }
    }

    // The time text is "%.6f" of the gap in seconds: every gap, exact
    // half microseconds and gaps past 2^40 ns included.
    void timeTextsAsPrintf()
    {
        QRandomGenerator random(0xB1F);
        const quint64 steps[] = {0, 1, 499, 500, 501, 999, 1000, 1500, 2500, 1234567,
                                 (quint64(1) << 40) - 500, quint64(1) << 40,
                                 (quint64(1) << 40) + 1500, quint64(1) << 52};
        QByteArray stream;
        QList<quint64> times;
        quint64 time = 1;
        for (int i = 0; i < 4000; ++i) {
            time += i % 3 == 0 ? steps[random.bounded(int(std::size(steps)))]
                               : random.generate64() % (quint64(1) << (8 + i % 33));
            times << time;
            stream += BlfBytes::canMessage(1, 0, time);
        }
        const QVector<Vemi_CANFD_Data> frames =
            TestSupport::parseOnWorker(write(BlfBytes::file(stream))).frames();
        QCOMPARE(frames.size(), times.size());
        for (int i = 1; i < frames.size(); ++i) {
            const double seconds = double(times[i] - times[i - 1]) / 1000000000.0;
            QCOMPARE(QString::fromLatin1(frames[i].timeText), QString::asprintf("%.6f", seconds));
        }
    }

    void cannotOpen_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing") << dir.filePath(QStringLiteral("missing.blf"));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("folder.blf")));
        QTest::newRow("directory") << dir.filePath(QStringLiteral("folder.blf"));
        QTest::newRow("text renamed .blf")
            << write("0.010000 1 123 Rx d 1 AA\n", QStringLiteral("text.blf"));
        QTest::newRow("empty") << write({}, QStringLiteral("empty.blf"));
        QTest::newRow("cut inside LOGG") << write("LOG", QStringLiteral("cut.blf"));
    }

    void cannotOpen()
    {
        QFETCH(QString, path);
        const int live = IDataParser::liveInstances();
        const ParseRun run = TestSupport::parseOnWorker(path);
        QVERIFY(!run.result);
        QCOMPARE(run.describe(), (QStringList{StartText, OpenFailureText}));
        QCOMPARE(IDataParser::liveInstances(), live);
    }

    void pathInLocalEncoding()
    {
        const QString path = write(BlfBytes::file(obj(1)), QStringLiteral("日志 Prüfung.blf"));
        QCOMPARE(TestSupport::parseOnWorker(path).frames().size(), 1);
    }

    // The stop is asked for as the run starts, so it is seen at the first of
    // 100 000 objects: deterministic, unlike a stop from another thread.
    void stopRequested()
    {
        QByteArray stream;
        for (int i = 0; i < 100000; ++i)
            stream += obj(i);
        const QString path = write(BlfBytes::file(stream, {131072, 131072}));
        const int descriptors = openDescriptors();

        BlfParser parser;
        std::atomic<bool> stop{false};
        QSignalSpy progress(&parser, &IDataParser::progressUpdated);
        QSignalSpy data(&parser, &IDataParser::dataParsed);
        QSignalSpy finished(&parser, &IDataParser::parsingFinished);
        connect(&parser, &IDataParser::progressUpdated, this, [&stop] { stop.store(true); });
        QTest::ignoreMessage(QtDebugMsg, "检测到停止信号，线程正在退出...");
        QVERIFY(!parser.parse(path, stop));
        QCOMPARE(progress.size(), 1);
        QCOMPARE(data.size(), 0);
        QCOMPARE(finished.size(), 0);
        QCOMPARE(openDescriptors(), descriptors);
    }

    // Frames come in batches of 2000 as the file is read, each followed by the
    // share of the file read so far when it grew.
    void batchesAndProgress()
    {
        QByteArray stream;
        for (int i = 0; i < 4500; ++i)
            stream += obj(i);
        const ParseRun run =
            TestSupport::parseOnWorker(write(BlfBytes::file(stream, QVector<int>(13, 16384).toList())));
        QVERIFY(run.result);
        QCOMPARE(run.batchSizes(), (QList<int>{2000, 2000, 500}));
        QCOMPARE(run.identifiers().size(), 4500);
        QCOMPARE(run.identifiers().at(4499), uint(0x100 + 4499));
        const QStringList seen = run.describe();
        QCOMPARE(seen.first(), StartText);
        QCOMPARE(seen.mid(seen.size() - 2), (QStringList{DoneText, SuccessText}));
        const QList<int> percents = run.progressValues();
        QVERIFY2(percents.size() >= 4 && percents.size() <= 6, qPrintable(seen.join('|')));
        for (int i = 1; i + 1 < percents.size(); ++i) {
            QVERIFY(percents[i] > percents[i - 1] && percents[i] <= 99);
            QVERIFY(seen.contains(QStringLiteral("progress %1 正在解析BLF...").arg(percents[i])));
        }
    }

    void stopBeforeTheFirstObject()
    {
        const QString path = write(BlfBytes::file(obj(1) + obj(2)));
        const int live = IDataParser::liveInstances();
        DataHub hub;
        std::atomic<bool> stop{true};
        QTest::ignoreMessage(QtDebugMsg, "检测到停止信号，线程正在退出...");
        const ParseRun run = TestSupport::parseOnWorker(hub, path, stop);
        QVERIFY(!run.result);
        QCOMPARE(run.describe(), QStringList{StartText});
        QCOMPARE(IDataParser::liveInstances(), live);
    }

    void damaged_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QVector<uint>>("ids");
        const QByteArray stream = obj(1) + obj(2) + obj(3);
        const QVector<uint> all{0x101, 0x102, 0x103};
        const QByteArray header = BlfBytes::header();
        QTest::newRow("object size 0") << BlfBytes::file(obj(1) + junkObject(0) + obj(3))
                                       << QVector<uint>{0x101, 0x103};
        QTest::newRow("object size 4 GB")
            << BlfBytes::file(obj(1) + junkObject(0xFFFFFFFF) + obj(3))
            << QVector<uint>{0x101, 0x103};
        QTest::newRow("uncompressed size too small")
            << header + BlfBytes::container(stream, 2, stream.size() - 8) << all;
        QTest::newRow("uncompressed size too large")
            << header + BlfBytes::container(stream, 2, stream.size() + 8) << all;
        QTest::newRow("uncompressed size 4 GB")
            << header + BlfBytes::container(stream, 2, 0xFFFFFFFF) << all;
        QTest::newRow("unknown compression method")
            << header + BlfBytes::container(obj(1)) + BlfBytes::container(obj(2), 5)
                   + BlfBytes::container(obj(3)) << QVector<uint>{0x101, 0x103};
        QTest::newRow("object size beyond the end")
            << BlfBytes::file(obj(1) + obj(2) + junkObject(1000)) << QVector<uint>{0x101, 0x102};
    }

    void damaged()
    {
        QFETCH(QByteArray, file);
        QFETCH(QVector<uint>, ids);
        const ParseRun run = TestSupport::parseOnWorker(write(file));
        QVERIFY(run.result);
        QCOMPARE(run.identifiers(), ids);
        QCOMPARE(run.describe().mid(run.describe().size() - 2),
                 (QStringList{DoneText, SuccessText}));
    }

    void damagedZlibData()
    {
        QByteArray stream;
        for (int n = 1; n <= 200; ++n)
            stream += BlfBytes::canMessage(quint32(n), 8, quint64(n));
        QByteArray container = BlfBytes::container(stream);
        for (int i = container.size() / 2; i < container.size() / 2 + 16; ++i)
            container[i] = char(container[i] ^ 0x5A);
        const QByteArray file = BlfBytes::header() + container
                                + BlfBytes::container(BlfBytes::canMessage(500, 8, 500));
        const ParseRun run = TestSupport::parseOnWorker(write(file));
        QVERIFY(run.result);
        QCOMPARE(run.describe().last(), SuccessText);
        // Damaged deflate data may inflate to garbage before zlib notices, so
        // only the frames well before the damage are certain.
        const QVector<uint> ids = run.identifiers();
        QVERIFY(ids.size() > 50);
        for (int i = 0; i < 50; ++i)
            QCOMPARE(ids[i], quint32(i + 1));
        QVERIFY(!ids.contains(500));
    }

    void cutAtEveryOffset_data()
    {
        QTest::addColumn<int>("method");
        QTest::newRow("stored") << 0;
        QTest::newRow("zlib") << 2;
    }

    // Whatever the cut, the frames delivered are the file's first frames,
    // exactly as a whole read gives them, and the run ends as a success that
    // says the file ended early.
    void cutAtEveryOffset()
    {
        QFETCH(int, method);
        const QList<QByteArray> objects{
            obj(1), BlfBytes::canFd64(2, 20, 2000, 0x3000, 1), canMessage2(3, 5, 0x01, 3000),
            canFdMessage(4, 0x01, 12, 0, 9, -1, 4000), obj(5),
            BlfBytes::canFd64(6, 3, 6000)};
        const QList<int> pieces{100, 152};
        QByteArray stream;
        QList<int> ends; // stream offset just after each object
        for (const QByteArray &object : objects) {
            stream += object;
            ends << stream.size();
        }
        const QByteArray file = BlfBytes::file(stream, pieces, quint16(method));
        const QVector<Vemi_CANFD_Data> whole =
            TestSupport::parseOnWorker(write(file)).frames();
        QCOMPARE(whole.size(), objects.size());
        QList<BlfBytes::Container> walked;
        QString problem;
        QVERIFY2(BlfBytes::walk(file, walked, problem), qPrintable(problem));
        QList<int> boundaries;
        for (const BlfBytes::Container &container : walked)
            boundaries << int(container.offset);
        boundaries << file.size() - 3; // the last container's padding

        int previous = 0;
        for (int cut = 0; cut < file.size(); ++cut) {
            const QByteArray where = "cut at " + QByteArray::number(cut);
            const ParseRun run = TestSupport::parseOnWorker(write(file.left(cut)));
            if (cut < 4) {
                QVERIFY2(run.describe() == (QStringList{StartText, OpenFailureText}), where);
                continue;
            }
            QVERIFY2(run.result, where);
            QVERIFY2(run.describe().last() == SuccessText, where);
            // Past the header every cut shows, before the closing reports,
            // but one at a container's end or within the three bytes after
            // it, which the library takes for padding: there the file looks
            // whole.
            const bool nearBoundary =
                std::any_of(boundaries.cbegin(), boundaries.cend(),
                            [cut](int at) { return cut >= at && cut - at <= 3; });
            if (cut >= 144 && !nearBoundary)
                QVERIFY2(run.describe().mid(run.describe().size() - 3, 1)
                             == QStringList{QStringLiteral("ended early BLF文件不完整或已损坏")},
                         where);
            const QVector<Vemi_CANFD_Data> frames = run.frames();
            QVERIFY2(frames.size() <= whole.size() && frames.size() >= previous, where);
            for (int i = 0; i < frames.size(); ++i)
                QVERIFY2(memcmp(&frames[i], &whole[i], sizeof frames[i]) == 0, where);
            previous = frames.size();
            if (method == 0) {
                // Stored: every object whose last byte is before the cut comes out.
                int complete = 0;
                for (int n = 0; n < ends.size(); ++n) {
                    const int containers = ends[n] <= 100 ? 1 : ends[n] <= 252 ? 2 : 3;
                    if (144 + 32 * containers + ends[n] <= cut)
                        complete = n + 1;
                }
                QVERIFY2(frames.size() == complete, where);
            }
        }
    }

private:
    QTemporaryDir dir;
};

QTEST_GUILESS_MAIN(TestBlfParser)
#include "tst_blfparser.moc"
