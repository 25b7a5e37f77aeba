#include "converter.h"

#include <cstdio>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "datahub.h"
#include "framefilter.h"
#include "frameoverview.h"
#include "framestore.h"
#include "interruptwatcher.h"
#include "logworker.h"
#include "progressdisplay.h"
#include "readreport.h"

Converter::Converter(const Settings &chosen, QObject *parent)
    : QObject(parent)
    , settings(chosen)
    , hub(new DataHub(this))
    , store(new FrameStore(this))
    , exporter(new CanDataExporter(this))
    , worker(new LogWorker(hub, store, exporter, this))
    , display(new ProgressDisplay(settings.progress && !settings.quiet, this))
    , reader(new ReadReport(hub, this))
{
    // The worker stops the reader; the converter reports the file as cut.
    connect(store, &FrameStore::full, this, [this] { capacityReached = true; });
    exporter->setDatabase(settings.database, settings.signalTable);
}

Converter::~Converter()
{
    worker->shutdown();
}

bool Converter::run(const QVector<ConversionJob> &jobs)
{
    bool allConverted = true;
    for (const ConversionJob &job : jobs) {
        if (interruptSignal != 0)
            return false;
        if (!convert(job))
            allConverted = false;
    }
    return allConverted;
}

void Converter::interrupt(int signalNumber)
{
    if (interruptSignal != 0) {
        display->end();
        const bool removed = exporting && removeOutputIfWritten();
        fail(removed ? currentOutput : currentInput,
             removed ? tr("interrupted again; removed") : tr("interrupted again"));
        InterruptWatcher::endBy(signalNumber);
    }
    interruptSignal = signalNumber;
    worker->requestStop();
    // A stream writes nothing before its first frame.
    if (exporting && (settings.order != SortOrder::None || worker->streamedFrames() > 0)) {
        display->end();
        fail(currentOutput, tr("interrupted; the file is removed once it is written "
                               "(interrupt again to stop at once)"));
    }
}

bool Converter::convert(const ConversionJob &job)
{
    if (!job.problem.isEmpty()) {
        fail(job.input, job.problem);
        return false;
    }
    currentInput = job.input;
    currentOutput = job.output;
    reader->reset();
    QElapsedTimer clock;
    clock.start();
    display->begin([this] { return status(); });

    QString problem;
    qint64 frames = 0;
    qint64 written = 0;
    // In frame order a log passes from the reader to the writer as it is
    // read; sorting needs every frame in the store first.
    const bool converted = settings.order == SortOrder::None
                               ? stream(job, problem, frames)
                               : loadAndWrite(job, problem, frames, written);
    if (settings.order == SortOrder::None)
        written = worker->streamedFrames();
    display->end();
    if (!converted || !acceptEnd(job, frames, problem)) {
        fail(job.input, problem);
        return false;
    }
    if (!settings.quiet) {
        const QString early = reader->endedEarly() ? tr("; ends early (damaged or cut)")
                                                   : QString();
        report(tr("%1 -> %2: %3 frames read, %4 written, %5 s%6")
                   .arg(job.input, job.output)
                   .arg(frames)
                   .arg(written)
                   .arg(clock.elapsed() / 1000.0, 0, 'f', 2)
                   .arg(early));
    }
    return true;
}

template<typename Signal>
void Converter::waitFor(Signal signal)
{
    QEventLoop loop;
    connect(worker, signal, &loop, &QEventLoop::quit);
    loop.exec();
}

bool Converter::stream(const ConversionJob &job, QString &problem, qint64 &frames)
{
    outputExisted = QFileInfo::exists(job.output);
    exporting = true;
    bool written = false;
    bool outOfOrder = false;
    QObject context;
    connect(worker, &LogWorker::streamEnded, &context, [&](bool done, bool early) {
        written = done;
        outOfOrder = early;
    });
    worker->startStreaming(job.input, settings.format, job.output, nullptr, settings.filter);
    waitFor(&LogWorker::streamEnded);
    if (outOfOrder && interruptSignal == 0) {
        // A frame came before the first one's time: the time origin is the
        // earliest time of the whole log, which a first pass finds.
        qint64 count = 0;
        quint64 earliest = 0;
        connect(worker, &LogWorker::scanEnded, &context, [&](qint64 scanned, quint64 first) {
            count = scanned;
            earliest = first;
        });
        worker->startScan(job.input, settings.filter);
        waitFor(&LogWorker::scanEnded);
        if (interruptSignal == 0 && count > 0) {
            const uint64_t origin = earliest;
            worker->startStreaming(job.input, settings.format, job.output, &origin,
                                   settings.filter);
            waitFor(&LogWorker::streamEnded);
        }
    }
    exporting = false;
    frames = worker->streamedFramesRead();

    if (interruptSignal != 0) {
        problem = removeOutputIfWritten() ? tr("interrupted; %1 removed").arg(job.output)
                                          : tr("interrupted; nothing written");
        return false;
    }
    // Nothing was written for a log without frames, not even an empty file;
    // say why rather than leave no trace.
    if (!readSucceeded(job.input, frames, problem)) {
        removeOutputIfWritten();
        return false;
    }
    if (worker->streamedFramesPassed() == 0) {
        problem = tr("no frame matches the filter; nothing written");
        return false;
    }
    return finishWrite(written && worker->streamedFrames() == worker->streamedFramesPassed(),
                       job.output, problem);
}

bool Converter::load(const QString &input, QString &problem, qint64 &frames)
{
    capacityReached = false;
    worker->load(input);
    // An interrupt that came before the load started stops it at once.
    if (interruptSignal != 0)
        worker->requestStop();
    waitFor(&LogWorker::loadEnded);
    worker->stopLoad();
    frames = store->size();

    if (interruptSignal != 0) {
        problem = tr("interrupted; nothing written");
        return false;
    }
    // The exporter refuses empty input; say why rather than leave no trace.
    return readSucceeded(input, frames, problem);
}

FrameSnapshot Converter::takeFrames() const
{
    FrameSnapshot snapshot = store->snapshot();
    if (settings.filter) {
        snapshot = snapshot.selected(std::make_shared<const std::vector<uint32_t>>(
            settings.filter->select(snapshot)));
    }
    // The snapshot holds the frames now; the store lets go of them.
    store->clear();
    return snapshot;
}

bool Converter::loadAndWrite(const ConversionJob &job, QString &problem, qint64 &frames,
                             qint64 &passed)
{
    if (!load(job.input, problem, frames))
        return false;
    const FrameSnapshot snapshot = takeFrames();
    passed = snapshot.size();
    if (snapshot.isEmpty()) {
        problem = tr("no frame matches the filter; nothing written");
        return false;
    }
    outputExisted = QFileInfo::exists(job.output);
    exporting = true;
    bool written = false;
    QObject context;
    connect(worker, &LogWorker::exportEnded, &context,
            [&written](bool success) { written = success; });
    worker->startExport(snapshot, settings.format, settings.order, job.output);
    waitFor(&LogWorker::exportEnded);
    exporting = false;

    if (interruptSignal != 0) {
        problem = removeOutputIfWritten() ? tr("interrupted; %1 removed").arg(job.output)
                                          : tr("interrupted");
        return false;
    }
    if (!finishWrite(written, job.output, problem))
        return false;
    // Written, yet not the whole log: a pipeline must not take it for done.
    if (capacityReached) {
        problem = tr("more frames than fit in memory; only the first %1 were converted")
                      .arg(frames);
        return false;
    }
    return true;
}

bool Converter::overview(const QString &input, const QString &output)
{
    currentInput = input;
    reader->reset();
    display->begin([this] { return status(); });
    QString problem;
    qint64 frames = 0;
    const bool loaded = load(input, problem, frames);
    display->end();
    if (loaded && reader->endedEarly() && !settings.allowTruncated) {
        problem = tr("ends early (damaged or cut): %1 frames read; --allow-truncated "
                     "accepts such a log").arg(frames);
    } else if (loaded && capacityReached) {
        problem = tr("more frames than fit in memory");
    }
    if (!loaded || !problem.isEmpty()) {
        fail(input, problem);
        return false;
    }
    const FrameSnapshot snapshot = takeFrames();
    if (snapshot.isEmpty()) {
        fail(input, tr("no frame matches the filter"));
        return false;
    }
    const QByteArray csv = FrameOverview::of(snapshot).csv().toUtf8();
    if (output.isEmpty()) {
        std::fwrite(csv.constData(), 1, std::size_t(csv.size()), stdout);
        return std::fflush(stdout) == 0;
    }
    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size() || !file.commit()) {
        fail(output, tr("cannot write: %1").arg(file.errorString()));
        return false;
    }
    if (!settings.quiet) {
        report(tr("%1 -> %2: overview of %3 frames").arg(input, output).arg(snapshot.size()));
    }
    return true;
}

bool Converter::readSucceeded(const QString &input, qint64 frames, QString &problem) const
{
    // A reader stopped at the store's limit has frames, but no finished signal.
    const ReadReport::Problem found = reader->problem(input, frames);
    if (found == ReadReport::Problem::None)
        return true;
    problem = ReadReport::describe(found, false);
    if (found == ReadReport::Problem::NoFrames || found == ReadReport::Problem::OtherCsvLayout)
        problem += tr("; nothing written");
    return false;
}

bool Converter::finishWrite(bool written, const QString &output, QString &problem)
{
    if (written)
        return true;
    const QString reason = CanDataExporter::failureText(worker->exportFailure(),
                                                        worker->exportSystemError(), false);
    problem = removeOutputIfWritten()
                  ? tr("writing %1 failed: %2; the partial file was removed")
                  : tr("cannot write %1: %2");
    problem = problem.arg(output, reason);
    return false;
}

bool Converter::acceptEnd(const ConversionJob &job, qint64 frames, QString &problem) const
{
    if (!reader->endedEarly() || settings.allowTruncated)
        return true;
    problem = settings.filter
                  ? tr("ends early (damaged or cut): %1 frames read, those that match "
                       "written to %2; --allow-truncated accepts such a log")
                  : tr("ends early (damaged or cut): %1 frames read, all written to %2; "
                       "--allow-truncated accepts such a log");
    problem = problem.arg(frames).arg(job.output);
    return false;
}

bool Converter::removeOutputIfWritten()
{
    // The exporter reports progress only after it opened the file and wrote a
    // frame, and a file that was not there before is ours too. An existing
    // file that the exporter could not open is someone else's and stays.
    const bool ours = worker->exportPercent() >= 0 || worker->streamedFrames() > 0
                      || (!outputExisted && QFileInfo::exists(currentOutput));
    return ours && QFile::remove(currentOutput);
}

QString Converter::status() const
{
    if (exporting && settings.order == SortOrder::None)
        return tr("%1: %2 frames written").arg(currentOutput).arg(worker->streamedFrames());
    if (exporting) {
        return tr("%1: writing %2%")
            .arg(currentOutput)
            .arg(std::max(worker->exportPercent(), 0));
    }
    // The frames that arrived say more than the reader's percentage, which
    // a pipe's reader cannot know.
    return tr("%1: reading, %2 frames").arg(currentInput).arg(store->size());
}

void Converter::report(const QString &line) const
{
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

void Converter::fail(const QString &path, const QString &problem) const
{
    report(QCoreApplication::applicationName() + QLatin1String(": ") + path
           + QLatin1String(": ") + problem);
}
