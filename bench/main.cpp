// tavrix-bench [FRAMES] [--runs R] [--no-peer] [--dir DIR] [--only OPERATION[,OPERATION...]]
// [--markdown]
// tavrix-bench --scale [FRAMES] [--dir DIR]
//
// Generates a corpus of FRAMES frames (default 1 000 000) as ASC, CSV and BLF
// and times our reading (end to end into the frame store), writing and load
// memory against python-can, and the wait for the first rows of a file of
// 10 000 000 frames. --scale opens a large corpus of each format in a
// fresh process and converts it to the two other formats.

#include <algorithm>
#include <cstdio>
#include <functional>
#include <utility>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include "benchreport.h"
#include "benchrunner.h"
#include "corpus.h"
#include "dbcbench.h"
#include "filterbench.h"
#include "peerbench.h"
#include "processmemory.h"
#include "vemi_canfd_data.h"

namespace {

struct Options
{
    int frames = 0;
    int runs = 0;
    bool peer = true;
    bool scale = false;
    bool markdown = false;
    QString dir;
    QString only; // run just the operations whose label starts with this
};

Options parseOptions(const QStringList &arguments)
{
    Options options;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--runs"))
            options.runs = arguments.value(++i).toInt();
        else if (argument == QLatin1String("--no-peer"))
            options.peer = false;
        else if (argument == QLatin1String("--scale"))
            options.scale = true;
        else if (argument == QLatin1String("--markdown"))
            options.markdown = true;
        else if (argument == QLatin1String("--dir"))
            options.dir = arguments.value(++i);
        else if (argument == QLatin1String("--only"))
            options.only = arguments.value(++i);
        else
            options.frames = argument.toInt();
    }
    if (options.frames <= 0)
        options.frames = options.scale ? 100000000 : 1000000;
    // Median of five; fewer where one run takes long.
    if (options.runs <= 0)
        options.runs = options.frames <= 2000000 ? 5 : options.frames <= 5000000 ? 3 : 1;
    return options;
}

void note(const char *format, const QString &text = QString())
{
    std::fprintf(stderr, format, qPrintable(text));
    std::fflush(stderr);
}

Corpus makeCorpus(const Options &options, const QString &dir)
{
    note("generating %s frames\n", QString::number(options.frames));
    Corpus corpus(options.frames);
    QElapsedTimer timer;
    timer.start();
    if (!corpus.writeFiles(dir)) {
        std::fprintf(stderr, "cannot write the corpus into %s\n", qPrintable(dir));
        std::exit(1);
    }
    std::printf("corpus: %d frames (%d classic, %d CAN FD) in %s, written in %.1f s\n",
                options.frames, corpus.classicCount(), options.frames - corpus.classicCount(),
                qPrintable(dir), double(timer.elapsed()) / 1000);
    for (ExportFormat format : Corpus::formats()) {
        std::printf("  %s %.1f MB\n", qPrintable(Corpus::name(format)),
                    double(QFileInfo(corpus.path(format)).size()) / 1e6);
    }
    std::fflush(stdout);
    return corpus;
}

// The peer's operation a row compares with: a conversion's, whichever way we
// run it.
QString peerKey(const QString &label)
{
    return label.startsWith(QLatin1String("convert ")) ? label.section(QStringLiteral(", "), 0, 0)
                                                       : label;
}

// From the click to the first rows, on files of FirstRowsFrames frames: the
// corpus itself when it is that large, else one of their own, made only when
// a row is wanted and removed afterwards.
constexpr int FirstRowsFrames = 10000000;
constexpr double FirstRowsLimit = 0.1; // seconds

void addFirstRows(const Options &options, const Corpus &corpus, const QString &dir,
                  const std::function<bool(const QString &)> &wanted, BenchReport &report)
{
    QVector<ExportFormat> formats;
    for (ExportFormat format : Corpus::formats()) {
        if (wanted(QStringLiteral("first rows ") + Corpus::name(format)))
            formats << format;
    }
    if (formats.isEmpty())
        return;
    const bool own = options.frames < FirstRowsFrames;
    const QString folder = QDir(dir).filePath(QStringLiteral("first-rows"));
    Corpus large(own ? FirstRowsFrames : 0);
    if (own) {
        note("generating %s frames for the first rows\n", QString::number(FirstRowsFrames));
        if (!QDir().mkpath(folder) || !large.writeFiles(folder)) {
            std::printf("cannot write the first rows' corpus into %s\n", qPrintable(folder));
            QDir(folder).removeRecursively();
            return;
        }
        large.dropFrames();
    }
    for (ExportFormat format : formats) {
        const QString path = own ? large.path(format) : corpus.path(format);
        QVector<Measurement> runs;
        for (int round = 0; round < options.runs; ++round)
            runs << BenchRunner::firstRows(path);
        report.addWait(QStringLiteral("first rows ") + Corpus::name(format)
                           + QStringLiteral(", %1 M frames").arg(std::max(options.frames,
                                                                          FirstRowsFrames)
                                                                 / 1000000),
                       BenchRunner::median(runs), FirstRowsLimit);
    }
    if (own)
        QDir(folder).removeRecursively();
}

int runBench(const Options &options, const QString &dir)
{
    Corpus corpus = makeCorpus(options, dir);
    // --only a,b: the operations whose labels start with any of them.
    auto wanted = [&options](const QString &label) {
        const QStringList prefixes = options.only.split(QLatin1Char(','));
        return options.only.isEmpty()
               || std::any_of(prefixes.cbegin(), prefixes.cend(),
                              [&label](const QString &prefix) { return label.startsWith(prefix); });
    };

    bool peer = options.peer && options.only.isEmpty();
    if (!peer) {
        std::printf("python-can: skipped\n");
    } else if (!PeerBench::available()) {
        peer = false;
        std::printf("python-can: not available (%s cannot import can); "
                    "the comparison is skipped\n", qPrintable(PeerBench::python()));
    }

    // Our operations, in the order of the report.
    QVector<QString> labels;
    QVector<BenchRunner::Operation> operations;
    auto add = [&](const QString &label, BenchRunner::Operation operation) {
        if (!wanted(label))
            return;
        labels << label;
        operations << std::move(operation);
    };
    const QVector<Vemi_CANFD_Data> &frames = corpus.frames();
    for (ExportFormat format : Corpus::formats()) {
        const QString path = corpus.path(format);
        add(QStringLiteral("read ") + Corpus::name(format),
            [path] { return BenchRunner::read(path); });
    }
    for (ExportFormat format : Corpus::formats()) {
        const QString out = QDir(dir).filePath(QStringLiteral("out.") + Corpus::suffix(format));
        for (SortOrder order : {SortOrder::None, SortOrder::Ascending}) {
            const QString label = QStringLiteral("write ") + Corpus::name(format)
                                  + (order == SortOrder::Ascending ? QStringLiteral(" sorted")
                                                                   : QString());
            add(label, [&frames, format, order, out] {
                return BenchRunner::write(frames, format, order, out);
            });
        }
    }
    const QString queuedOut = QDir(dir).filePath(QStringLiteral("out.asc"));
    add(QStringLiteral("write ASC, queued progress"), [&frames, queuedOut] {
        return BenchRunner::writeWithProgressReceiver(frames, ExportFormat::Asc, queuedOut);
    });
    // Whole conversions: the window's path in this process, and tavrix-convert
    // in a process of its own on the same files.
    const std::pair<ExportFormat, ExportFormat> conversions[] = {
        {ExportFormat::Asc, ExportFormat::Blf},
        {ExportFormat::Blf, ExportFormat::Asc},
        {ExportFormat::Csv, ExportFormat::Asc}};
    for (const auto &conversion : conversions) {
        const ExportFormat from = conversion.first, to = conversion.second;
        const QString source = corpus.path(from);
        const QString out = QDir(dir).filePath(QStringLiteral("out.") + Corpus::suffix(to));
        const QString name = Corpus::name(from) + QStringLiteral(" to ") + Corpus::name(to);
        add(QStringLiteral("convert ") + name + QStringLiteral(", window path"),
            [source, to, out] { return BenchRunner::readThenWrite(source, to, out); });
        add(QStringLiteral("convert ") + name + QStringLiteral(", tavrix-convert"),
            [source, out, frames = frames.size()] {
                Measurement one = BenchRunner::convertProcess(source, out);
                one.frames = frames;
                return one;
            });
    }
    add(QStringLiteral("decode DBC signals, 50 messages"),
        [count = options.frames] { return DbcBench::decode(count); });
    add(QStringLiteral("filter (ids, channel, time)"),
        [&frames] { return FilterBench::filter(frames); });
    add(QStringLiteral("overview"), [&frames] { return FilterBench::overview(frames); });

    // Round after round, every operation once, python-can's among them.
    std::printf("median of %d rounds\n", options.runs);
    QVector<QVector<Measurement>> ours(operations.size());
    QMap<QString, QVector<Measurement>> theirs;
    for (int round = 0; round < options.runs; ++round) {
        note("round %s\n", QString::number(round + 1));
        for (int i = 0; i < operations.size(); ++i)
            ours[i] << operations[i]();
        if (peer) {
            const QMap<QString, Measurement> results = PeerBench::run(
                corpus.path(ExportFormat::Asc), corpus.path(ExportFormat::Blf), dir);
            if (results.isEmpty()) {
                std::printf("python-can: the peer run failed; the comparison is skipped\n");
                peer = false;
                theirs.clear();
            }
            for (auto it = results.cbegin(); it != results.cend(); ++it)
                theirs[it.key()] << it.value();
        }
    }
    for (ExportFormat format : Corpus::formats())
        QFile::remove(QDir(dir).filePath(QStringLiteral("out.") + Corpus::suffix(format)));

    BenchReport report;
    // Targets: at least this many times python-can's speed, or at least as
    // fast as another of our rows.
    const QMap<QString, double> peerTargets{{QStringLiteral("read ASC"), 10},
                                            {QStringLiteral("read BLF"), 15},
                                            {QStringLiteral("write ASC"), 10},
                                            {QStringLiteral("write BLF"), 5}};
    const QMap<QString, QString> ownTargets{
        {QStringLiteral("read CSV"), QStringLiteral("read ASC")},
        {QStringLiteral("write CSV"), QStringLiteral("write ASC")},
        {QStringLiteral("write CSV sorted"), QStringLiteral("write ASC sorted")}};
    // Frames a second: 10 M frames filtered in half a second, their overview
    // in one.
    const QMap<QString, double> rateTargets{
        {QStringLiteral("filter (ids, channel, time)"), 20e6}, {QStringLiteral("overview"), 10e6}};
    for (int i = 0; i < labels.size(); ++i) {
        const QString &label = labels[i];
        const QString peerLabel = peerKey(label);
        const Measurement peerMedian = BenchRunner::median(theirs.value(peerLabel));
        report.add(label, BenchRunner::median(ours[i]),
                   theirs.contains(peerLabel) ? &peerMedian : nullptr, peerTargets.value(label),
                   ownTargets.value(label), rateTargets.value(label));
    }

    corpus.dropFrames();
    for (ExportFormat format : Corpus::formats()) {
        if (!wanted(QStringLiteral("memory ") + Corpus::name(format)))
            continue;
        note("measuring the memory of loading %s\n", Corpus::name(format));
        report.addMemory(Corpus::name(format),
                         BenchRunner::loadInChild(corpus.path(format)));
    }
    addFirstRows(options, corpus, dir, wanted, report);
    report.print(options.frames);
    if (options.markdown)
        report.printMarkdown();
    return 0;
}

// One line of the scale table: time, rate and peak memory per frame.
void printScaleRow(const char *operation, bool ok, double seconds, qint64 peakBytes,
                   qint64 frames)
{
    if (!ok) {
        std::printf("%-38s failed\n", operation);
        return;
    }
    std::printf("%-38s %9.1f %11.0f %9.0f %8.1f\n", operation, seconds,
                double(frames) / seconds, double(peakBytes) / 1e6,
                double(peakBytes) / double(frames));
}

// A BLF log of options.frames frames, generated as it is written; the
// window's load of it into the frame store in a process of its own, and
// tavrix-convert's conversions of it, each with its peak memory.
int runScale(const Options &options, const QString &dir)
{
    const QString blf = QDir(dir).filePath(QStringLiteral("scale.blf"));
    note("writing %s frames as BLF\n", QString::number(options.frames));
    QElapsedTimer timer;
    timer.start();
    if (!Corpus::writeStreamed(options.frames, ExportFormat::Blf, blf)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(blf));
        return 1;
    }
    std::printf("scale corpus: %d frames, BLF %.0f MB, written in %.1f s\n\n", options.frames,
                double(QFileInfo(blf).size()) / 1e6, double(timer.elapsed()) / 1000);
    std::printf("%-38s %9s %11s %9s %8s\n", "operation", "seconds", "frames/s", "peak MB",
                "B/frame");

    note("loading it as the window does\n");
    const LoadReport load = BenchRunner::loadInChild(blf);
    printScaleRow("window: load into the frame store", load.ok && load.rows == options.frames,
                  load.loadSeconds, load.loadPeak - load.idleResident, options.frames);

    struct Conversion
    {
        const char *operation;
        const char *order;
        const char *suffix;
    };
    const Conversion conversions[] = {
        {"tavrix-convert to ASC", "none", "asc"},
        {"tavrix-convert to BLF", "none", "blf"},
        {"tavrix-convert to ASC, sorted", "ascending", "asc"},
        {"tavrix-convert to BLF, sorted", "ascending", "blf"},
    };
    for (const Conversion &conversion : conversions) {
        note("%s\n", QLatin1String(conversion.operation));
        const QString out =
            QDir(dir).filePath(QStringLiteral("scale-out.") + QLatin1String(conversion.suffix));
        const ProcessMemory::Run run = ProcessMemory::runMeasured(
            QStringLiteral(TAVRIX_CONVERT),
            {QStringLiteral("-q"), QStringLiteral("-s"), QLatin1String(conversion.order), blf,
             QStringLiteral("-o"), out});
        printScaleRow(conversion.operation, run.ok, run.seconds, run.peakResident,
                      options.frames);
        QFile::remove(out);
    }
    std::printf("(peak: resident memory of the process, for the load above the idle one)\n");
    QFile::remove(blf);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    registerFrameMetaTypes();
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.contains(QStringLiteral("--child")))
        return BenchRunner::childMain(arguments);

    const Options options = parseOptions(arguments);
    QTemporaryDir temporary;
    QString dir = options.dir;
    if (dir.isEmpty()) {
        if (!temporary.isValid()) {
            std::fprintf(stderr, "cannot create a temporary folder\n");
            return 1;
        }
        dir = temporary.path();
    } else if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(dir));
        return 1;
    }
    return options.scale ? runScale(options, dir) : runBench(options, dir);
}
