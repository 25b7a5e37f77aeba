#include "logworker.h"

#include <memory>

#include <QCoreApplication>
#include <QThread>

#include "candataexporter.h"
#include "datahub.h"
#include "framefilter.h"
#include "framestore.h"
#include "framestream.h"

namespace {

// The frames of a log's batches that a filter passes, its "t" counting from
// the log's first frame, filter or not.
class BatchFilter
{
public:
    explicit BatchFilter(std::shared_ptr<const FrameFilter> chosen)
        : filter(std::move(chosen))
    {
    }

    QVector<Vemi_CANFD_Data> operator()(const QVector<Vemi_CANFD_Data> &batch)
    {
        if (!filter || batch.isEmpty())
            return batch;
        if (!started) {
            origin = batch.first().timestamp;
            started = true;
        }
        QVector<Vemi_CANFD_Data> passed;
        for (const Vemi_CANFD_Data &frame : batch) {
            if (filter->matches(frame, origin))
                passed << frame;
        }
        return passed;
    }

private:
    std::shared_ptr<const FrameFilter> filter;
    uint64_t origin = 0;
    bool started = false;
};

} // namespace

LogWorker::LogWorker(DataHub *dispatcher, FrameStore *frames, CanDataExporter *writer,
                     QObject *parent)
    : QObject(parent)
    , hub(dispatcher)
    , store(frames)
    , exporter(writer)
{
    connect(hub, &DataHub::dataParsed, store, &FrameStore::append);
    // The rest of the file would be dropped anyway: the reader may stop.
    connect(store, &FrameStore::full, this, &LogWorker::requestStop);
    // Direct: the exporter reports every frame on its own thread.
    connect(
        exporter, &CanDataExporter::progressUpdated, this,
        [this](int percent) { exportProgress.store(percent, std::memory_order_relaxed); },
        Qt::DirectConnection);
}

LogWorker::~LogWorker()
{
    shutdown();
}

void LogWorker::waitFor(QThread *thread)
{
    thread->wait();
    workersEnded.load();
}

void LogWorker::shutdown()
{
    requestStop();
    stopLoad();
    if (exportThread) {
        waitFor(exportThread);
        delete exportThread;
    }
    // Nothing the workers left queued may reach an owner that is going.
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
}

bool LogWorker::isLoading() const
{
    return parseThread && !parseThread->isFinished();
}

void LogWorker::stopLoad()
{
    if (!parseThread)
        return;
    ++loadNumber;
    requestStop();
    waitFor(parseThread);
    delete parseThread;
    parseThread = nullptr;
    // The stopped load may have relayed batches that still wait in this
    // thread's queue; they belong to a file the store no longer holds.
    QCoreApplication::removePostedEvents(hub, QEvent::MetaCall);
}

void LogWorker::startReading(const std::function<void()> &body,
                             const std::function<void()> &ended)
{
    stopRequested.store(false);
    parseThread = QThread::create([this, body] {
        body();
        workersEnded.fetch_add(1);
    });
    if (ended) {
        connect(parseThread, &QThread::finished, this, [this, ended] {
            workersEnded.load();
            ended();
        });
    }
    parseThread->start(QThread::InheritPriority);
}

void LogWorker::requestStop()
{
    std::lock_guard<std::mutex> guard(flightLock);
    stopRequested.store(true);
    flightChanged.notify_all();
}

void LogWorker::relay(const QVector<Vemi_CANFD_Data> &batch)
{
    std::unique_lock<std::mutex> guard(flightLock);
    flightChanged.wait(guard, [this] {
        return inFlight < MaxBatchesInFlight || stopRequested.load();
    });
    ++inFlight;
    // Queued to the hub like its relayed signals, so in their order; dropped
    // with them when a stopped load's queue is cleared. Posted under the lock
    // the receiver takes first (landed()), so the hand-over of the batch is
    // ordered in a way ThreadSanitizer sees as well as Qt's queue orders it.
    QMetaObject::invokeMethod(
        hub,
        [this, batch] {
            landed();
            emit hub->dataParsed(batch);
        },
        Qt::QueuedConnection);
}

void LogWorker::landed()
{
    std::lock_guard<std::mutex> guard(flightLock);
    --inFlight;
    flightChanged.notify_all();
}

void LogWorker::load(const QString &path)
{
    stopLoad();
    store->clear();
    const quint64 number = ++loadNumber;
    {
        std::lock_guard<std::mutex> guard(flightLock);
        inFlight = 0;
    }
    // Queued: the batches the reader relayed arrive before this.
    startReading(
        [this, path] {
            hub->parseFile(path, stopRequested,
                           [this](const QVector<Vemi_CANFD_Data> &batch) { relay(batch); });
        },
        [this, number] {
            if (number == loadNumber)
                emit loadEnded();
        });
}

bool LogWorker::startStreaming(const QString &path, ExportFormat format, const QString &output,
                               const uint64_t *origin, std::shared_ptr<const FrameFilter> filter)
{
    if (isLoading() || exportThread)
        return false;
    stopLoad();
    stream = std::make_shared<FrameStream>();
    streamRead = std::make_shared<std::atomic<qint64>>(0);
    const std::shared_ptr<FrameStream> frames = stream;
    const std::shared_ptr<std::atomic<qint64>> read = streamRead;
    startReading([this, path, frames, read, filter] {
        BatchFilter passing(filter);
        hub->parseFile(path, stopRequested, [&](const QVector<Vemi_CANFD_Data> &batch) {
            read->fetch_add(batch.size(), std::memory_order_relaxed);
            const QVector<Vemi_CANFD_Data> passed = passing(batch);
            // The writer gave up: the rest of the file is not needed.
            if (!passed.isEmpty() && !frames->push(passed))
                stopRequested.store(true);
        });
        frames->finish();
    });
    const bool hasOrigin = origin != nullptr;
    const uint64_t start = origin ? *origin : 0;
    auto written = std::make_shared<bool>(false);
    auto failed = std::make_shared<Failure>();
    QThread *thread = QThread::create([this, frames, format, output, hasOrigin, start, written,
                                       failed] {
        *written = exporter->exportStream(*frames, format, output, hasOrigin ? &start : nullptr);
        *failed = {exporter->lastFailure(), exporter->lastSystemError()};
        workersEnded.fetch_add(1);
    });
    exportThread = thread;
    exportProgress.store(-1);
    connect(thread, &QThread::finished, this, [this, thread, frames, written, failed] {
        workersEnded.load();
        exportThread = nullptr;
        thread->deleteLater();
        failure = *failed;
        // The writer let the reader go; it ends at its next batch. Its last
        // signals wait in the queue: streamEnded comes after them.
        if (parseThread)
            waitFor(parseThread);
        const bool outOfOrder = frames->isOutOfOrder();
        QMetaObject::invokeMethod(
            this, [this, written, outOfOrder] { emit streamEnded(*written, outOfOrder); },
            Qt::QueuedConnection);
    });
    thread->start(QThread::InheritPriority);
    return true;
}

bool LogWorker::startScan(const QString &path, std::shared_ptr<const FrameFilter> filter)
{
    if (isLoading())
        return false;
    stopLoad();
    struct Scan
    {
        qint64 frames = 0;
        quint64 earliest = ~quint64(0);
    };
    auto scan = std::make_shared<Scan>();
    startReading(
        [this, path, scan, filter] {
            BatchFilter passing(filter);
            hub->parseFile(path, stopRequested,
                           [&scan, &passing](const QVector<Vemi_CANFD_Data> &batch) {
                               const QVector<Vemi_CANFD_Data> passed = passing(batch);
                               scan->frames += passed.size();
                               for (const Vemi_CANFD_Data &frame : passed)
                                   scan->earliest =
                                       std::min<quint64>(scan->earliest, frame.timestamp);
                           });
        },
        [this, scan] { emit scanEnded(scan->frames, scan->earliest); });
    return true;
}

qint64 LogWorker::streamedFramesRead() const
{
    return streamRead ? streamRead->load(std::memory_order_relaxed) : 0;
}

qint64 LogWorker::streamedFramesPassed() const
{
    return stream ? stream->framesGiven() : 0;
}

qint64 LogWorker::streamedFrames() const
{
    return stream ? stream->framesTaken() : 0;
}

bool LogWorker::startExport(const FrameSnapshot &frames, ExportFormat format, SortOrder order,
                            const QString &path)
{
    if (exportThread)
        return false;
    auto succeeded = std::make_shared<bool>(false);
    auto failed = std::make_shared<Failure>();
    QThread *thread = QThread::create([this, frames, format, order, path, succeeded, failed] {
        *succeeded = exporter->exportSnapshot(frames, format, order, path);
        *failed = {exporter->lastFailure(), exporter->lastSystemError()};
        workersEnded.fetch_add(1);
    });
    exportThread = thread;
    exportProgress.store(-1);
    connect(thread, &QThread::finished, this, [this, thread, succeeded, failed] {
        workersEnded.load();
        exportThread = nullptr;
        thread->deleteLater();
        failure = *failed;
        emit exportEnded(*succeeded);
    });
    thread->start(QThread::InheritPriority);
    return true;
}
