// The candump log: the reader's lines, its interfaces and channels, and the
// writer's lines.
#include <QTemporaryDir>
#include <QtTest>

#include "candumpparser.h"
#include "candumpwriter.h"
#include "testsupport.h"
#include "writerrun.h"

namespace {

QByteArray bytes64()
{
    QByteArray hex;
    for (int i = 0; i < 64; ++i)
        hex += QByteArray::number(i + 0x40, 16).toUpper();
    return hex;
}

// The line as the reader reads it, described; empty when it is no frame.
QByteArray readLine(const QByteArray &line)
{
    Vemi_CANFD_Data frame;
    CandumpParser::Interfaces interfaces;
    const bool read =
        CandumpParser::parseLine(QLatin1String(line.constData(), line.size()), frame,
                                 interfaces);
    if (!read) {
        // A line that is no frame leaves the record as it was, zero.
        return QByteArray(reinterpret_cast<const char *>(&frame), sizeof frame)
                       == QByteArray(sizeof frame, '\0')
                   ? QByteArray()
                   : QByteArray("record not zero");
    }
    return TestSupport::describeFrame(frame) + ' ' + frame.timeText;
}

} // namespace

class TestCandump : public QObject
{
    Q_OBJECT

private slots:
    void lines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("read"); // describeFrame and time text; empty: no frame
        const QByteArray t = "(1436509052.249713) can0 ";
        const QByteArray at = "1436509052249713 1 ";
        const QByteArray text = " 1436509052.249713";
        QTest::newRow("classic") << t + "123#DEADBEEF" << at + "123 Rx c 4 DEADBEEF" + text;
        QTest::newRow("no data") << t + "7FF#" << at + "7FF Rx c 0 -" + text;
        QTest::newRow("extended, sent")
            << t + "1ABCDEF0#0102 T" << at + "1ABCDEF0x Tx c 2 0102" + text;
        QTest::newRow("extended identifier 0") << t + "00000000#" << at + "0x Rx c 0 -" + text;
        QTest::newRow("received") << t + "123#11 R" << at + "123 Rx c 1 11" + text;
        QTest::newRow("unknown word after the frame") << t + "123#11 X" << at + "123 Rx c 1 11"
                                                                               + text;
        QTest::newRow("remote") << t + "123#R" << at + "123r Rx c 0 -" + text;
        QTest::newRow("remote of 4, sent") << t + "123#R4 T" << at + "123r Tx c 4 -" + text;
        QTest::newRow("remote, lower case") << t + "123#r8" << at + "123r Rx c 8 -" + text;
        QTest::newRow("remote, raw DLC") << t + "123#R8_F" << at + "123r Rx c 8 -" + text;
        QTest::newRow("raw DLC after 8 bytes")
            << t + "123#1122334455667788_E" << at + "123 Rx c 8 1122334455667788" + text;
        QTest::newRow("dots between bytes") << t + "123#11.22.33" << at + "123 Rx c 3 112233"
                                                                          + text;
        QTest::newRow("CAN FD") << t + "123##0AABB" << at + "123 Rx fd 2 AABB" + text;
        QTest::newRow("CAN FD, bit-rate switch")
            << t + "123##1AABB" << at + "123 Rx fd+brs 2 AABB" + text;
        QTest::newRow("CAN FD, ESI") << t + "123##2AA" << at + "123 Rx fd+esi 1 AA" + text;
        QTest::newRow("CAN FD, both, no data, sent")
            << t + "1FFFFFFF##3 T" << at + "1FFFFFFFx Tx fd+brs+esi 0 -" + text;
        QTest::newRow("CAN FD, FDF flag") << t + "123##5AA" << at + "123 Rx fd+brs 1 AA" + text;
        QTest::newRow("CAN FD of 64 bytes")
            << t + "123##0" + bytes64() << at + "123 Rx fd 64 " + bytes64() + text;
        QTest::newRow("tabs, CR") << QByteArray("(0.5)\tvcan0\t123#01\r\tT")
                                  << QByteArray("500000 1 123 Tx c 1 01 0.5");
        QTest::newRow("no space after the time")
            << QByteArray("(2.0)can0 123#") << QByteArray("2000000 1 123 Rx c 0 - 2.0");
        QTest::newRow("half a microsecond rounds up")
            << QByteArray("(1.0000005) can0 123#") << QByteArray("1000001 1 123 Rx c 0 - 1.0000005");

        const char *const none[][2] = {
            {"error frame", "20000080#0000000000000000"},
            {"error frame with other bits", "3FFFFFFF#"},
            {"identifier of 2 digits", "12#11"},
            {"identifier of 4 digits", "0123#11"},
            {"identifier not hex", "12G#11"},
            {"identifier with 0x", "0x1#11"},
            {"no hash", "123"},
            {"odd digit", "123#112"},
            {"9 bytes", "123#112233445566778899"},
            {"65 bytes on CAN FD", nullptr},
            {"raw DLC after 2 bytes", "123#1122_E"},
            {"raw DLC of 8", "123#1122334455667788_8"},
            {"raw DLC of two digits", "123#1122334455667788_EE"},
            {"CAN FD without flags", "123##"},
            {"CAN FD, flags not hex", "123##G11"},
            {"CAN FD, odd digit", "123##011A"},
            {"remote of 9", "123#R9"},
            {"remote, data", "123#R11"},
            {"remote of 4 with raw DLC", "123#R4_E"},
            {"garbage after the bytes", "123#11Z"},
        };
        for (const auto &row : none) {
            const QByteArray frame = row[1] ? QByteArray(row[1]) : "123##0" + bytes64() + "00";
            QTest::newRow(row[0]) << t + frame << QByteArray();
        }
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("no interface") << QByteArray("(1.0) 123#11") << QByteArray();
        QTest::newRow("no parentheses") << QByteArray("1.0 can0 123#11") << QByteArray();
        QTest::newRow("time no number") << QByteArray("(1.0x) can0 123#11") << QByteArray();
        QTest::newRow("negative time") << QByteArray("(-1.0) can0 123#11") << QByteArray();
        QTest::newRow("no closing parenthesis") << QByteArray("(1.0 can0 123#11") << QByteArray();
    }

    void lines()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, read);
        QCOMPARE(readLine(line), read);
    }

    // The first interface named is channel 1, each new one the next; the
    // 255th and any later one share channel 255.
    void channelsByInterface()
    {
        CandumpParser::Interfaces interfaces;
        QList<int> channels;
        const auto channelOf = [&interfaces](const QByteArray &interface) {
            const QByteArray line = "(1.0) " + interface + " 123#";
            Vemi_CANFD_Data frame;
            if (!CandumpParser::parseLine(QLatin1String(line), frame, interfaces))
                return -1;
            return int(frame.channel);
        };
        for (const char *name : {"can1", "vcan0", "can1", "can0", "vcan0", "can10"})
            channels << channelOf(name);
        QCOMPARE(channels, (QList<int>{1, 2, 1, 3, 2, 4}));
        for (int i = 5; i <= 300; ++i)
            channels << channelOf("slcan" + QByteArray::number(i));
        QCOMPARE(channels.mid(6 + 250, 2), (QList<int>{255, 255}));
        QCOMPARE(channels.last(), 255);
        QCOMPARE(channelOf("can1"), 1);
        QCOMPARE(int(interfaces.size()), 255);
    }

    void writtenLines_data()
    {
        QTest::addColumn<Vemi_CANFD_Data>("frame");
        QTest::addColumn<QByteArray>("line");
        using TestSupport::makeFrame;
        auto on = [](Vemi_CANFD_Data frame, int channel, uint8_t errorFlags = 0) {
            frame.channel = uint8_t(channel);
            frame.errorFlags = errorFlags;
            return frame;
        };
        const uint64_t epoch = 1436509052249713;
        QTest::newRow("classic, channel 0 on can0")
            << makeFrame(0x123, 4, 0, false, false, false, epoch, 0xDE)
            << QByteArray("(1436509052.249713) can0 123#DEDFE0E1 R\n");
        QTest::newRow("channel 1 on can0, seconds padded")
            << on(makeFrame(0x5, 0, 0, false, false, true, 10000), 1)
            << QByteArray("(0000000000.010000) can0 005# T\n");
        QTest::newRow("channel 12, extended")
            << on(makeFrame(0x1ABCDEF, 2, 0, true, false, false, 0), 12)
            << QByteArray("(0000000000.000000) can11 01ABCDEF#1112 R\n");
        QTest::newRow("standard above 0xFFF written extended")
            << makeFrame(0x1234, 1, 0, false, false, false, 0)
            << QByteArray("(0000000000.000000) can0 00001234#11 R\n");
        QTest::newRow("remote of 0") << makeFrame(0x7FF, 0, 0, false, true, false, 0)
                                     << QByteArray("(0000000000.000000) can0 7FF#R R\n");
        QTest::newRow("remote of 5, bytes not written")
            << makeFrame(0x7FF, 5, 0, false, true, true, 0)
            << QByteArray("(0000000000.000000) can0 7FF#R5 T\n");
        QTest::newRow("classic of 12 bytes: 8 written")
            << makeFrame(0x1, 12, 0, false, false, false, 0, 0)
            << QByteArray("(0000000000.000000) can0 001#0001020304050607 R\n");
        QTest::newRow("CAN FD, no bit-rate switch")
            << makeFrame(0x10, 12, 2, false, false, false, 0, 0xA0)
            << QByteArray("(0000000000.000000) can0 010##0A0A1A2A3A4A5A6A7A8A9AAAB R\n");
        QTest::newRow("CAN FD, switch and ESI, remote bit dropped")
            << on(makeFrame(0x10, 1, 3, true, true, true, 0), 2, Vemi_CANFD_Data::EsiBit)
            << QByteArray("(0000000000.000000) can1 00000010##311 T\n");
        QTest::newRow("protocol 1 counts as switched")
            << makeFrame(0x10, 0, 1, false, false, false, 0)
            << QByteArray("(0000000000.000000) can0 010##1 R\n");
        QTest::newRow("CAN FD of 64 bytes")
            << makeFrame(0x10, 64, 2, false, false, false, 0, 0x40)
            << "(0000000000.000000) can0 010##0" + bytes64() + " R\n";
    }

    // Each line alone, and read back as the frame it was written from.
    void writtenLines()
    {
        QFETCH(Vemi_CANFD_Data, frame);
        QFETCH(QByteArray, line);
        const WriterRun run = runWriter(CandumpWriter(), {frame}, 0);
        QCOMPARE(run.text, line);
        QCOMPARE(run.progress, QList<int>{100});

        Vemi_CANFD_Data read;
        CandumpParser::Interfaces interfaces;
        QVERIFY(CandumpParser::parseLine(QLatin1String(line.chopped(1)), read, interfaces));
        QCOMPARE(read.timestamp, frame.timestamp);
        QCOMPARE(read.identifier(), frame.identifier());
    }

    // Error entries give no line but count for progress; the times are the
    // frames' own, whatever the time origin.
    void errorEntriesAndProgress()
    {
        Vemi_CANFD_Data error = TestSupport::makeFrame(0x1, 1, 0, false, false, false, 5);
        error.errorFlags = Vemi_CANFD_Data::ErrorEntry;
        const QVector<Vemi_CANFD_Data> frames{
            TestSupport::makeFrame(0x2, 0, 0, false, false, false, 2000000), error,
            TestSupport::makeFrame(0x3, 0, 0, false, false, false, 1000000)};
        const WriterRun run = runWriter(CandumpWriter(), frames, 5);
        QCOMPARE(run.text, QByteArray("(0000000002.000000) can0 002# R\n"
                                      "(0000000001.000000) can0 003# R\n"));
        QCOMPARE(run.progress, (QList<int>{33, 100}));
    }

    // The whole file through the dispatcher: the contract's texts, batches
    // of 2000, and every line that is no frame passed over.
    void file()
    {
        QByteArray log;
        for (int i = 0; i < 2001; ++i) {
            log += "(100." + QByteArray::number(i).rightJustified(6, '0') + ") can"
                   + QByteArray::number(i % 3) + ' ' + QByteArray::number(0x100 + i % 0x700, 16)
                   + "#11\r\n";
            if (i == 7)
                log += "(100.5) can0 20000004#0000080000000000\nnot a line\n\n";
        }
        QTemporaryDir dir;
        const QString path = TestSupport::writeFile(dir.path(), QStringLiteral("bus.log"), log);
        const TestSupport::ParseRun run = TestSupport::parseOnWorker(path);
        QVERIFY(run.result);
        QCOMPARE(run.describe(),
                 (QStringList{"progress 0 开始解析candump文件...", "data 2000", "data 1",
                              "progress 100 解析完成", "finished 1 candump文件解析成功"}));
        const QVector<Vemi_CANFD_Data> frames = run.frames();
        QCOMPARE(frames.at(2000).timestamp, 100002000ull);
        QCOMPARE(frames.at(2000).channel, uint8_t(3));
        QCOMPARE(frames.at(1).channel, uint8_t(2));
    }
};

QTEST_GUILESS_MAIN(TestCandump)
#include "tst_candump.moc"
