// The candump log: the reader's lines, its channels by interface, and the
// layout the writer gives its lines.
#include <QTemporaryDir>
#include <QtTest>

#include "candumpparser.h"
#include "candumpwriter.h"
#include "testsupport.h"
#include "writerrun.h"

namespace {

QByteArray hex64()
{
    QByteArray hex;
    for (int i = 0; i < 64; ++i)
        hex += QByteArray::number(0x40 + i, 16).toUpper();
    return hex;
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
        const char *const rows[][3] = {
            {"classic", "(1436509052.249713) can0 123#DEADBEEF",
             "1436509052249713 1 123 Rx c 4 DEADBEEF 1436509052.249713"},
            {"no data", "(1.0) can0 7FF#", "1000000 1 7FF Rx c 0 - 1.0"},
            {"extended, sent", "(1.0) can0 1ABCDEF0#0102 T",
             "1000000 1 1ABCDEF0x Tx c 2 0102 1.0"},
            {"received, word after", "(1.0) can0 123#11 R x", "1000000 1 123 Rx c 1 11 1.0"},
            {"remote", "(1.0) can0 123#R", "1000000 1 123r Rx c 0 - 1.0"},
            {"remote of 4, sent", "(1.0) can0 123#R4 T", "1000000 1 123r Tx c 4 - 1.0"},
            {"remote, raw DLC", "(1.0) can0 123#r8_F", "1000000 1 123r Rx c 8 - 1.0"},
            {"raw DLC", "(1.0) can0 123#1122334455667788_E",
             "1000000 1 123 Rx c 8 1122334455667788 1.0"},
            {"dots", "(1.0) can0 123#11.22.33", "1000000 1 123 Rx c 3 112233 1.0"},
            {"CAN FD", "(1.0) can0 123##0AABB", "1000000 1 123 Rx fd 2 AABB 1.0"},
            {"CAN FD, BRS", "(1.0) can0 123##5AA", "1000000 1 123 Rx fd+brs 1 AA 1.0"},
            {"CAN FD, ESI", "(1.0) can0 123##2AA", "1000000 1 123 Rx fd+esi 1 AA 1.0"},
            {"CAN FD, both, empty", "(1.0) can0 00000001##3 T",
             "1000000 1 1x Tx fd+brs+esi 0 - 1.0"},
            {"tabs, CR, no blank", "(0.5)vcan0\t123#01\r\tT", "500000 1 123 Tx c 1 01 0.5"},
            {"half a microsecond", "(1.0000005) can0 123#", "1000001 1 123 Rx c 0 - 1.0000005"},
            {"error frame", "(1.0) can0 20000080#0000000000000000", ""},
            {"2 digits", "(1.0) can0 12#11", ""},
            {"4 digits", "(1.0) can0 0123#11", ""},
            {"0x", "(1.0) can0 0x1#11", ""},
            {"odd digit", "(1.0) can0 123#112", ""},
            {"9 bytes", "(1.0) can0 123#112233445566778899", ""},
            {"raw DLC after 2 bytes", "(1.0) can0 123#1122_E", ""},
            {"raw DLC 8", "(1.0) can0 123#1122334455667788_8", ""},
            {"CAN FD, no flags", "(1.0) can0 123##", ""},
            {"remote of 9", "(1.0) can0 123#R9", ""},
            {"remote, data", "(1.0) can0 123#R11", ""},
            {"garbage", "(1.0) can0 123#11Z", ""},
            {"no interface", "(1.0) 123#11", ""},
            {"no parentheses", "1.0 can0 123#11", ""},
            {"negative time", "(-1.0) can0 123#11", ""},
        };
        for (const auto &row : rows)
            QTest::newRow(row[0]) << QByteArray(row[1]) << QByteArray(row[2]);
        QTest::newRow("CAN FD of 64") << "(1.0) can0 123##0" + hex64()
                                      << "1000000 1 123 Rx fd 64 " + hex64() + " 1.0";
        QTest::newRow("CAN FD of 65") << "(1.0) can0 123##0" + hex64() + "00" << QByteArray();
    }

    // A line that is no frame leaves the record zero.
    void lines()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, read);
        Vemi_CANFD_Data frame;
        CandumpParser::Interfaces interfaces;
        const bool isFrame = CandumpParser::parseLine(QLatin1String(line), frame, interfaces);
        QCOMPARE(TestSupport::describeLine(isFrame, frame), read);
    }

    // Through the dispatcher: the reader's texts, and the interfaces numbered
    // as the file names them, the 255th and any later one on channel 255.
    void channelsByInterface()
    {
        QByteArray log = "(1.0) can1 123#\n(1.0) vcan0 123#\n\n(1.0) can1 123#\nno frame\n";
        for (int i = 3; i <= 300; ++i)
            log += "(2.0) slcan" + QByteArray::number(i) + " 123#\n";
        log += "(3.0) vcan0 123#\n";
        QTemporaryDir dir;
        const TestSupport::ParseRun run =
            TestSupport::parseOnWorker(TestSupport::writeFile(dir.path(), "bus.log", log));
        QCOMPARE(run.describe(),
                 (QStringList{"progress 0 开始解析candump文件...", "data 302",
                              "progress 100 解析完成", "finished 1 candump文件解析成功"}));
        QList<int> channels;
        for (const Vemi_CANFD_Data &frame : run.frames())
            channels << frame.channel;
        QCOMPARE(channels.mid(0, 4), (QList<int>{1, 2, 1, 3}));
        QCOMPARE(channels.mid(254, 3), (QList<int>{254, 255, 255}));
        QCOMPARE(channels.last(), 2);
    }

    // Seconds in ten digits at least; channel n on can<n-1>, channel 0 on
    // can0; 3 or 8 digits; no bytes for a remote frame and at most 8 for a
    // classic one; the flags digit; error entries give no line.
    void writtenLines()
    {
        using TestSupport::makeFrame;
        Vemi_CANFD_Data error = makeFrame(0x1, 1);
        error.errorFlags = Vemi_CANFD_Data::ErrorEntry;
        QVector<Vemi_CANFD_Data> frames{
            makeFrame(0x123, 4, 0, false, false, false, 1436509052249713, 0xDE),
            makeFrame(0x5, 0, 0, false, false, true, 10000), error,
            makeFrame(0x1ABCDEF, 2, 0, true, false, false, 0),
            makeFrame(0x1234, 1, 0, false, false, false, 0),
            makeFrame(0x7FF, 5, 0, false, true, true, 0),
            makeFrame(0x1, 12, 0, false, false, false, 0, 0),
            makeFrame(0x10, 1, 3, true, true, true, 0),
            makeFrame(0x10, 0, 1, false, false, false, 0),
        };
        frames[1].channel = 1;
        frames[3].channel = 12;
        frames[7].errorFlags = Vemi_CANFD_Data::EsiBit;
        const WriterRun run = runWriter(CandumpWriter(), frames, 5);
        QCOMPARE(run.text, QByteArray("(1436509052.249713) can0 123#DEDFE0E1 R\n"
                                      "(0000000000.010000) can0 005# T\n"
                                      "(0000000000.000000) can11 01ABCDEF#1112 R\n"
                                      "(0000000000.000000) can0 00001234#11 R\n"
                                      "(0000000000.000000) can0 7FF#R5 T\n"
                                      "(0000000000.000000) can0 001#0001020304050607 R\n"
                                      "(0000000000.000000) can0 00000010##311 T\n"
                                      "(0000000000.000000) can0 010##1 R\n"));
        QCOMPARE(run.progress, (QList<int>{11, 22, 44, 55, 66, 77, 88, 100}));
    }
};

QTEST_GUILESS_MAIN(TestCandump)
#include "tst_candump.moc"
