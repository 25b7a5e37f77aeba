#include <ctime>

#include <QTranslator>
#include <QtTest>

#include "csvwriter.h"
#include "testsupport.h"
#include "writerrun.h"

using TestSupport::makeFrame;

namespace {

const QDateTime morning(QDate(2026, 3, 4), QTime(9, 5, 7, 100));

Vemi_CANFD_Data errorEntry(uint64_t timestamp)
{
    Vemi_CANFD_Data entry = withPayload(makeFrame(0x1, 0), QByteArray::fromHex("AABBCC"));
    entry.errorFlags = Vemi_CANFD_Data::ErrorEntry;
    entry.timestamp = timestamp;
    return entry;
}

// The second line of the output: the frame line after the header.
QByteArray firstFrameLine(const WriterRun &run)
{
    return run.text.split('\n').value(1);
}

// Sets TZ for the lifetime of the object and restores it afterwards.
class TimeZoneScope final
{
public:
    explicit TimeZoneScope(const QByteArray &zone)
        : saved(qgetenv("TZ")), wasSet(qEnvironmentVariableIsSet("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~TimeZoneScope()
    {
        if (wasSet)
            qputenv("TZ", saved);
        else
            qunsetenv("TZ");
        tzset();
    }

private:
    QByteArray saved;
    bool wasSet;
};

} // namespace

class TestCsvWriter : public QObject
{
    Q_OBJECT

private slots:
    void header_data()
    {
        QTest::addColumn<bool>("chinese");
        QTest::addColumn<QString>("expected");
        QTest::newRow("source texts")
            << false
            << "Direction(0:Rx 1:Tx 2:Error),Time,Name,ID(HEX),CAN type(0:CAN 2:CANFD 3:FD BRS),"
               "Frame format(0:Data frame 1:Remote frame),"
               "Frame type(0:Standard frame 1:Extend frame),Length,Data\n";
        QTest::newRow("chinese")
            << true
            << QString::fromUtf8("方向(0:接收 1:发送 2:错误),时间,名称,ID(HEX),"
                                 "CAN 类型(0:CAN 2:CANFD 3:FD 加速),帧格式(0:数据帧 1:远程帧),"
                                 "帧类型(0:标准帧 1:扩展帧),长度,数据\n");
    }

    void header()
    {
        QFETCH(bool, chinese);
        QFETCH(QString, expected);
        QTranslator translator;
        if (chinese) {
            QVERIFY(translator.load(QStringLiteral(":/Translation/Tavrix_zh_CN.qm")));
            QCoreApplication::installTranslator(&translator);
        }
        const WriterRun run = runWriter(CsvWriter(), {makeFrame(0x1, 0)}, 0, morning);
        QCoreApplication::removeTranslator(&translator);
        QCOMPARE(run.text.left(run.text.indexOf('\n') + 1), expected.toLocal8Bit());
    }

    void clockTime_data()
    {
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<quint64>("elapsed");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("at the start") << morning << quint64(0) << QByteArray("09:05:07:100");
        QTest::newRow("truncated milliseconds")
            << morning << quint64(1234567) << QByteArray("09:05:08:334");
        QTest::newRow("past midnight")
            << QDateTime(QDate(2026, 3, 4), QTime(23, 59, 59, 900)) << quint64(250999)
            << QByteArray("00:00:00:150");
        QTest::newRow("days later")
            << morning << quint64((2 * 86400 + 3600) * 1000000ull + 4000)
            << QByteArray("10:05:07:104");
    }

    void clockTime()
    {
        QFETCH(QDateTime, start);
        QFETCH(quint64, elapsed);
        QFETCH(QByteArray, expected);
        const QVector<Vemi_CANFD_Data> frames{
            makeFrame(0x1, 0, 0, false, false, false, 500 + elapsed)};
        const WriterRun run = runWriter(CsvWriter(), frames, 500, start);
        QCOMPARE(firstFrameLine(run).split(',').value(1), expected);
    }

    void clockFollowsDaylightSaving()
    {
        if (!QFile::exists(QStringLiteral("/usr/share/zoneinfo/Europe/Berlin")))
            QSKIP("no time zone data");
        const TimeZoneScope berlin("Europe/Berlin");
        // Clocks in Berlin jump from 02:00 to 03:00 on that night.
        const QDateTime start(QDate(2026, 3, 29), QTime(1, 59, 59, 500));
        const QVector<Vemi_CANFD_Data> frames{
            makeFrame(0x1, 0), makeFrame(0x2, 0, 0, false, false, false, 1000000)};
        const WriterRun run = runWriter(CsvWriter(), frames, 0, start);
        const QList<QByteArray> lines = run.text.split('\n');
        QCOMPARE(lines.value(1).split(',').value(1), QByteArray("01:59:59:500"));
        QCOMPARE(lines.value(2).split(',').value(1), QByteArray("03:00:00:500"));
    }

    void frameLine_data()
    {
        QTest::addColumn<Vemi_CANFD_Data>("frame");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("standard")
            << makeFrame(0x7FF, 2, 0)
            << QByteArray("0,09:05:07:100, ,0x000007FF,0,0,0,2,11 12 ");
        QTest::newRow("extended fd sent")
            << makeFrame(0x1ABCDEF, 1, 3, true, false, true)
            << QByteArray("1,09:05:07:100, ,0x01ABCDEF,3,0,1,1,11 ");
        QTest::newRow("remote keeps its bytes")
            << makeFrame(0x10, 8, 0, false, true)
            << QByteArray("0,09:05:07:100, ,0x00000010,0,1,0,8,11 12 13 14 15 16 17 18 ");
        QTest::newRow("empty data cell")
            << makeFrame(0x10, 0) << QByteArray("0,09:05:07:100, ,0x00000010,0,0,0,0,");

        Vemi_CANFD_Data legend = makeFrame(0x10, 0, 1);
        legend.flags |= 0x80;
        QTest::newRow("direction from bits 6 and 7")
            << legend << QByteArray("2,09:05:07:100, ,0x00000010,1,0,0,0,");
        QTest::newRow("error entry keeps absolute time")
            << errorEntry(123456789) << QByteArray("2,123456789,,,,,,,AA BB CC ");

        Vemi_CANFD_Data damaged = makeFrame(0x10, 64, 2);
        damaged.length = 255;
        QTest::newRow("damaged length clamped")
            << damaged << "0,09:05:07:100, ,0x00000010,2,0,0,64," + byteTexts(0x11, 64);
    }

    void frameLine()
    {
        QFETCH(Vemi_CANFD_Data, frame);
        QFETCH(QByteArray, expected);
        const WriterRun run = runWriter(CsvWriter(), {frame}, frame.timestamp, morning);
        QCOMPARE(firstFrameLine(run), expected);
        QVERIFY(run.text.endsWith(expected + '\n'));
    }

    void errorEntriesDoNotCount()
    {
        const QVector<Vemi_CANFD_Data> frames{makeFrame(0x1, 0), errorEntry(0), makeFrame(0x2, 0)};
        const WriterRun run = runWriter(CsvWriter(), frames, 0, morning);
        QCOMPARE(run.text.count('\n'), 4);
        QCOMPARE(run.progress, (QList<int>{33, 66}));
    }
};

QTEST_GUILESS_MAIN(TestCsvWriter)
#include "tst_csvwriter.moc"
