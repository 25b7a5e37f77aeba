// The PEAK trace reader: the record layouts of each file version, the header
// lines that choose them, and python-can's reading of the same files.
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"
#include "trcparser.h"

namespace {

QByteArray counting(int count, int first = 0)
{
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text += ' ' + QByteArray::number(first + i, 16).toUpper().rightJustified(2, '0');
    return text;
}

TrcParser::Layout layoutOf(const QList<QByteArray> &headerLines)
{
    TrcParser::Layout layout;
    for (const QByteArray &line : headerLines)
        TrcParser::readHeaderLine(QLatin1String(line), layout);
    return layout;
}

// Each frame the file holds as the reader reads it, described.
QStringList readFile(const QString &path)
{
    QStringList frames;
    for (const Vemi_CANFD_Data &frame : TestSupport::parseOnWorker(path).frames())
        frames << QString::fromLatin1(TestSupport::describeFrame(frame));
    return frames;
}

// Files of every version as the format's description lays them out: the
// records of each kind, and what they hold. `peerWrong` says where python-can
// 4.1 reads the file otherwise, and `peer` is its reading (empty when it fails).
struct TraceFile
{
    const char *name;
    QByteArray text;
    QStringList ours;
    const char *peerWrong;
    QStringList peer;
};

const QVector<TraceFile> &traceFiles()
{
    static const QByteArray v11Data =
        ";$FILEVERSION=1.1\r\n;$STARTTIME=41766.4648963872\r\n;\r\n"
        ";   Message Number\r\n;---+--   ----+----  --+--  ----+---  +  -+ -- --\r\n"
        "     1)      1841.0  Rx         0001  8  00 11 22 33 44 55 66 77 \r\n"
        "     2)      1842.3  Error      0008  4  00 19 08 08 \r\n"
        "     3)      1843.0  Warng  FFFFFFFF  4  00 00 00 04 BUSLIGHT\r\n"
        "     4)      1845.6  Tx     1ABCDEF0  2  11 22 \r\n";
    static const QVector<TraceFile> files{
        {"1.1", v11Data, {"1841000 1 1 Rx c 8 0011223344556677", "1845600 1 1ABCDEF0x Tx c 2 1122"},
         nullptr, {}},
        {"1.1 remote frame", v11Data + "     5)      1846.1  Rx         0100  3  RTR\r\n",
         {"1841000 1 1 Rx c 8 0011223344556677", "1845600 1 1ABCDEF0x Tx c 2 1122",
          "1846100 1 100r Rx c 3 -"},
         "python-can 4.1 takes RTR for a data byte and stops", {}},
        {"1.3",
         ";$FILEVERSION=1.3\n;$STARTTIME=41766.4648963872\n"
         "     1)      1841.100 1  Rx         0001 -  8    00 11 22 33 44 55 66 77\n"
         "     2)      1842.300 2  Tx     1ABCDEF0 -  2    11 22\n"
         "     3)      1844.100 1  Rx         0100 -  3    RTR\n"
         "     4)      1845.000 1  Warng  FFFFFFFF -  4    00 00 00 04 BUSHEAVY\n"
         "     5)      1846.000 1  Error      0100 -  4    00 19 08 08\n",
         {"1841100 1 1 Rx c 8 0011223344556677", "1842300 2 1ABCDEF0x Tx c 2 1122",
          "1844100 1 100r Rx c 3 -"},
         "python-can 4.1 reads version 1.3 as 1.0 and stops", {}},
        {"2.0",
         ";$FILEVERSION=2.0\n;$STARTTIME=42209.4075997106\n;$COLUMNS=N,O,T,I,d,l,D\n"
         "      1      1059.900 DT     0300 Rx 7  00 00 00 00 04 00 00\n"
         "      2      1283.231 RR     0300 Tx 3\n"
         "      3      1298.945 FD 1ABCDEF0 Rx 12" + counting(12) + "\n"
         "      4      1300.000 FB     0400 Rx 1  AA\n"
         "      5      1301.000 FE     0401 Tx 2  AA BB\n"
         "      6      1302.000 BI     0402 Rx 0\n"
         "      7      1359.992 ST          Rx    00 00 00 08\n"
         "      8      1371.234 ER          Rx    04 00 02 00 00\n"
         "      9      1380.000 EC          Rx    02 01\n"
         "     10      1390.000 EV User text\n",
         {"1059900 1 300 Rx c 7 00000000040000", "1283231 1 300r Tx c 3 -",
          "1298945 1 1ABCDEF0x Rx fd 12 000102030405060708090A0B", "1300000 1 400 Rx fd+brs 1 AA",
          "1301000 1 401 Tx fd+esi 2 AABB", "1302000 1 402 Rx fd+brs+esi 0 -"},
         "python-can 4.1 reads version 2.0 as 1.0 and stops", {}},
        {"2.1 classic",
         ";$FILEVERSION=2.1\r\n;$STARTTIME=42209.4075997106\r\n;$COLUMNS=N,O,T,B,I,d,R,L,D\r\n"
         "      1      1059.900 DT 1      0300 Rx -  7    00 00 00 00 04 00 00\r\n"
         "      2      1359.992 ST 1           Rx -  -    00 00 00 08\r\n"
         "      3      1371.234 ER 2           Rx -  5    04 00 02 00 00\r\n"
         "      4      1380.000 DT 3  18FF1234 Tx -  2    AB CD\r\n",
         {"1059900 1 300 Rx c 7 00000000040000", "1380000 3 18FF1234x Tx c 2 ABCD"}, nullptr,
         {}},
        {"2.1 CAN FD and remote",
         ";$FILEVERSION=2.1\n;$COLUMNS=N,O,T,B,I,d,R,L,D\n"
         "      1      1283.231 RR 2      0300 Tx -  3\n"
         "      2      1298.945 FD 1  1ABCDEF0 Rx -  9   " + counting(12) + "\n"
         "      3      1300.000 FB 3      0400 Rx -  15  " + counting(64) + "\n"
         "      4      1301.000 BI 1      0401 Tx -  F   " + counting(64, 0x40) + "\n",
         {"1283231 2 300r Tx c 3 -", "1298945 1 1ABCDEF0x Rx fd 12 000102030405060708090A0B",
          "1300000 3 400 Rx fd+brs 64 " + QString::fromLatin1(counting(64).replace(' ', "")),
          "1301000 1 401 Tx fd+brs+esi 64 "
              + QString::fromLatin1(counting(64, 0x40).replace(' ', ""))},
         "python-can 4.1 passes over remote and CAN FD records", {}},
    };
    return files;
}

} // namespace

class TestTrcParser : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        registerFrameMetaTypes();
    }

    void headerLines_data()
    {
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<QByteArray>("columns");
        QTest::newRow("no header: version 1.0") << QList<QByteArray>{} << QByteArray("NOIlD");
        const char *const versions[][2] = {{"1.0", "NOIlD"},  {"1.1", "NOdIlD"},
                                           {"1.2", "NOBdIlD"}, {"1.3", "NOBdIRlD"},
                                           {"2.0", "NOTIdlD"}, {"2.1", "NOTBIdRLD"}};
        for (const auto &version : versions) {
            QTest::addRow("version %s", version[0])
                << QList<QByteArray>{";$FILEVERSION=" + QByteArray(version[0])}
                << QByteArray(version[1]);
        }
        QTest::newRow("unknown version") << QList<QByteArray>{";$FILEVERSION=3.0"}
                                         << QByteArray("NOIlD");
        QTest::newRow("columns after the version")
            << QList<QByteArray>{";$FILEVERSION=2.1", ";$COLUMNS=N,O,T,I,d,L,D"}
            << QByteArray("NOTIdLD");
        QTest::newRow("columns before the version")
            << QList<QByteArray>{";$COLUMNS=O,T,I,d,l,D", ";$FILEVERSION=2.1"}
            << QByteArray("OTIdlD");
        const char *const badLists[][2] = {{"no length", "N,O,T,I,d,D"},
                                           {"data not last", "N,O,T,I,d,D,L"},
                                           {"letter twice", "N,O,O,T,I,d,L,D"},
                                           {"two letters together", "N,OT,I,d,L,D"},
                                           {"empty", ""}};
        for (const auto &bad : badLists) {
            QTest::addRow("columns with %s", bad[0])
                << QList<QByteArray>{";$FILEVERSION=2.1", ";$COLUMNS=" + QByteArray(bad[1])}
                << QByteArray("NOTBIdRLD");
        }
        QTest::newRow("a comment") << QList<QByteArray>{";$FILEVERSION=1.1", ";   Start time: x"}
                                   << QByteArray("NOdIlD");
    }

    void headerLines()
    {
        QFETCH(QList<QByteArray>, lines);
        QFETCH(QByteArray, columns);
        QCOMPARE(QByteArray::fromStdString(layoutOf(lines).columns), columns);
    }

    // Lines the version files above leave out: limits and damage.
    void records_data()
    {
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("read"); // describeFrame and time text; empty: no frame
        const QByteArray dt = "1 1.5 DT 1 0300 Rx - ";
        QTest::newRow("1.0 error frame") << QByteArray("1.0") << QByteArray("2) 1842 0008 4 ERROR 00")
                                         << QByteArray();
        QTest::newRow("1.0 warning") << QByteArray("1.0")
                                     << QByteArray("3) 1843 FFFFFFFF 4 00 00 00 04") << QByteArray();
        QTest::newRow("1.1 length above 8") << QByteArray("1.1")
                                            << QByteArray("1) 2.0 Rx 0001 9 " + counting(9))
                                            << QByteArray("2000 1 1 Rx c 8 0001020304050607 0.002000");
        QTest::newRow("bytes missing") << QByteArray("2.1") << dt + "4 AA"
                                       << QByteArray("1500 1 300 Rx c 4 AA000000 0.001500");
        QTest::newRow("a word among the bytes") << QByteArray("2.1") << dt + "2 AA XYZ"
                                                << QByteArray("1500 1 300 Rx c 2 AA00 0.001500");
        QTest::newRow("classic DLC 12 holds 8 bytes")
            << QByteArray("2.1") << dt + "12" + counting(8)
            << QByteArray("1500 1 300 Rx c 8 0001020304050607 0.001500");
        QTest::newRow("DLC 16") << QByteArray("2.1") << dt + "16" << QByteArray();
        QTest::newRow("2.0 length 65") << QByteArray("2.0")
                                       << QByteArray("1 1.5 FD 0300 Rx 65" + counting(65))
                                       << QByteArray();
        QTest::newRow("2.0 CAN FD length 10")
            << QByteArray("2.0") << QByteArray("1 1.5 FD 0300 Rx 10" + counting(10))
            << QByteArray("1500 1 300 Rx fd 10 00010203040506070809 0.001500");
        QTest::newRow("seven digits: extended") << QByteArray("2.1")
                                                << QByteArray("0 0.000 DT 2 0000005 Tx - 0")
                                                << QByteArray("0 2 5x Tx c 0 - 0.000000");
        QTest::newRow("bus 300") << QByteArray("2.1") << QByteArray("1 1.5 DT 300 0300 Rx - 0")
                                 << QByteArray("1500 255 300 Rx c 0 - 0.001500");
        QTest::newRow("identifier above 29 bits") << QByteArray("2.1")
                                                  << QByteArray("1 1.5 DT 1 20000000 Rx - 0")
                                                  << QByteArray();
        QTest::newRow("identifier 0x") << QByteArray("2.1") << QByteArray("1 1.5 DT 1 0x30 Rx - 0")
                                       << QByteArray();
        QTest::newRow("time no number") << QByteArray("2.1") << QByteArray("1 1,5 DT 1 0300 Rx - 0")
                                        << QByteArray();
        QTest::newRow("time with 4 decimals") << QByteArray("2.1")
                                              << QByteArray("1 0.0005 DT 1 0300 Rx - 0")
                                              << QByteArray("1 1 300 Rx c 0 - 0.000001");
        QTest::newRow("direction other") << QByteArray("2.1") << QByteArray("1 1.5 DT 1 0300 Rq - 0")
                                         << QByteArray();
        QTest::newRow("type unknown") << QByteArray("2.1") << QByteArray("1 1.5 XX 1 0300 Rx - 0")
                                      << QByteArray();
        QTest::newRow("columns missing") << QByteArray("2.1") << QByteArray("1 1.5 DT 1 0300 Rx")
                                         << QByteArray();
    }

    void records()
    {
        QFETCH(QByteArray, version);
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, read);
        const TrcParser::Layout layout = layoutOf({";$FILEVERSION=" + version});
        Vemi_CANFD_Data frame;
        const bool isFrame = TrcParser::parseLine(QLatin1String(line), layout, frame);
        QCOMPARE(isFrame, !read.isEmpty());
        if (isFrame)
            QCOMPARE(TestSupport::describeFrame(frame) + ' ' + frame.timeText, read);
        else
            QCOMPARE(QByteArray(reinterpret_cast<const char *>(&frame), sizeof frame),
                     QByteArray(sizeof frame, '\0'));
    }

    void versions_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < traceFiles().size(); ++i)
            QTest::newRow(traceFiles().at(i).name) << i;
    }

    // Each file as we read it, and as python-can reads it.
    void versions()
    {
        QFETCH(int, index);
        const TraceFile &file = traceFiles().at(index);
        const QString path = TestSupport::writeFile(dir.path(), QStringLiteral("v.trc"), file.text);
        const TestSupport::ParseRun run = TestSupport::parseOnWorker(path);
        QCOMPARE(run.describe().first(), QStringLiteral("progress 0 开始解析TRC文件..."));
        QCOMPARE(run.describe().last(), QStringLiteral("finished 1 TRC文件解析成功"));
        QCOMPARE(readFile(path), file.ours);

        if (!TestSupport::pythonCanAvailable())
            QSKIP("python-can is not installed");
        QCOMPARE(pythonReading(path), file.peerWrong ? file.peer : file.ours);
    }

    // What python-can's writer makes (version 2.1, classic data frames), as
    // both read it.
    void pythonCanFiles()
    {
        if (!TestSupport::pythonCanAvailable())
            QSKIP("python-can is not installed");
        const QString path = dir.filePath(QStringLiteral("written.trc"));
        bool ok = false;
        TestSupport::runPython(QStringLiteral(
            "import sys, can\n"
            "w = can.TRCWriter(sys.argv[1])\n"
            "for i in range(40):\n"
            "    w.on_message_received(can.Message(timestamp=1700000000 + i * 0.0123457,\n"
            "        arbitration_id=(i * 0x1234567) & (0x1FFFFFFF if i % 3 else 0x7FF),\n"
            "        is_extended_id=i % 3 != 0, is_rx=i % 4 != 1, channel=i % 3,\n"
            "        data=bytes(range(i % 9))))\n"
            "w.stop()\n"), {path}, &ok);
        QVERIFY(ok);
        const QStringList ours = readFile(path);
        QCOMPARE(ours.size(), 40);
        QCOMPARE(ours, pythonReading(path));
    }

private:
    static QStringList pythonReading(const QString &path)
    {
        bool ok = false;
        const QString output = QString::fromUtf8(TestSupport::runPython(
            TestSupport::pythonDescribe() + QStringLiteral(
                "import sys, can\n"
                "try:\n"
                "    for m in can.TRCReader(sys.argv[1]):\n"
                "        print(describe(m, 0, 0))\n"
                "except Exception:\n"
                "    print('!')\n"), {path}, &ok));
        if (!ok || output.contains(QLatin1Char('!')))
            return {};
        return output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
};

QTEST_GUILESS_MAIN(TestTrcParser)
#include "tst_trcparser.moc"
