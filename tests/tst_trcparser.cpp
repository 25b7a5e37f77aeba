// The PEAK trace reader: the header lines that choose the columns, the
// records of each file version (the fuzz seeds, written from the format's
// description), and python-can's reading of the same files.
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"
#include "trcparser.h"

namespace {

// The bytes first, first + 1, ... in hexadecimal, without blanks.
QString hexRun(int first, int count)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += QString::asprintf("%02X", (first + i) & 0xFF);
    return text;
}

TrcParser::Layout layoutOf(const QByteArray &headerLines)
{
    TrcParser::Layout layout;
    for (const QByteArray &line : headerLines.split('\n'))
        TrcParser::readHeaderLine(QLatin1String(line), layout);
    return layout;
}

QString seed(const char *name)
{
    return QStringLiteral(TAVRIX_TRC_SEEDS "/") + QLatin1String(name);
}

// Our reading of each seed; where python-can 4.1 reads a file otherwise,
// peerWrong says why and peer is its reading, "!" where it stopped.
struct SeedFile
{
    const char *name;
    QStringList ours;
    const char *peerWrong;
    QStringList peer;
};

} // namespace

Q_DECLARE_METATYPE(SeedFile)

class TestTrcParser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerFrameMetaTypes(); }

    void headerLines_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QByteArray>("columns");
        const char *const rows[][3] = {
            {"no header: version 1.0", "", "NOIlD"},
            {"1.1", ";$FILEVERSION=1.1", "NOdIlD"},
            {"1.2", ";$FILEVERSION=1.2", "NOBdIlD"},
            {"1.3", ";$FILEVERSION=1.3", "NOBdIRlD"},
            {"2.0", ";$FILEVERSION=2.0", "NOTIdlD"},
            {"2.1, comments", ";$FILEVERSION=2.1\n;$STARTTIME=42209.4\n;   Start: x", "NOTBIdRLD"},
            {"unknown version", ";$FILEVERSION=3.0", "NOIlD"},
            {"columns", ";$FILEVERSION=2.1\n;$COLUMNS=N,O,T,I,d,L,D", "NOTIdLD"},
            {"columns first", ";$COLUMNS=O,T,I,d,l,D\n;$FILEVERSION=2.1", "OTIdlD"},
            {"columns, no length", ";$FILEVERSION=2.1\n;$COLUMNS=N,O,T,I,d,D", "NOTBIdRLD"},
            {"columns, data not last", ";$FILEVERSION=2.1\n;$COLUMNS=O,T,I,d,D,L", "NOTBIdRLD"},
            {"columns, one twice", ";$FILEVERSION=2.1\n;$COLUMNS=O,O,T,I,d,L,D", "NOTBIdRLD"},
            {"columns, two letters", ";$FILEVERSION=2.1\n;$COLUMNS=O,TI,d,L,D", "NOTBIdRLD"},
        };
        for (const auto &row : rows)
            QTest::newRow(row[0]) << QByteArray(row[1]) << QByteArray(row[2]);
    }

    void headerLines()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QByteArray, columns);
        QCOMPARE(QByteArray::fromStdString(layoutOf(lines).columns), columns);
    }

    // Limits and damage; the record stays zero when the line is no frame.
    void records_data()
    {
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("read"); // describeFrame and time text; empty: no frame
        const char *const rows[][4] = {
            {"length 9 in 1.1", "1.1", "1) 2.0 Rx 0001 9 00 01 02 03 04 05 06 07 08",
             "2000 1 1 Rx c 8 0001020304050607 0.002000"},
            {"bytes missing", "2.1", "1 1.5 DT 1 0300 Rx - 4 AA",
             "1500 1 300 Rx c 4 AA000000 0.001500"},
            {"word among bytes", "2.1", "1 1.5 DT 1 0300 Rx - 2 AA XY",
             "1500 1 300 Rx c 2 AA00 0.001500"},
            {"classic DLC 12", "2.1", "1 1.5 DT 1 0300 Rx - 12",
             "1500 1 300 Rx c 8 0000000000000000 0.001500"},
            {"DLC 16", "2.1", "1 1.5 FD 1 0300 Rx - 16", ""},
            {"CAN FD of 10 bytes in 2.0", "2.0", "1 1.5 FD 0300 Rx 10 0A",
             "1500 1 300 Rx fd 10 0A000000000000000000 0.001500"},
            {"CAN FD of 65 bytes", "2.0", "1 1.5 FD 0300 Rx 65", ""},
            {"seven digits: extended", "2.1", "0 0 DT 2 0000005 Tx - 0",
             "0 2 5x Tx c 0 - 0.000000"},
            {"bus 300", "2.1", "1 1.5 DT 300 0300 Rx - 0", "1500 255 300 Rx c 0 - 0.001500"},
            {"half a microsecond", "2.1", "1 0.0005 DT 1 0300 Rx - 0",
             "1 1 300 Rx c 0 - 0.000001"},
            {"identifier of 30 bits", "2.1", "1 1.5 DT 1 20000000 Rx - 0", ""},
            {"identifier 0x", "2.1", "1 1.5 DT 1 0x30 Rx - 0", ""},
            {"time 1,5", "2.1", "1 1,5 DT 1 0300 Rx - 0", ""},
            {"direction Rq", "2.1", "1 1.5 DT 1 0300 Rq - 0", ""},
            {"columns missing", "2.1", "1 1.5 DT 1 0300 Rx", ""},
        };
        for (const auto &row : rows)
            QTest::newRow(row[0])
                << QByteArray(row[1]) << QByteArray(row[2]) << QByteArray(row[3]);
    }

    void records()
    {
        QFETCH(QByteArray, version);
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, read);
        Vemi_CANFD_Data frame;
        const bool isFrame =
            TrcParser::parseLine(QLatin1String(line), layoutOf(";$FILEVERSION=" + version), frame);
        QCOMPARE(TestSupport::describeLine(isFrame, frame), read);
    }

    void versions_data()
    {
        QTest::addColumn<SeedFile>("file");
        const QString fd12 = QStringLiteral("1298945 1 1ABCDEF0x Rx fd 12 ") + hexRun(1, 12);
        const QStringList v1{"1841000 1 1 Rx c 8 0011223344556677",
                             "1845600 1 1ABCDEF0x Tx c 2 1122", "1846100 1 100r Rx c 3 -"};
        const QStringList v2{"1059900 1 300 Rx c 7 00000000040000", "1283231 2 300r Tx c 3 -",
                             fd12, "1300000 3 400 Rx fd+brs 1 AA",
                             "1301000 1 401 Tx fd+esi 2 AABB", "1302000 1 402 Rx fd+brs+esi 0 -"};
        const SeedFile files[] = {
            {"version-1.0.trc",
             {"1841000 1 1 Rx c 8 0000000000000000", "1844000 1 100r Rx c 3 -"},
             "python-can 4.1 takes ERROR for a data byte and stops",
             {"1841000 1 1 Rx c 8 0000000000000000", "!"}},
            {"version-1.1.trc", v1, "python-can 4.1 takes RTR for a data byte and stops",
             {v1.at(0), v1.at(1), "!"}},
            {"version-1.3.trc",
             {"1841100 1 1 Rx c 8 0011223344556677", "1842300 2 1ABCDEF0x Tx c 2 1122",
              "1844100 1 100r Rx c 3 -"},
             "python-can 4.1 reads version 1.3 as 1.0 and stops", {"!"}},
            // The same records on one bus.
            {"version-2.0.trc",
             QStringList(v2).replaceInStrings(QRegularExpression("^(\\d+) \\d "), "\\1 1 "),
             "python-can 4.1 reads version 2.0 as 1.0 and stops", {"!"}},
            {"version-2.1.trc", v2, "python-can 4.1 passes over remote and CAN FD records",
             {v2.at(0)}},
            {"fd-and-columns.trc",
             {"1298945 1 1ABCDEF0x Rx fd 64 " + hexRun(0, 64),
              "1300000 2 400 Tx fd+brs+esi 12 " + hexRun(0, 12), "1301500 1 401 Tx fd+esi 2 AABB"},
             "python-can 4.1 passes over CAN FD records", {}},
        };
        for (const SeedFile &file : files)
            QTest::newRow(file.name) << file;
    }

    void versions()
    {
        QFETCH(SeedFile, file);
        const TestSupport::ParseRun run = TestSupport::parseOnWorker(seed(file.name));
        QCOMPARE(run.describe().first(), QStringLiteral("progress 0 开始解析TRC文件..."));
        QCOMPARE(run.describe().last(), QStringLiteral("finished 1 TRC文件解析成功"));
        QCOMPARE(described(run.frames()), file.ours);
        if (!TestSupport::pythonCanAvailable())
            QSKIP("python-can is not installed");
        QCOMPARE(pythonReading(seed(file.name)), file.peerWrong ? file.peer : file.ours);
    }

    // What python-can's writer makes (version 2.1, classic data frames on
    // three buses), as both read it.
    void pythonCanFiles()
    {
        if (!TestSupport::pythonCanAvailable())
            QSKIP("python-can is not installed");
        QTemporaryDir dir;
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
        const QStringList ours = described(TestSupport::parseOnWorker(path).frames());
        QCOMPARE(ours.size(), 40);
        QCOMPARE(ours, pythonReading(path));
    }

private:
    static QStringList described(const QVector<Vemi_CANFD_Data> &frames)
    {
        QStringList lines;
        for (const Vemi_CANFD_Data &frame : frames)
            lines << QString::fromLatin1(TestSupport::describeFrame(frame));
        return lines;
    }

    static QStringList pythonReading(const QString &path)
    {
        const QString output = QString::fromUtf8(TestSupport::runPython(
            TestSupport::pythonDescribe() + QStringLiteral(
                "import sys, can\n"
                "try:\n"
                "    for m in can.TRCReader(sys.argv[1]):\n"
                "        print(describe(m, 0, 0))\n"
                "except Exception:\n"
                "    print('!')\n"), {path}));
        return output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
};

QTEST_GUILESS_MAIN(TestTrcParser)
#include "tst_trcparser.moc"
