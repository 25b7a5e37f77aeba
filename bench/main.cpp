// tavrix-bench [FRAMES] [--runs R] [--no-peer] [--dir DIR] [--only OPERATION]
// tavrix-bench --scale [FRAMES] [--dir DIR]
//
// Generates a corpus of FRAMES frames (default 1 000 000) as ASC, CSV and BLF
// and times our reading (end to end into the table model), writing and load
// memory against python-can. --scale opens a large corpus of each format in a
// fresh process and converts it to the two other formats.

#include <cstdio>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include "benchreport.h"
#include "benchrunner.h"
#include "corpus.h"
#include "peerbench.h"
#include "vemi_canfd_data.h"

namespace {

struct Options
{
    int frames = 0;
    int runs = 0;
    bool peer = true;
    bool scale = false;
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
        else if (argument == QLatin1String("--dir"))
            options.dir = arguments.value(++i);
        else if (argument == QLatin1String("--only"))
            options.only = arguments.value(++i);
        else
            options.frames = argument.toInt();
    }
    if (options.frames <= 0)
        options.frames = options.scale ? 10000000 : 1000000;
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
    for (ExportFormat format : Corpus::formats) {
        std::printf("  %s %.1f MB\n", qPrintable(Corpus::name(format)),
                    double(QFileInfo(corpus.path(format)).size()) / 1e6);
    }
    std::fflush(stdout);
    return corpus;
}

int runBench(const Options &options, const QString &dir)
{
    Corpus corpus = makeCorpus(options, dir);
    BenchRunner runner(options.runs);
    std::printf("median of %d runs\n", options.runs);
    auto wanted = [&options](const QString &label) {
        return options.only.isEmpty() || label.startsWith(options.only);
    };

    QMap<QString, Measurement> peer;
    if (!options.peer || !options.only.isEmpty()) {
        std::printf("python-can: skipped\n");
    } else if (!PeerBench::available()) {
        std::printf("python-can: not available (%s cannot import can); "
                    "the comparison is skipped\n", qPrintable(PeerBench::python()));
    } else {
        note("timing python-can\n");
        peer = PeerBench::run(corpus.path(ExportFormat::Asc), corpus.path(ExportFormat::Blf),
                              dir, options.runs);
        if (peer.isEmpty())
            std::printf("python-can: the peer run failed; the comparison is skipped\n");
    }
    auto peerOf = [&peer](const QString &label) {
        const auto found = peer.constFind(label);
        return found == peer.constEnd() ? nullptr : &found.value();
    };

    BenchReport report;
    // Targets: at least this many times python-can's speed, or at least as
    // fast as another of our rows.
    const QMap<QString, double> peerTargets{{QStringLiteral("read ASC"), 10},
                                            {QStringLiteral("read BLF"), 8},
                                            {QStringLiteral("write ASC"), 10},
                                            {QStringLiteral("write BLF"), 2}};
    const QMap<QString, QString> ownTargets{
        {QStringLiteral("read CSV"), QStringLiteral("read ASC")},
        {QStringLiteral("write CSV"), QStringLiteral("write ASC")},
        {QStringLiteral("write CSV sorted"), QStringLiteral("write ASC sorted")}};
    auto add = [&](const QString &label, const Measurement &ours) {
        report.add(label, ours, peerOf(label), peerTargets.value(label),
                   ownTargets.value(label));
    };

    for (ExportFormat format : Corpus::formats) {
        const QString label = QStringLiteral("read ") + Corpus::name(format);
        if (!wanted(label))
            continue;
        note("timing %s\n", label);
        add(label, runner.read(corpus.path(format)));
    }
    for (ExportFormat format : Corpus::formats) {
        const QString out = QDir(dir).filePath(QStringLiteral("out.") + Corpus::suffix(format));
        for (SortOrder order : {SortOrder::None, SortOrder::Ascending}) {
            const QString label = QStringLiteral("write ") + Corpus::name(format)
                                  + (order == SortOrder::Ascending ? QStringLiteral(" sorted")
                                                                   : QString());
            if (!wanted(label))
                continue;
            note("timing %s\n", label);
            add(label, runner.write(corpus.frames(), format, order, out));
        }
        QFile::remove(out);
    }
    const QString queued = QStringLiteral("write ASC, queued progress");
    if (wanted(queued)) {
        note("timing %s\n", queued);
        const QString out = QDir(dir).filePath(QStringLiteral("out.asc"));
        add(queued, runner.writeWithProgressReceiver(corpus.frames(), ExportFormat::Asc, out));
        QFile::remove(out);
    }
    corpus.dropFrames();
    for (ExportFormat format : Corpus::formats) {
        if (!wanted(QStringLiteral("memory ") + Corpus::name(format)))
            continue;
        note("measuring the memory of loading %s\n", Corpus::name(format));
        report.addMemory(Corpus::name(format),
                         BenchRunner::loadInChild(corpus.path(format), QString()));
    }
    report.print(options.frames);
    return 0;
}

int runScale(const Options &options, const QString &dir)
{
    {
        Corpus corpus = makeCorpus(options, dir);
    }
    const double recordBytes = 136.0 * options.frames;
    std::printf("\n%-6s %9s %9s  %12s %12s  %s\n", "file", "open s", "fps", "peak MB",
                "conv. peak", "conversions (s, MB)");
    for (ExportFormat format : Corpus::formats) {
        note("opening and converting %s\n", Corpus::name(format));
        const QString path = QDir(dir).filePath(QStringLiteral("corpus.") + Corpus::suffix(format));
        const LoadReport load = BenchRunner::loadInChild(path, dir);
        if (!load.ok) {
            std::printf("%-6s failed\n", qPrintable(Corpus::name(format)));
            continue;
        }
        const double peak = double(load.loadPeak - load.idleResident);
        const double convertPeak = double(load.convertPeak - load.idleResident);
        std::printf("%-6s %9.2f %9.0f  %7.0f %.2fx %7.0f %.2fx  %s\n",
                    qPrintable(Corpus::name(format)), load.loadSeconds,
                    double(load.rows) / load.loadSeconds, peak / 1e6, peak / recordBytes,
                    convertPeak / 1e6, convertPeak / recordBytes,
                    qPrintable(load.conversions.join(QStringLiteral("; "))));
        if (load.rows != options.frames)
            std::printf("       %lld rows, expected %d\n", load.rows, options.frames);
    }
    std::printf("(peaks above the idle process; x = times 136 B per frame)\n");
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
