#include "logworker.h"

#include <memory>

#include <QCoreApplication>
#include <QThread>

#include "candataexporter.h"
#include "datahub.h"
#include "framestore.h"

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
    stopRequested.store(true);
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
    stopRequested.store(true);
    waitFor(parseThread);
    delete parseThread;
    parseThread = nullptr;
    // The stopped load may have relayed batches that still wait in this
    // thread's queue; they belong to a file the store no longer holds.
    QCoreApplication::removePostedEvents(hub, QEvent::MetaCall);
}

void LogWorker::load(const QString &path)
{
    stopLoad();
    store->clear();
    stopRequested.store(false);
    parseThread = QThread::create([this, path] {
        hub->parseFile(path, stopRequested);
        workersEnded.fetch_add(1);
    });
    // Queued: the batches the reader relayed arrive before this.
    connect(parseThread, &QThread::finished, this, [this] {
        workersEnded.load();
        emit loadEnded();
    });
    parseThread->start(QThread::InheritPriority);
}

bool LogWorker::startExport(const FrameSnapshot &frames, ExportFormat format, SortOrder order,
                            const QString &path)
{
    if (exportThread)
        return false;
    auto succeeded = std::make_shared<bool>(false);
    QThread *thread = QThread::create([this, frames, format, order, path, succeeded] {
        *succeeded = exporter->exportSnapshot(frames, format, order, path);
        workersEnded.fetch_add(1);
    });
    exportThread = thread;
    exportProgress.store(-1);
    connect(thread, &QThread::finished, this, [this, thread, succeeded] {
        workersEnded.load();
        exportThread = nullptr;
        thread->deleteLater();
        emit exportEnded(*succeeded);
    });
    thread->start(QThread::InheritPriority);
    return true;
}
