#include "converter.h"

#include <cstdio>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>

#include "datahub.h"
#include "framestore.h"
#include "interruptwatcher.h"
#include "logformat.h"
#include "logworker.h"
#include "progressdisplay.h"

Converter::Converter(const Settings &chosen, QObject *parent)
    : QObject(parent)
    , settings(chosen)
    , hub(new DataHub(this))
    , store(new FrameStore(this))
    , exporter(new CanDataExporter(this))
    , worker(new LogWorker(hub, store, exporter, this))
    , display(new ProgressDisplay(settings.progress && !settings.quiet, this))
{
    // The worker stops the reader; the converter reports the file as cut.
    connect(store, &FrameStore::full, this, [this] { capacityReached = true; });
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
    if (exporting) {
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
    QElapsedTimer clock;
    clock.start();
    display->begin([this] { return status(); });

    QString problem;
    bool converted = parse(job.input, problem);
    const int framesRead = store->size();
    if (converted && framesRead == 0) {
        // The exporter refuses empty input; say so rather than leave no trace.
        problem = tr("holds no frames; nothing written");
        converted = false;
    }
    if (converted)
        converted = write(job.output, problem);
    display->end();
    // Written, yet not the whole log: a pipeline must not take it for done.
    if (converted && capacityReached) {
        problem = tr("more frames than one file may hold; only the first %1 were converted")
                      .arg(framesRead);
        converted = false;
    }

    if (!converted) {
        fail(job.input, problem);
        return false;
    }
    if (!settings.quiet) {
        report(tr("%1 -> %2: %3 frames read, %4 written, %5 s")
                   .arg(job.input, job.output)
                   .arg(framesRead)
                   .arg(framesRead)
                   .arg(clock.elapsed() / 1000.0, 0, 'f', 2));
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

bool Converter::parse(const QString &input, QString &problem)
{
    capacityReached = false;
    int signalsSeen = 0;
    bool succeeded = false;
    QString readerMessage;
    QObject listener;
    connect(hub, &DataHub::progressUpdated, &listener, [&signalsSeen] { ++signalsSeen; });
    connect(hub, &DataHub::parsingFinished, &listener,
            [&](bool success, const QString &message) {
                ++signalsSeen;
                succeeded = success;
                readerMessage = message;
            });

    worker->load(input);
    // An interrupt that came before the load started stops it at once.
    if (interruptSignal != 0)
        worker->requestStop();
    waitFor(&LogWorker::loadEnded);
    worker->stopLoad();

    if (interruptSignal != 0) {
        problem = tr("interrupted; nothing written");
        return false;
    }
    // A reader stopped at the store's limit ends without its finished signal.
    if (succeeded || capacityReached)
        return true;
    // The dispatcher emits nothing at all for a suffix it has no reader for.
    if (signalsSeen == 0) {
        problem = QFileInfo::exists(input)
                      ? tr("unsupported format (not %1)").arg(LogFormat::readableSuffixes())
                      : tr("no such file");
        return false;
    }
    QFile probe(input);
    const QString reason = probe.open(QIODevice::ReadOnly) ? readerMessage : probe.errorString();
    problem = tr("cannot be read (%1)").arg(reason);
    return false;
}

bool Converter::write(const QString &output, QString &problem)
{
    const FrameSnapshot frames = store->snapshot();
    // The snapshot holds the frames now; the store lets go of them.
    store->clear();
    outputExisted = QFileInfo::exists(output);
    exporting = true;
    bool written = false;
    QObject listener;
    connect(worker, &LogWorker::exportEnded, &listener,
            [&written](bool success) { written = success; });
    worker->startExport(frames, settings.format, settings.order, output);
    waitFor(&LogWorker::exportEnded);
    exporting = false;

    if (interruptSignal != 0) {
        problem = removeOutputIfWritten() ? tr("interrupted; %1 removed").arg(output)
                                          : tr("interrupted");
        return false;
    }
    if (!written) {
        problem = removeOutputIfWritten() ? tr("writing %1 failed; the partial file was removed")
                                          : tr("cannot write %1");
        problem = problem.arg(output);
        return false;
    }
    return true;
}

bool Converter::removeOutputIfWritten()
{
    // The exporter reports progress only after it opened the file and wrote a
    // frame, and a file that was not there before is ours too. An existing
    // file that the exporter could not open is someone else's and stays.
    const bool ours = worker->exportPercent() >= 0
                      || (!outputExisted && QFileInfo::exists(currentOutput));
    return ours && QFile::remove(currentOutput);
}

QString Converter::status() const
{
    if (exporting) {
        return tr("%1: writing %2%")
            .arg(currentOutput)
            .arg(std::max(worker->exportPercent(), 0));
    }
    // The text readers' percentage counts lines, not the file, and stands at 95
    // for most of a large file; the frames that arrived say more.
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
