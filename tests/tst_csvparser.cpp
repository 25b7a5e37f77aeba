#include <ctime>
#include <random>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QTranslator>
#include <QtTest>

#include "candataexporter.h"
#include "csvparser.h"
#include "testsupport.h"

using TestSupport::HubEvent;
using TestSupport::ParseRun;

namespace {

const QString header = QStringLiteral(
    "Direction(0:Rx 1:Tx 2:Error),Time,Name,ID(HEX),CAN type(0:CAN 2:CANFD 3:FD BRS),"
    "Frame format(0:Data frame 1:Remote frame),Frame type(0:Standard frame 1:Extend frame),"
    "Length,Data");
const QString chineseHeader = QStringLiteral(
    "方向(0:接收 1:发送 2:错误),时间,名称,ID(HEX),CAN 类型(0:CAN 2:CANFD 3:FD 加速),"
    "帧格式(0:数据帧 1:远程帧),帧类型(0:标准帧 1:扩展帧),长度,数据");

// A frame line as our exporter writes it, with the identifier and a time of
// day that both count up with n.
QString frameLine(int n)
{
    return QString::asprintf("0,00:00:%02d:%03d, ,0x%08X,0,0,0,1,%02X ", (n / 1000) % 60,
                             n % 1000, n, n & 0xFF);
}

QByteArray csvText(const QStringList &lines, const char *lineEnd = "\r\n")
{
    QByteArray text;
    for (const QString &line : lines)
        text += line.toUtf8() + lineEnd;
    return text;
}

QByteArray payload(const Vemi_CANFD_Data &frame)
{
    return QByteArray(reinterpret_cast<const char *>(frame.data), Vemi_CANFD_Data::MaxDataLength);
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result(Vemi_CANFD_Data::MaxDataLength, '\0');
    int i = 0;
    for (int value : values)
        result[i++] = char(value);
    return result;
}

// The run ended normally: progress 0 first, 100 last, one successful finish.
void verifyCompleteRun(const ParseRun &run)
{
    QVERIFY(run.result);
    QVERIFY(run.events.size() >= 3);
    QCOMPARE(run.events.first().kind, HubEvent::Progress);
    QCOMPARE(run.events.first().percent, 0);
    QCOMPARE(run.events.first().message, QStringLiteral("开始解析CSV文件..."));
    const HubEvent &last = run.events.last();
    QCOMPARE(last.kind, HubEvent::Finished);
    QVERIFY(last.success);
    QCOMPARE(last.message, QStringLiteral("CSV文件解析成功"));
    const HubEvent &done = run.events.at(run.events.size() - 2);
    QCOMPARE(done.kind, HubEvent::Progress);
    QCOMPARE(done.percent, 100);
    QCOMPARE(done.message, QStringLiteral("解析完成"));
    QCOMPARE(run.count(HubEvent::Finished), 1);
}

} // namespace

class TestCsvParser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        // Export clock times are local; no daylight-saving step may move them.
        qputenv("TZ", "UTC");
        tzset();
    }

    void singleLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("flags");
        QTest::addColumn<uint>("id");
        QTest::addColumn<int>("length");
        QTest::addColumn<qulonglong>("timestamp");
        QTest::addColumn<QByteArray>("timeText");
        QTest::addColumn<QByteArray>("data");

        const uint ext = Vemi_CANFD_Data::ExtendedBit;
        const uint rtr = Vemi_CANFD_Data::RemoteBit;
        QTest::newRow("exported fd line")
            << "1,12:34:56.789, ,0x000001A5,2,0,0,8,01 02 03 04 05 06 07 08" << 0x42 << 0x1A5u
            << 8 << 45296789000ull << QByteArray("12:34:56.789")
            << bytes({1, 2, 3, 4, 5, 6, 7, 8});
        QTest::newRow("colon before milliseconds")
            << "0,12:34:56:789, ,0x7FF,0,0,0,0," << 0 << 0x7FFu << 0 << 45296789000ull
            << QByteArray("12:34:56:789") << bytes({});
        QTest::newRow("single-digit clock parts")
            << "0,9:5:7.100, ,0x1,0,0,0,0," << 0 << 1u << 0 << 32707100000ull
            << QByteArray("9:5:7.100") << bytes({});
        QTest::newRow("direction and format 2 are not 1")
            << "2,00:00:00:000, ,0x10,0,2,2,0," << 0 << 0x10u << 0 << 0ull
            << QByteArray("00:00:00:000") << bytes({});
        QTest::newRow("extended remote brs")
            << "1,00:00:01:000, ,0x01ABCDEF,3,1,1,2,AA BB" << 0x43 << (0x1ABCDEFu | ext | rtr)
            << 2 << 1000000ull << QByteArray("00:00:01:000") << bytes({0xAA, 0xBB});
        QTest::newRow("twelve fields use the first nine")
            << "0,5, ,0x20,0,0,0,1,11,1,0x99,7" << 0 << 0x20u << 1 << 5000000ull
            << QByteArray("5") << bytes({0x11});
        QTest::newRow("more pieces than length")
            << "0,5, ,0x21,0,0,0,2,AA BB CC DD" << 0 << 0x21u << 2 << 5000000ull
            << QByteArray("5") << bytes({0xAA, 0xBB});
        QTest::newRow("fewer pieces than length")
            << "0,5, ,0x22,2,0,0,12,AA" << 2 << 0x22u << 12 << 5000000ull << QByteArray("5")
            << bytes({0xAA});
        QTest::newRow("decimal seconds read as 0")
            << "0,1.5, ,0x23,0,0,0,0," << 0 << 0x23u << 0 << 0ull << QByteArray("1.5")
            << bytes({});
        QTest::newRow("empty time") << "0,, ,0x24,0,0,0,0," << 0 << 0x24u << 0 << 0ull
                                    << QByteArray() << bytes({});
        QTest::newRow("exponent seconds")
            << "0,2e-3, ,0x25,0,0,0,0," << 0 << 0x25u << 0 << 2000ull << QByteArray("2E-3")
            << bytes({});
        QTest::newRow("negative and infinite seconds read as 0")
            << "0,-5, ,0x26,0,0,0,0," << 0 << 0x26u << 0 << 0ull << QByteArray("-5")
            << bytes({});
        QTest::newRow("huge seconds read as 0")
            << "0,1e300, ,0x27,0,0,0,0," << 0 << 0x27u << 0 << 0ull << QByteArray("1E300")
            << bytes({});
        QTest::newRow("time text upper-cased and cut to 31 bytes")
            << "0,abcdefghijklmnopqrstuvwxyz0123456789, ,0x28,0,0,0,0," << 0 << 0x28u << 0
            << 0ull << QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZ01234") << bytes({});
        QTest::newRow("non-ascii time text")
            << "0,ßx, ,0x29,0,0,0,0," << 0 << 0x29u << 0 << 0ull << QByteArray("SSX")
            << bytes({});
        QTest::newRow("error entry") << "2,1234,,,,,,," << 0 << 0u << 0 << 1234000000ull
                                     << QByteArray("1234") << bytes({});
        QTest::newRow("stray spaces")
            << " 1 , 00:00:02.500 ,  , 0x1A5 , 2 , 0 , 1 , 3 , \t0A  0b \t0C  " << 0x42
            << (0x1A5u | ext) << 3 << 2500000ull << QByteArray(" 00:00:02.500 ")
            << bytes({0x0A, 0x0B, 0x0C});
        // Only blanks separate bytes; a tab between two makes one unreadable byte.
        QTest::newRow("tab inside a byte") << "0,0, ,0x32,0,0,0,2,01\t02 03" << 0 << 0x32u << 2
                                           << 0ull << QByteArray("0") << bytes({0, 3});
        QTest::newRow("unparsable numbers read as 0")
            << "x,zz, ,0xG1,q,1,1,abc,01 02" << 0 << (rtr | ext) << 0 << 0ull
            << QByteArray("ZZ") << bytes({});
        QTest::newRow("identifier without prefix, masked to 29 bits")
            << "0,0, ,FFFFFFFF,7,0,0,1,1FF" << 3 << 0x1FFFFFFFu << 1 << 0ull << QByteArray("0")
            << bytes({0xFF});
        QTest::newRow("identifier beyond 64 bits reads as 0")
            << "0,0, ,0x1FFFFFFFFFFFFFFFF,0,0,0,0," << 0 << 0u << 0 << 0ull << QByteArray("0")
            << bytes({});
        QTest::newRow("length low byte") << "0,0, ,0x30,0,0,0,258,01 02 03" << 0 << 0x30u << 2
                                         << 0ull << QByteArray("0") << bytes({1, 2});
        QString longData;
        for (int i = 0; i < 70; ++i)
            longData += QString::asprintf("%02X ", i);
        QByteArray first64;
        for (int i = 0; i < 64; ++i)
            first64 += char(i);
        QTest::newRow("length above 64 limited to 64")
            << "0,0, ,0x31,2,0,0,100," + longData << 2 << 0x31u << 64 << 0ull
            << QByteArray("0") << first64;
    }

    void singleLine()
    {
        QFETCH(QString, line);
        QFETCH(int, flags);
        QFETCH(uint, id);
        QFETCH(int, length);
        QFETCH(qulonglong, timestamp);
        QFETCH(QByteArray, timeText);
        QFETCH(QByteArray, data);

        const QString path = TestSupport::writeFile(dir.path(), QStringLiteral("line.CSV"),
                                                    csvText({header, line}));
        const ParseRun run = TestSupport::parseOnWorker(path);
        verifyCompleteRun(run);
        const QVector<Vemi_CANFD_Data> frames = run.frames();
        QCOMPARE(frames.size(), 1);
        const Vemi_CANFD_Data &frame = frames.first();
        QCOMPARE(int(frame.flags), flags);
        QCOMPARE(uint(frame.id), id);
        QCOMPARE(int(frame.length), length);
        QCOMPARE(qulonglong(frame.timestamp), timestamp);
        QCOMPARE(QByteArray(frame.timeText), timeText);
        QCOMPARE(payload(frame), data);
        QCOMPARE(int(frame.errorFlags), 0);
        QCOMPARE(int(frame.channel), 0);
    }

    void fileContents_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QVector<uint>>("ids");

        QTest::newRow("empty file") << QByteArray() << QVector<uint>{};
        QTest::newRow("header only") << csvText({header}) << QVector<uint>{};
        QTest::newRow("first line skipped even when valid")
            << csvText({frameLine(1), frameLine(2)}) << QVector<uint>{2};
        QTest::newRow("8 fields skipped")
            << csvText({header, "0,5, ,0x3,0,0,0,0", frameLine(4)}) << QVector<uint>{4};
        QTest::newRow("time word anywhere skipped")
            << csvText({header, chineseHeader, "0,5, ,0x3,0,0,0,1,时间", frameLine(5),
                        chineseHeader})
            << QVector<uint>{5};
        QTest::newRow("comments and blank lines")
            << csvText({header, "", ";0,5, ,0x3,0,0,0,1,01", "   ", frameLine(6)})
            << QVector<uint>{6};
        QTest::newRow("LF line ends") << csvText({header, frameLine(7), frameLine(8)}, "\n")
                                      << QVector<uint>{7, 8};
        QTest::newRow("no line end at the end")
            << csvText({header, frameLine(9)}) + frameLine(10).toUtf8() << QVector<uint>{9, 10};
        QTest::newRow("utf-8 byte-order mark")
            << "\xEF\xBB\xBF" + csvText({chineseHeader, frameLine(11)}) << QVector<uint>{11};
        // The header may sit on line 1 of a BOM file; a frame there is still skipped.
        QTest::newRow("utf-8 byte-order mark before a frame")
            << "\xEF\xBB\xBF" + csvText({frameLine(12), frameLine(13)}) << QVector<uint>{13};
        for (const char *codec : {"UTF-16LE", "UTF-16BE"}) {
            const QString text = chineseHeader + "\r\n" + frameLine(14) + "\r\n" + frameLine(15)
                                 + "\r\n";
            const QByteArray encoded = QTextCodec::codecForName(codec)->fromUnicode(text);
            const QByteArray bom = QByteArray(codec) == "UTF-16LE" ? "\xFF\xFE" : "\xFE\xFF";
            QTest::newRow(codec) << bom + encoded << QVector<uint>{14, 15};
        }
    }

    void fileContents()
    {
        QFETCH(QByteArray, content);
        QFETCH(QVector<uint>, ids);
        const QString path = TestSupport::writeFile(dir.path(), QStringLiteral("contents.csv"),
                                                    content);
        const ParseRun run = TestSupport::parseOnWorker(path);
        verifyCompleteRun(run);
        QCOMPARE(run.identifiers(), ids);
        QCOMPARE(run.progressValues(), (QList<int>{0, 100}));
        QCOMPARE(run.count(HubEvent::Data), ids.isEmpty() ? 0 : 1);
    }

    void batchesAndProgress_data()
    {
        QTest::addColumn<int>("frameLines");
        QTest::addColumn<int>("commentLine"); // a line number turned into a comment, or 0
        QTest::addColumn<QList<int>>("batchSizes");
        QTest::addColumn<QList<int>>("progress");

        QList<int> twelveFull;
        for (int i = 0; i < 12; ++i)
            twelveFull << 2000;
        QTest::newRow("25 001 lines") << 25000 << 0 << (twelveFull + QList<int>{1000})
                                      << QList<int>{0, 10, 20, 100};
        // Progress is only reported on a line that made a frame.
        QList<int> withGap = twelveFull;
        withGap << 999;
        QTest::newRow("line 20 000 is a comment")
            << 25000 << 20000 << withGap << QList<int>{0, 10, 100};
        QTest::newRow("exactly one batch") << 2000 << 0 << QList<int>{2000}
                                           << QList<int>{0, 100};
    }

    void batchesAndProgress()
    {
        QFETCH(int, frameLines);
        QFETCH(int, commentLine);
        QFETCH(QList<int>, batchSizes);
        QFETCH(QList<int>, progress);

        QStringList lines{header};
        for (int n = 1; n <= frameLines; ++n)
            lines << frameLine(n);
        if (commentLine > 0)
            lines[commentLine - 1].prepend(QLatin1Char(';'));
        const QString path = TestSupport::writeFile(dir.path(), QStringLiteral("large.csv"),
                                                    csvText(lines));
        const ParseRun run = TestSupport::parseOnWorker(path);
        verifyCompleteRun(run);
        QCOMPARE(run.batchSizes(), batchSizes);
        QCOMPARE(run.progressValues(), progress);
        for (const HubEvent &event : run.events) {
            if (event.kind == HubEvent::Progress && event.percent > 0 && event.percent < 100)
                QCOMPARE(event.message, QStringLiteral("正在解析CSV..."));
        }
        // Every frame arrives once, in file order.
        const QVector<Vemi_CANFD_Data> frames = run.frames();
        uint expected = 1;
        for (const Vemi_CANFD_Data &frame : frames) {
            if (int(expected) == commentLine - 1)
                ++expected;
            QCOMPARE(frame.id, expected);
            ++expected;
        }
        QCOMPARE(frames.last().timestamp, quint64(frameLines % 60000) * 1000);
    }

    // What our own exporter writes reads back with every field a CSV line keeps.
    void exportRoundTrip_data()
    {
        QTest::addColumn<bool>("chinese");
        QTest::newRow("english header") << false;
        QTest::newRow("chinese header") << true;
    }

    void exportRoundTrip()
    {
        QFETCH(bool, chinese);
        using TestSupport::makeFrame;
        const uint64_t base = 86400000000ull * 3 + 5;
        QVector<Vemi_CANFD_Data> frames{
            makeFrame(0x7FF, 8, 0, false, false, false, base),
            makeFrame(0x1ABCDEF, 64, 3, true, false, true, base + 1234567, 0xC0),
            makeFrame(0x123, 8, 0, true, true, true, base + 2000000),
            makeFrame(0x0, 0, 2, false, false, false, base + 86400000000ull + 1000),
            makeFrame(0x55, 12, 2, false, false, false, base + 999),
        };
        Vemi_CANFD_Data error = makeFrame(0x99, 2, 0, false, false, false, base + 7);
        error.errorFlags = Vemi_CANFD_Data::ErrorEntry;
        frames.insert(2, error);

        QTranslator translator;
        if (chinese) {
            QVERIFY(translator.load(QStringLiteral(":/Translation/Tavrix_zh_CN.qm")));
            QCoreApplication::installTranslator(&translator);
        }
        const QString path = dir.filePath(QStringLiteral("export.csv"));
        const bool exported = CanDataExporter().exportData(frames, ExportFormat::Csv,
                                                           SortOrder::None, path);
        QCoreApplication::removeTranslator(&translator);
        QVERIFY(exported);

        const ParseRun run = TestSupport::parseOnWorker(path);
        verifyCompleteRun(run);
        const QVector<Vemi_CANFD_Data> read = run.frames();
        QCOMPARE(read.size(), frames.size());
        for (int i = 0; i < frames.size(); ++i) {
            const Vemi_CANFD_Data &original = frames.at(i);
            const Vemi_CANFD_Data &back = read.at(i);
            if (original.isErrorEntry()) {
                // The error row carries its absolute time, read back as seconds.
                QCOMPARE(back.id, 0u);
                QCOMPARE(int(back.flags), 0);
                QCOMPARE(int(back.length), 0);
                QCOMPARE(back.timestamp, original.timestamp * 1000000);
                continue;
            }
            QCOMPARE(back.id, original.id);
            QCOMPARE(int(back.flags), int(original.flags));
            QCOMPARE(int(back.length), int(original.length));
            QCOMPARE(QByteArray(reinterpret_cast<const char *>(back.data), back.length),
                     QByteArray(reinterpret_cast<const char *>(original.data), original.length));
        }
        // Times come back as clock times of the export: whole milliseconds after
        // the first frame, modulo a day.
        const quint64 day = 86400000000ull;
        const QVector<quint64> elapsed{0, 1234000, 2000000, 1000, 0};
        const QVector<int> rows{0, 1, 3, 4, 5};
        for (int k = 0; k < rows.size(); ++k)
            QCOMPARE((read.at(rows.at(k)).timestamp + day - read.first().timestamp) % day,
                     elapsed.at(k));
    }

    void binaryFile_data()
    {
        QTest::addColumn<QByteArray>("alphabet"); // empty: any byte

        QTest::newRow("random bytes") << QByteArray();
        QTest::newRow("random field characters")
            << QByteArray(",,,,,\n\r 0123456789ABCDEFx.:;-+\t");
    }

    void binaryFile()
    {
        QFETCH(QByteArray, alphabet);
        std::mt19937 random(20240607);
        QByteArray content(256 * 1024, '\0');
        for (char &byte : content) {
            const auto value = random();
            byte = alphabet.isEmpty() ? char(value & 0xFF)
                                      : alphabet.at(int(value % uint(alphabet.size())));
        }
        const QString path = TestSupport::writeFile(dir.path(), QStringLiteral("noise.csv"),
                                                    content);
        const ParseRun run = TestSupport::parseOnWorker(path);
        verifyCompleteRun(run);
        for (const Vemi_CANFD_Data &frame : run.frames()) {
            QVERIFY(frame.length <= Vemi_CANFD_Data::MaxDataLength);
            QVERIFY(qstrnlen(frame.timeText, Vemi_CANFD_Data::TimeTextSize)
                    < Vemi_CANFD_Data::TimeTextSize);
            QCOMPARE(frame.id & 0x80000000u, 0u);
            QCOMPARE(frame.flags & 0xBC, 0);
        }
        if (!alphabet.isEmpty())
            QVERIFY(!run.frames().isEmpty());
    }

    void unopenableFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing") << QStringLiteral("missing.csv");
        QTest::newRow("directory") << QStringLiteral("folder.csv");
    }

    void unopenableFile()
    {
        QFETCH(QString, name);
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("folder.csv")));
        const ParseRun run = TestSupport::parseOnWorker(dir.filePath(name));
        QVERIFY(!run.result);
        QCOMPARE(run.events.size(), 2);
        QCOMPARE(run.events.at(0).kind, HubEvent::Progress);
        QCOMPARE(run.events.at(0).percent, 0);
        QCOMPARE(run.events.at(0).message, QStringLiteral("开始解析CSV文件..."));
        QCOMPARE(run.events.at(1).kind, HubEvent::Finished);
        QVERIFY(!run.events.at(1).success);
        QCOMPARE(run.events.at(1).message, QStringLiteral("无法打开文件"));
    }

    // The flag is raised from inside the first batch hand-over, so the reader
    // sees it before the very next line.
    void stopMidFile()
    {
        registerFrameMetaTypes();
        QStringList lines{header};
        for (int n = 1; n <= 5000; ++n)
            lines << frameLine(n);
        const QString path = TestSupport::writeFile(dir.path(), QStringLiteral("stop.csv"),
                                                    csvText(lines));
        std::atomic<bool> stop{false};
        CsvParser parser;
        QSignalSpy progress(&parser, &IDataParser::progressUpdated);
        QSignalSpy batches(&parser, &IDataParser::dataParsed);
        QSignalSpy finished(&parser, &IDataParser::parsingFinished);
        connect(&parser, &IDataParser::dataParsed, this, [&stop] { stop = true; },
                Qt::DirectConnection);

        QTest::ignoreMessage(QtDebugMsg, parserStopLogLine);
        QVERIFY(!parser.parse(path, stop));
        QCOMPARE(batches.count(), 1);
        QCOMPARE(batches.first().first().value<QVector<Vemi_CANFD_Data>>().size(), 2000);
        QCOMPARE(progress.count(), 1);
        QCOMPARE(finished.count(), 0);
    }

    // An ASCII line is read from its bytes, any other as text: random ASCII
    // lines give the same record both ways.
    void asciiLinesReadAsText()
    {
        const QList<QByteArray> fields = QByteArray(
            "0|1|2| 1 |+1|01|x||12:34:56.789|12:34:56:789| 9:5:1:001 |5|1.5|25:00:00:000|"
            "12:34:56.7890|ab| |0x000001A5|1A5|0X1a5| 0x1 |0x|+0x5|FFFFFFFFFFFFFFFFF|3|7| 2 |"
            "8|64|65|300|-1|01 02 03| 1  2 |fff 0x1 +2|zz|\t0A\v0B\f|0a 0B 0c 0D 0e 0F 10 11 "
            "12 13 14 15 16 17 18 19 1a 1b 1c 1d 1e 1f 20 21 22 23 24 25 26 27 28 29 2a 2b 2c "
            "2d 2e 2f 30 31 32 33 34 35 36 37 38 39 3a 3b 3c 3d 3e 3f 40 41 |\x01").split('|');
        std::mt19937 random(77);
        for (int i = 0; i < 50000; ++i) {
            QByteArray line;
            const int count = 7 + int(random() % 5);
            for (int f = 0; f < count; ++f)
                line += (f > 0 ? "," : "") + fields.at(int(random() % fields.size()));
            line = line.trimmed();
            Vemi_CANFD_Data fromText;
            const QString text = QString::fromLatin1(line);
            const bool textOk = CsvParser::parseLine(QStringView(text), fromText);
            Vemi_CANFD_Data fromBytes;
            const bool bytesOk =
                CsvParser::parseLine(QLatin1String(line.constData(), line.size()), fromBytes);
            QVERIFY2(textOk == bytesOk, line.constData());
            QVERIFY2(std::memcmp(&fromText, &fromBytes, sizeof fromText) == 0, line.constData());
        }
    }

private:
    QTemporaryDir dir;
};

QTEST_GUILESS_MAIN(TestCsvParser)
#include "tst_csvparser.moc"
