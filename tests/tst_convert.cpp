#include <algorithm>
#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QtTest>

#include "blfbytes.h"
#include "candataexporter.h"
#include "csvwriter.h"
#include "framefilter.h"
#include "frameoverview.h"
#include "sampleframes.h"
#include "testsupport.h"

// tavrix-convert as users run it: a separate process, judged by its exit
// status, its standard error and the files it leaves.
namespace {

struct ToolRun
{
    int exitCode = -1;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    QByteArray out;
    QStringList errorLines;
};

ToolRun finish(QProcess &process)
{
    if (!process.waitForFinished(120000))
        process.kill();
    process.waitForFinished();
    ToolRun run;
    run.exitCode = process.exitCode();
    run.exitStatus = process.exitStatus();
    run.out = process.readAllStandardOutput();
    const QString error = QString::fromUtf8(process.readAllStandardError());
    run.errorLines = error.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return run;
}

void start(QProcess &process, const QString &workingDir, const QStringList &arguments)
{
    process.setWorkingDirectory(workingDir);
    process.start(QStringLiteral(TAVRIX_CONVERT), arguments);
    QVERIFY(process.waitForStarted());
}

ToolRun runTool(const QString &workingDir, const QStringList &arguments)
{
    QProcess process;
    start(process, workingDir, arguments);
    return finish(process);
}

// A log of the sample frames, written by the exporter; sorted by identifier,
// its frames are out of time order.
QString makeLog(const QString &dir, const QString &name, ExportFormat format, int count = 300,
                SortOrder order = SortOrder::None)
{
    const QString path = QDir(dir).filePath(name);
    CanDataExporter exporter;
    if (!exporter.exportData(SampleFrames::varied(count), format, order, path))
        qFatal("cannot write the test log %s", qPrintable(path));
    return path;
}

// The bytes of an output with the time of the export taken out: the ASC date
// line, the CSV clock column, the BLF header's start and stop times; a candump
// log has none.
QByteArray withoutExportTime(const QByteArray &bytes, ExportFormat format)
{
    if (format == ExportFormat::Candump)
        return bytes;
    if (format == ExportFormat::Blf)
        return QByteArray(bytes).replace(40, 32, QByteArray(32, '\0'));
    QList<QByteArray> lines = bytes.split('\n');
    if (format == ExportFormat::Asc) {
        // The date line and the trigger block's opening line carry the time.
        const auto timed = [](const QByteArray &line) {
            return line.startsWith("date ") || line.startsWith("Begin Triggerblock ");
        };
        lines.erase(std::remove_if(lines.begin(), lines.end(), timed), lines.end());
        return lines.join('\n');
    }
    for (int i = 1; i < lines.size(); ++i) {
        QList<QByteArray> fields = lines[i].split(',');
        if (fields.size() > 1)
            fields[1].clear();
        lines[i] = fields.join(',');
    }
    return lines.join('\n');
}

QStringList listing(const QString &dir)
{
    QStringList names;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names << QDir(dir).relativeFilePath(it.next());
    names.sort();
    return names;
}

// Waits until the process writes a line holding text to standard error.
bool waitForError(QProcess &process, const QByteArray &text, QByteArray &seen)
{
    process.setReadChannel(QProcess::StandardError);
    while (!seen.contains(text)) {
        if (!process.waitForReadyRead(60000))
            return false;
        seen += process.readAllStandardError();
    }
    return true;
}

} // namespace

class TestConvert : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Children inherit ignored signals: a suite started in the background
        // would otherwise run the converter deaf to SIGINT.
        std::signal(SIGINT, SIG_DFL);
        // Feeding a pipe whose reader has gone must fail, not end the test.
        std::signal(SIGPIPE, SIG_IGN);
        registerFrameMetaTypes();
    }

    // Every conversion must be what the window's exporter writes for the
    // frames the window's reader delivers, with the same settings.
    void matchesTheExporter_data()
    {
        QTest::addColumn<int>("inputFormat");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("outputName");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("order");
        QTest::addColumn<bool>("chinese");
        QTest::addColumn<bool>("outOfTimeOrder");
        const int asc = int(ExportFormat::Asc), csv = int(ExportFormat::Csv),
                  blf = int(ExportFormat::Blf), candump = int(ExportFormat::Candump);
        QTest::newRow("asc to csv, Chinese header")
            << asc << QStringList{"--language", "zh"} << "out.csv" << csv << 0 << true << false;
        QTest::newRow("csv to asc, ascending, suffix in capitals")
            << csv << QStringList{"-s", "ascending"} << "out.ASC" << asc << 1 << false << false;
        QTest::newRow("blf to blf, descending")
            << blf << QStringList{"--sort", "descending"} << "out.blf" << blf << 2 << false
            << false;
        QTest::newRow("asc to blf, format named, no suffix")
            << asc << QStringList{"-f", "BLF"} << "out" << blf << 0 << false << false;
        QTest::newRow("candump to blf")
            << candump << QStringList{} << "out.blf" << blf << 0 << false << false;
        QTest::newRow("csv to candump, format named, descending")
            << csv << QStringList{"-f", "candump", "-s", "descending"} << "out" << candump << 2
            << false << false;
        QTest::newRow("blf to csv, English header")
            << blf << QStringList{"--language", "en", "-q"} << "out.csv" << csv << 0 << false
            << false;
        // The first frame is not the earliest: the converter, which takes the
        // first frame's time as the origin while it streams, must start over
        // with the earliest one.
        QTest::newRow("asc out of time order to csv")
            << asc << QStringList{} << "out.csv" << csv << 0 << false << true;
        QTest::newRow("csv out of time order to asc")
            << csv << QStringList{} << "out.asc" << asc << 0 << false << true;
    }

    void matchesTheExporter()
    {
        QFETCH(int, inputFormat);
        QFETCH(QStringList, options);
        QFETCH(QString, outputName);
        QFETCH(int, format);
        QFETCH(int, order);
        QFETCH(bool, chinese);
        QFETCH(bool, outOfTimeOrder);
        QTemporaryDir dir;
        static const char *const suffixes[] = {"asc", "csv", "blf", "log"};
        const QString input = makeLog(dir.path(), QStringLiteral("in.") + suffixes[inputFormat],
                                      ExportFormat(inputFormat), 2500,
                                      outOfTimeOrder ? SortOrder::Descending : SortOrder::None);

        const ToolRun run =
            runTool(dir.path(), options + QStringList{"in." + QString(suffixes[inputFormat]),
                                                      "-o", outputName});
        QCOMPARE(run.exitStatus, QProcess::NormalExit);
        QCOMPARE(run.exitCode, 0);
        if (options.contains(QStringLiteral("-q"))) {
            QCOMPARE(run.errorLines, QStringList());
        } else {
            QCOMPARE(run.errorLines.size(), 1);
            QVERIFY2(run.errorLines[0].contains(QRegularExpression(
                         " -> out.*: 2500 frames read, 2500 written, [0-9.]+ s$")),
                     qPrintable(run.errorLines[0]));
        }

        const QVector<Vemi_CANFD_Data> frames = TestSupport::parseOnWorker(input).frames();
        if (outOfTimeOrder)
            QVERIFY(frames.constFirst().timestamp > frames.constLast().timestamp);
        QTranslator translator;
        if (chinese) {
            QVERIFY(translator.load(QStringLiteral(":/Translation/Tavrix_zh_CN.qm")));
            QCoreApplication::installTranslator(&translator);
        }
        const QString reference = dir.filePath(QStringLiteral("reference"));
        CanDataExporter exporter;
        QVERIFY(exporter.exportData(frames, ExportFormat(format), SortOrder(order), reference));
        QCoreApplication::removeTranslator(&translator);

        const QByteArray written = TestSupport::readFile(dir.filePath(outputName));
        QCOMPARE(withoutExportTime(written, ExportFormat(format)),
                 withoutExportTime(TestSupport::readFile(reference), ExportFormat(format)));
        if (chinese)
            QVERIFY(written.startsWith(QStringLiteral("方向(0:接收 ").toUtf8()));
    }

    // --filter writes what the exporter writes for the frames the filter
    // passes, streamed or sorted; none passing is a failure with no file.
    void filter_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("order");
        QTest::addColumn<bool>("outOfTimeOrder");
        QTest::newRow("streamed, identifiers and direction")
            << "100-3FF,18DA0000-18DA00FFx tx" << QStringList{} << 0 << false;
        QTest::newRow("sorted, time and protocol")
            << "t 0.5-1.2 fd" << QStringList{"-s", "ascending"} << 1 << false;
        QTest::newRow("streamed out of time order, time from the first frame")
            << "t -0.001 !18DA0011x" << QStringList{} << 0 << true;
        QTest::newRow("sorted, data bytes") << "data ?? 00" << QStringList{"-s", "descending"}
                                            << 2 << false;
        QTest::newRow("streamed, nothing matches") << "t 100-" << QStringList{} << 0 << false;
        QTest::newRow("sorted, nothing matches")
            << "7FF 18DA0000x" << QStringList{"-s", "ascending"} << 1 << false;
    }

    void filter()
    {
        QFETCH(QString, expression);
        QFETCH(QStringList, options);
        QFETCH(int, order);
        QFETCH(bool, outOfTimeOrder);
        QTemporaryDir dir;
        const QString input = makeLog(dir.path(), QStringLiteral("in.asc"), ExportFormat::Asc,
                                      2500,
                                      outOfTimeOrder ? SortOrder::Descending : SortOrder::None);
        const QVector<Vemi_CANFD_Data> frames = TestSupport::parseOnWorker(input).frames();
        const FrameFilter filter = FrameFilter::parse(expression);
        QVERIFY(filter.isValid());
        QVector<Vemi_CANFD_Data> expected;
        for (const uint32_t row : filter.select(FrameSnapshot(frames)))
            expected << frames.at(int(row));
        QVERIFY(expected.size() < frames.size());

        const ToolRun run = runTool(dir.path(), options + QStringList{"--filter", expression,
                                                                      "in.asc", "-o", "out.csv"});
        QCOMPARE(run.exitStatus, QProcess::NormalExit);
        QCOMPARE(run.errorLines.size(), 1);
        if (expected.isEmpty()) {
            QCOMPARE(run.exitCode, 1);
            QVERIFY2(run.errorLines[0].endsWith(
                         QStringLiteral("in.asc: no frame matches the filter; nothing written")),
                     qPrintable(run.errorLines[0]));
            QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("out.csv"))));
            return;
        }
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.errorLines[0].contains(
                     QStringLiteral(": 2500 frames read, %1 written, ").arg(expected.size())),
                 qPrintable(run.errorLines[0]));
        const QString reference = dir.filePath(QStringLiteral("reference"));
        CanDataExporter exporter;
        QVERIFY(exporter.exportData(expected, ExportFormat::Csv, SortOrder(order), reference));
        QCOMPARE(withoutExportTime(TestSupport::readFile(dir.filePath(QStringLiteral("out.csv"))),
                                   ExportFormat::Csv),
                 withoutExportTime(TestSupport::readFile(reference), ExportFormat::Csv));
    }

    // --overview prints what FrameOverview makes of the frames read, of those
    // the filter passes with --filter, and converts nothing.
    void overview_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("expression");
        QTest::newRow("to standard output") << QStringList{} << "";
        QTest::newRow("to a file") << QStringList{"-o", "overview.csv"} << "";
        QTest::newRow("filtered") << QStringList{"--filter", "fd !100-1FF"} << "fd !100-1FF";
    }

    void overview()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, expression);
        QTemporaryDir dir;
        const QString input = makeLog(dir.path(), QStringLiteral("in.blf"), ExportFormat::Blf,
                                      2000);
        const FrameSnapshot frames(TestSupport::parseOnWorker(input).frames());
        const FrameFilter filter = FrameFilter::parse(expression);
        const FrameSnapshot passed = frames.selected(
            std::make_shared<const std::vector<uint32_t>>(filter.select(frames)));
        QVERIFY(passed.size() > 0);
        const QByteArray expected = FrameOverview::of(passed).csv().toUtf8();

        const ToolRun run = runTool(dir.path(), options + QStringList{"--overview", "in.blf"});
        QCOMPARE(run.exitStatus, QProcess::NormalExit);
        QCOMPARE(run.exitCode, 0);
        const bool toFile = options.contains(QStringLiteral("-o"));
        QCOMPARE(toFile ? TestSupport::readFile(dir.filePath(QStringLiteral("overview.csv")))
                        : run.out,
                 expected);
        QCOMPARE(listing(dir.path()),
                 toFile ? QStringList({"in.blf", "overview.csv"}) : QStringList{"in.blf"});
        QVERIFY(expected.count('\n') > 10);
    }

    void convertsAFolder()
    {
        QTemporaryDir dir;
        QDir(dir.path()).mkpath(QStringLiteral("logs/nested"));
        makeLog(dir.path(), QStringLiteral("logs/c.Blf"), ExportFormat::Blf, 30);
        makeLog(dir.path(), QStringLiteral("logs/a.asc"), ExportFormat::Asc, 10);
        makeLog(dir.path(), QStringLiteral("logs/b.CSV"), ExportFormat::Csv, 20);
        makeLog(dir.path(), QStringLiteral("logs/nested/d.asc"), ExportFormat::Asc, 5);
        makeLog(dir.path(), QStringLiteral("logs/d.log"), ExportFormat::Candump, 40);
        TestSupport::writeFile(dir.filePath(QStringLiteral("logs")), QStringLiteral("e.TRC"),
                               ";$FILEVERSION=1.1\r\n 1) 1.5 Rx 0123 1 AA\r\n");
        TestSupport::writeFile(dir.filePath(QStringLiteral("logs")), QStringLiteral("notes.txt"),
                               "not a log");

        const ToolRun run = runTool(dir.path(), {"-f", "asc", "logs", "-o", "out/asc"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(listing(dir.filePath(QStringLiteral("out"))),
                 QStringList({"asc", "asc/a.asc", "asc/b.asc", "asc/c.asc", "asc/d.asc",
                              "asc/e.asc"}));
        QCOMPARE(run.errorLines.size(), 5);
        QVERIFY(run.errorLines[0].startsWith(QStringLiteral("logs/a.asc -> out/asc/a.asc: 10 ")));
        QVERIFY(run.errorLines[1].startsWith(QStringLiteral("logs/b.CSV -> out/asc/b.asc: 20 ")));
        QVERIFY(run.errorLines[2].startsWith(QStringLiteral("logs/c.Blf -> out/asc/c.asc: 30 ")));
        QVERIFY(run.errorLines[3].startsWith(QStringLiteral("logs/d.log -> out/asc/d.asc: 40 ")));
        QVERIFY(run.errorLines[4].startsWith(QStringLiteral("logs/e.TRC -> out/asc/e.asc: 1 ")));
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("reason");
        QTest::newRow("nothing") << QStringList() << "no input";
        QTest::newRow("no output") << QStringList{"a.asc"} << "no output";
        QTest::newRow("unknown option") << QStringList{"--fast", "a.asc", "-o", "x.csv"}
                                        << "Unknown option";
        QTest::newRow("unknown format") << QStringList{"-f", "xls", "a.asc", "-o", "x.xls"}
                                        << "unknown format";
        QTest::newRow("unknown order") << QStringList{"-s", "random", "a.asc", "-o", "x.csv"}
                                       << "unknown sort order";
        QTest::newRow("unknown language")
            << QStringList{"--language", "de", "a.asc", "-o", "x.csv"} << "unknown language";
        QTest::newRow("no format for a folder") << QStringList{"a.asc", "b.csv", "-o", "out"}
                                                << "--format";
        QTest::newRow("no format in the name") << QStringList{"a.asc", "-o", "x.txt"}
                                               << "cannot tell the format";
        QTest::newRow("a format read only, named")
            << QStringList{"-f", "trc", "a.asc", "-o", "x.trc"}
            << "unknown format 'trc' (use asc, csv, blf or candump)";
        QTest::newRow("a format read only, in the name") << QStringList{"a.asc", "-o", "x.trc"}
                                                         << "cannot tell the format";
        QTest::newRow("folder output is a file")
            << QStringList{"-f", "csv", "a.asc", "b.csv", "-o", "notes.txt"} << "not a folder";
        QTest::newRow("same base name") << QStringList{"-f", "blf", "a.asc", "logs", "-o", "out"}
                                        << "would both be written to out/a.blf";
        QTest::newRow("output is the input") << QStringList{"a.asc", "-o", "./logs/../a.asc"}
                                             << "would overwrite the input a.asc";
        QTest::newRow("bad filter") << QStringList{"--filter", "ch x", "a.asc", "-o", "x.csv"}
                                    << "bad --filter: 'ch' needs channel numbers";
        QTest::newRow("overview of two files")
            << QStringList{"--overview", "a.asc", "b.csv"} << "--overview takes one input file";
        QTest::newRow("overview of a folder")
            << QStringList{"--overview", "logs"} << "--overview takes one input file";
        QTest::newRow("overview onto its input")
            << QStringList{"--overview", "b.csv", "-o", "link.asc"}
            << "would overwrite the input b.csv";
        QTest::newRow("output is a hard link to the input")
            << QStringList{"-f", "asc", "b.csv", "-o", "link.asc"}
            << "would overwrite the input b.csv";
        QTest::newRow("signals without a database") << QStringList{"--signals", "a.asc", "-o",
                                                                   "x.csv"}
                                                    << "--signals needs a database";
        QTest::newRow("signals to ASC")
            << QStringList{"--dbc", "car.dbc", "--signals=long", "a.asc", "-o", "x.asc"}
            << "--signals writes CSV";
        QTest::newRow("unknown signal table")
            << QStringList{"--dbc", "car.dbc", "--signals=tall", "a.asc", "-o", "x.csv"}
            << "unknown signal table 'tall'";
    }

    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        makeLog(dir.path(), QStringLiteral("a.asc"), ExportFormat::Asc, 3);
        makeLog(dir.path(), QStringLiteral("b.csv"), ExportFormat::Csv, 3);
        QDir(dir.path()).mkdir(QStringLiteral("logs"));
        makeLog(dir.path(), QStringLiteral("logs/a.blf"), ExportFormat::Blf, 3);
        TestSupport::writeFile(dir.path(), QStringLiteral("notes.txt"), "notes");
        QVERIFY(::link(QFile::encodeName(dir.filePath(QStringLiteral("b.csv"))).constData(),
                       QFile::encodeName(dir.filePath(QStringLiteral("link.asc"))).constData())
                == 0);
        const QStringList before = listing(dir.path());
        const QByteArray input = TestSupport::readFile(dir.filePath(QStringLiteral("b.csv")));

        const ToolRun run = runTool(dir.path(), arguments);
        QCOMPARE(run.exitStatus, QProcess::NormalExit);
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.errorLines.size(), 1);
        QVERIFY2(run.errorLines[0].startsWith(QStringLiteral("tavrix-convert: "))
                     && run.errorLines[0].contains(reason),
                 qPrintable(run.errorLines[0]));
        QVERIFY(run.out.isEmpty());
        QCOMPARE(listing(dir.path()), before);
        QCOMPARE(TestSupport::readFile(dir.filePath(QStringLiteral("b.csv"))), input);
    }

    // --dbc names the frames of CSV output; --signals writes what the
    // database decodes instead. The values, worked out by hand from
    // TestSupport::sampleDbc() and sampleDbcLog():
    //   Engine 10 27 FF ...: Speed = 0x2710 (Intel, bytes 0-1) * 0.1 = 1000;
    //     Temp = byte 2 (Motorola from bit 23, 8 bits) 0xFF signed -1, - 40 = -41.
    //   Door 01 01: Mode = 1 selects Open = bit 8 = 1; Angle absent.
    //   0x123: no message, so no signal line and a blank name.
    //   Door 02 50: Mode = 2 selects Angle = 0x50 * 0.5 = 40; Open absent.
    // Times count from the first frame, 0.010 s.
    void databases_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray header = CsvWriter::header().toUtf8();
        QTest::newRow("names") << QStringList{"--dbc", "car.dbc"}
            << header + "0,,Engine,0x00000100,0,0,0,8,10 27 FF 00 00 00 00 00 \n"
                        "0,,Door,0x00000200,0,0,1,2,01 01 \n"
                        "0,, ,0x00000123,0,0,0,1,55 \n"
                        "0,,Door,0x00000200,0,0,1,2,02 50 \n";
        const QByteArray wide = "Time,Message,Engine.Speed,Engine.Temp,Door.Mode,Door.Open,"
                                "Door.Angle\n"
                                "0.000000,Engine,1000,-41,,,\n"
                                "0.010000,Door,,,1,1,\n"
                                "0.030000,Door,,,2,,40\n";
        QTest::newRow("wide") << QStringList{"--dbc", "car.dbc", "--signals"} << wide;
        QTest::newRow("long") << QStringList{"--dbc", "car.dbc", "--signals=long"}
            << QByteArray("Time,Message,Signal,Value,Unit\n"
                          "0.000000,Engine,Speed,1000,km/h\n"
                          "0.000000,Engine,Temp,-41,degC\n"
                          "0.010000,Door,Mode,1,\n"
                          "0.010000,Door,Open,1,\n"
                          "0.030000,Door,Mode,2,\n"
                          "0.030000,Door,Angle,40,deg\n");
        // The filter's name terms ask the databases; times count from the
        // first frame written.
        QTest::newRow("long, filtered by name")
            << QStringList{"--dbc", "car.dbc", "--signals=long", "--filter", "name D*r"}
            << QByteArray("Time,Message,Signal,Value,Unit\n"
                          "0.000000,Door,Mode,1,\n"
                          "0.000000,Door,Open,1,\n"
                          "0.020000,Door,Mode,2,\n"
                          "0.020000,Door,Angle,40,deg\n");
        // 0x123 = 0x55 = 85; a unit with a comma is quoted.
        QTest::newRow("long, sorted, two databases")
            << QStringList{"--dbc", "car.dbc", "--dbc", "more.dbc", "--signals=long", "-s",
                           "ascending"}
            << QByteArray("Time,Message,Signal,Value,Unit\n"
                          "0.000000,Engine,Speed,1000,km/h\n"
                          "0.000000,Engine,Temp,-41,degC\n"
                          "0.020000,Odd,Level,85,\"a,\"\"b\"\"\"\n"
                          "0.010000,Door,Mode,1,\n"
                          "0.010000,Door,Open,1,\n"
                          "0.030000,Door,Mode,2,\n"
                          "0.030000,Door,Angle,40,deg\n");
    }

    void databases()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, expected);
        QTemporaryDir dir;
        TestSupport::writeFile(dir.path(), QStringLiteral("car.dbc"), TestSupport::sampleDbc());
        // A second file adds 0x123, with a unit that needs quotes.
        TestSupport::writeFile(dir.path(), QStringLiteral("more.dbc"),
                               "BO_ 291 Odd: 1 ECU\n"
                               " SG_ Level : 0|8@1+ (1,0) [0|0] \"a,\\\"b\\\"\" ECU\n");
        TestSupport::writeFile(dir.path(), QStringLiteral("log.asc"),
                               TestSupport::sampleDbcLog());
        const ToolRun run = runTool(dir.path(), options + QStringList{"-q", "log.asc", "-o",
                                                                      "out.csv"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.errorLines, QStringList());
        // Only the frames carry the clock of the export.
        const QByteArray written = TestSupport::readFile(dir.filePath("out.csv"));
        QCOMPARE(expected.startsWith("Time,") ? written
                                              : withoutExportTime(written, ExportFormat::Csv),
                 expected);
        // Our CSV reader takes the named file back as the frames it holds.
        if (!expected.startsWith("Time,")) {
            QCOMPARE(TestSupport::parseOnWorker(dir.filePath("out.csv")).identifiers(),
                     TestSupport::parseOnWorker(dir.filePath("log.asc")).identifiers());
        }
    }

    // A database that does not load stops the run before any output, with
    // the file, line and column of the fault.
    void badDatabase_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << QByteArray() << "cannot load the database gone.dbc";
        QTest::newRow("broken signal")
            << QByteArray("VERSION \"\"\nBO_ 256 Engine: 8 ECU\n SG_ Speed : 0|16@1+ (0.1 "
                          "[0|1] \"\" ECU\n")
            << "cannot load the database bad.dbc:3:";
    }

    void badDatabase()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString name = content.isEmpty() ? "gone.dbc" : "bad.dbc";
        if (!content.isEmpty())
            TestSupport::writeFile(dir.path(), name, content);
        TestSupport::writeFile(dir.path(), QStringLiteral("log.asc"),
                               TestSupport::sampleDbcLog());
        const QStringList before = listing(dir.path());
        const ToolRun run = runTool(dir.path(), {"--dbc", name, "log.asc", "-o", "out.csv"});
        QCOMPARE(run.exitStatus, QProcess::NormalExit);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.errorLines.size(), 1);
        QVERIFY2(run.errorLines[0].startsWith("tavrix-convert: " + reason),
                 qPrintable(run.errorLines[0]));
        QCOMPARE(listing(dir.path()), before);
    }

    // Each bad input fails on its own with its reason; the good ones convert.
    // An output the exporter cannot open belongs to someone else and stays.
    void failuresDoNotStopTheOthers()
    {
        QTemporaryDir dir;
        makeLog(dir.path(), QStringLiteral("good.asc"), ExportFormat::Asc, 40);
        makeLog(dir.path(), QStringLiteral("blocked.asc"), ExportFormat::Asc, 40);
        makeLog(dir.path(), QStringLiteral("last.csv"), ExportFormat::Csv, 50);
        TestSupport::writeFile(dir.path(), QStringLiteral("empty.asc"),
                               "date Mon Jan 01 00:00:00 AM 2024\nEnd Triggerblock\n");
        TestSupport::writeFile(dir.path(), QStringLiteral("broken.blf"), "not a BLF file");
        TestSupport::writeFile(dir.path(), QStringLiteral("notes.txt"), "some notes");
        QDir(dir.path()).mkpath(QStringLiteral("out/blocked.blf"));

        const ToolRun run = runTool(dir.path(),
            {"-f", "blf", "good.asc", "missing.asc", "notes.txt", "empty.asc", "broken.blf",
             "blocked.asc", "last.csv", "-o", "out"});
        QCOMPARE(run.exitStatus, QProcess::NormalExit);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(listing(dir.filePath(QStringLiteral("out"))),
                 QStringList({"blocked.blf", "good.blf", "last.blf"}));
        QCOMPARE(TestSupport::parseOnWorker(dir.filePath(QStringLiteral("out/last.blf")))
                     .frames().size(), 50);
        const QStringList expected{
            "good.asc -> out/good.blf: 40 frames read",
            "tavrix-convert: missing.asc: the file does not exist",
            "tavrix-convert: notes.txt: unsupported format; readable formats: *.asc *.csv *.blf *.log *.trc",
            "tavrix-convert: empty.asc: no frames in the file; nothing written",
            "tavrix-convert: broken.blf: not a BLF file",
            "tavrix-convert: blocked.asc: cannot write out/blocked.blf: the file could not be "
            "written (",
            "last.csv -> out/last.blf: 50 frames read"};
        QCOMPARE(run.errorLines.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i)
            QVERIFY2(run.errorLines[i].startsWith(expected[i]), qPrintable(run.errorLines[i]));
    }

    // A log that ends early converts as far as it can be read; without
    // --allow-truncated it fails, in frame order and sorted alike, and its
    // output stays.
    void endsEarly_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("BLF") << "cut.blf" << QStringList() << 1;
        QTest::newRow("BLF, sorted") << "cut.blf" << QStringList{"-s", "ascending"} << 1;
        QTest::newRow("BLF, allowed") << "cut.blf" << QStringList{"--allow-truncated"} << 0;
        QTest::newRow("CSV") << "cut.csv" << QStringList() << 1;
        QTest::newRow("CSV, filtered") << "cut.csv" << QStringList{"--filter", "t 0-"} << 1;
        QTest::newRow("CSV, allowed, quiet")
            << "cut.csv" << QStringList{"--allow-truncated", "-q"} << 0;
        QTest::newRow("ASC, sorted, allowed")
            << "cut.asc" << QStringList{"-s", "descending", "--allow-truncated"} << 0;
    }

    void endsEarly()
    {
        QFETCH(QString, input);
        QFETCH(QStringList, options);
        QFETCH(int, exitCode);
        QTemporaryDir dir;
        const ExportFormat format = input.endsWith(QLatin1String("blf")) ? ExportFormat::Blf
                                    : input.endsWith(QLatin1String("csv")) ? ExportFormat::Csv
                                                                          : ExportFormat::Asc;
        const QString path = makeLog(dir.path(), input, format, 3000);
        QVERIFY(QFile::resize(path, QFileInfo(path).size() / 2));
        const qint64 frames = TestSupport::parseOnWorker(path).frames().size();
        QVERIFY(frames > 0 && frames < 3000);

        const ToolRun run = runTool(dir.path(), options + QStringList{input, "-o", "out.asc"});
        QCOMPARE(run.exitStatus, QProcess::NormalExit);
        QCOMPARE(run.exitCode, exitCode);
        const QString count = QString::number(frames);
        QStringList expected;
        if (exitCode == 1) {
            const QString written = options.contains(QStringLiteral("--filter"))
                                        ? QStringLiteral("those that match written")
                                        : QStringLiteral("all written");
            expected << "tavrix-convert: " + input + ": ends early (damaged or cut): " + count
                            + " frames read, " + written
                            + " to out.asc; --allow-truncated accepts such a log";
        } else if (!options.contains(QStringLiteral("-q"))) {
            expected << input + " -> out.asc: " + count + " frames read, " + count
                            + " written, T s; ends early (damaged or cut)";
        }
        QStringList lines = run.errorLines;
        lines.replaceInStrings(QRegularExpression(QStringLiteral("\\d+\\.\\d\\d s")),
                               QStringLiteral("T s"));
        QCOMPARE(lines, expected);
        const QString output = dir.filePath(QStringLiteral("out.asc"));
        QCOMPARE(TestSupport::parseOnWorker(output).frames().size(), frames);
    }

    // A BLF log fed through a pipe keeps the reader waiting for more, so the
    // interrupt surely comes while it parses. Files converted before stay; an
    // output the interrupted file would have replaced is not touched.
    void interruptDuringParse()
    {
        QTemporaryDir dir;
        makeLog(dir.path(), QStringLiteral("first.asc"), ExportFormat::Asc, 20);
        const QString live = dir.filePath(QStringLiteral("live.blf"));
        QCOMPARE(::mkfifo(QFile::encodeName(live).constData(), 0600), 0);
        QDir(dir.path()).mkdir(QStringLiteral("out"));
        TestSupport::writeFile(dir.filePath(QStringLiteral("out")), QStringLiteral("live.csv"),
                               "keep");

        QProcess process;
        start(process, dir.path(), {"-f", "csv", "first.asc", "live.blf", "-o", "out"});
        // Opening the write end succeeds once the reader has opened the other.
        int fd = -1;
        while (fd < 0 && process.state() == QProcess::Running) {
            fd = ::open(QFile::encodeName(live).constData(), O_WRONLY | O_NONBLOCK);
            if (fd < 0)
                process.waitForFinished(10);
        }
        QVERIFY(fd >= 0);
        QByteArray objects;
        for (int i = 0; i < 100; ++i)
            objects += BlfBytes::canMessage(0x100 + i, 8, quint64(i) * 1000);
        const QByteArray chunk = BlfBytes::container(objects);
        QByteArray pending = BlfBytes::header() + chunk;
        ::kill(process.processId(), SIGINT);
        // Keep the reader fed until it gives up; it never sees an end.
        while (!process.waitForFinished(20)) {
            const ssize_t written = ::write(fd, pending.constData(), size_t(pending.size()));
            if (written > 0)
                pending = pending.mid(int(written));
            if (pending.isEmpty())
                pending = chunk;
        }
        ::close(fd);

        const ToolRun run = finish(process);
        QCOMPARE(run.exitStatus, QProcess::CrashExit); // ended by SIGINT, as shells expect
        QCOMPARE(run.errorLines.value(0).left(25), QStringLiteral("first.asc -> out/first.cs"));
        QCOMPARE(run.errorLines.value(1),
                 QStringLiteral("tavrix-convert: live.blf: interrupted; nothing written"));
        QCOMPARE(listing(dir.filePath(QStringLiteral("out"))),
                 QStringList({"first.csv", "live.csv"}));
        QCOMPARE(TestSupport::readFile(dir.filePath(QStringLiteral("out/live.csv"))),
                 QByteArray("keep"));
    }

    // The exporter cannot be stopped. Written into a pipe it waits for the
    // test to read, so the interrupt surely comes while it writes. Once, the
    // export runs to its end and the file goes; twice, it goes at once.
    void interruptDuringExport_data()
    {
        QTest::addColumn<bool>("twice");
        QTest::newRow("once") << false;
        QTest::newRow("twice") << true;
    }

    void interruptDuringExport()
    {
        QFETCH(bool, twice);
        QTemporaryDir dir;
        makeLog(dir.path(), QStringLiteral("big.csv"), ExportFormat::Csv, 20000);
        const QString fifo = dir.filePath(QStringLiteral("out.asc"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(fd >= 0);

        QProcess process;
        start(process, dir.path(), {"big.csv", "-o", "out.asc"});
        char buffer[4096];
        // Until the exporter opens its end, reads find no writer and return 0.
        while (::read(fd, buffer, sizeof buffer) <= 0)
            QVERIFY(!process.waitForFinished(10));
        QByteArray seen;
        ::kill(process.processId(), SIGINT);
        QVERIFY(waitForError(process, "the file is removed once it is written", seen));
        if (twice)
            ::kill(process.processId(), SIGINT);
        else
            while (::read(fd, buffer, sizeof buffer) != 0)
                process.waitForFinished(1);
        const ToolRun run = finish(process);
        ::close(fd);

        QCOMPARE(run.exitStatus, QProcess::CrashExit);
        const QStringList lines =
            QString::fromUtf8(seen).split(QLatin1Char('\n'), Qt::SkipEmptyParts)
            + run.errorLines;
        QVERIFY2(lines.constLast().endsWith(twice ? "out.asc: interrupted again; removed"
                                                  : "big.csv: interrupted; out.asc removed"),
                 qPrintable(lines.join('\n')));
        QVERIFY(!QFileInfo::exists(fifo));
    }
};

QTEST_GUILESS_MAIN(TestConvert)
#include "tst_convert.moc"
