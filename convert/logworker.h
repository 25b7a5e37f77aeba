#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include <QObject>
#include <QPointer>
#include <QString>
#include <QThread>

#include "candataexporter.h"
#include "exportformat.h"
#include "framesnapshot.h"

class FrameFilter;
class FrameStream;

class DataHub;
class FrameStore;

// Loads a log into a frame store and writes frames to a new log, each on a
// worker thread of its own: the one road the window and tavrix-convert both
// take. At most one load and one export run at a time. A load is stopped
// cooperatively through the stop flag, and whatever it left queued for the
// store is dropped; an export runs to its end. Lives on the thread of the
// hub, the store and the exporter, which must outlive it or see shutdown()
// first.
class LogWorker final : public QObject
{
    Q_OBJECT

public:
    LogWorker(DataHub *hub, FrameStore *store, CanDataExporter *exporter,
              QObject *parent = nullptr);
    ~LogWorker() override;

    // Stops a running load, empties the store, and reads path into it.
    void load(const QString &path);
    // Stops a running load and waits for it; the batches it relayed that
    // still wait in this thread's queue are dropped.
    void stopLoad();
    // Asks a running load to stop at its next line or object, without waiting.
    void requestStop();
    bool isLoading() const;

    // Writes frames on a worker thread; false, and nothing started, while
    // another export runs.
    bool startExport(const FrameSnapshot &frames, ExportFormat format, SortOrder order,
                     const QString &path);
    bool isExporting() const { return exportThread != nullptr; }
    // The export's last percentage, -1 before its first frame.
    int exportPercent() const { return exportProgress.load(std::memory_order_relaxed); }
    // Why the last export or stream failed, as the exporter told it; set
    // before exportEnded and streamEnded.
    CanDataExporter::Failure exportFailure() const { return failure.kind; }
    QString exportSystemError() const { return failure.systemError; }

    // Reads path and writes its frames to output as they come, the reader
    // and the writer each on a thread of their own, without a store: a log
    // of any size passes in bounded memory. origin, when given, is the time
    // origin, else the first frame's time; a later frame before it voids the
    // output (streamEnded's outOfOrder), and a second run with the log's
    // earliest time (scan) is needed. With filter, only the frames it passes
    // go to the writer. False while a load or export runs.
    bool startStreaming(const QString &path, ExportFormat format, const QString &output,
                        const uint64_t *origin = nullptr,
                        std::shared_ptr<const FrameFilter> filter = nullptr);
    // Reads path for its earliest time and frame count, keeping nothing;
    // with filter, of the frames it passes.
    bool startScan(const QString &path, std::shared_ptr<const FrameFilter> filter = nullptr);
    // Frames the running or last stream read, those it passed to the writer
    // (all of them without a filter), and those the writer took.
    qint64 streamedFramesRead() const;
    qint64 streamedFramesPassed() const;
    qint64 streamedFrames() const;

    // Stops a load and waits for both workers: what the owner calls before
    // the hub, the store or the exporter go.
    void shutdown();

signals:
    // The load's thread has ended; every batch it relayed was delivered first.
    // Not for a load that stopLoad() or the next load() stopped.
    void loadEnded();
    // The export's thread has ended; success is the exporter's result.
    void exportEnded(bool success);
    // Both threads of a stream have ended, after the reader's last signal.
    void streamEnded(bool written, bool outOfOrder);
    // The scan's thread has ended, after the reader's last signal.
    void scanEnded(qint64 frames, quint64 earliest);

private:
    // What the exporter said of its last call, carried off its thread.
    struct Failure
    {
        CanDataExporter::Failure kind = CanDataExporter::Failure::None;
        QString systemError;
    };

    void waitFor(QThread *thread);
    // Runs body on a new reader's thread, with the stop flag cleared; ended,
    // when given, runs queued on this thread once the thread has ended. It
    // is connected before the thread starts: a short read may end at once.
    void startReading(const std::function<void()> &body,
                      const std::function<void()> &ended = {});
    // On the reader's thread: waits while too many of its batches wait for
    // this thread, then sends batch on through the hub.
    void relay(const QVector<Vemi_CANFD_Data> &batch);
    void landed();

    DataHub *hub;
    FrameStore *store;
    CanDataExporter *exporter;
    QThread *parseThread = nullptr;
    // Counts the loads started and stopped, so that the end of one that was
    // stopped, still queued, is told from the running one's.
    quint64 loadNumber = 0;
    Failure failure;
    QPointer<QThread> exportThread;
    std::shared_ptr<FrameStream> stream;
    std::shared_ptr<std::atomic<qint64>> streamRead;
    std::atomic<bool> stopRequested{false};
    // Batches the reader has sent that this thread has not taken yet: a
    // reader faster than the store waits, so memory does not pile up.
    static constexpr int MaxBatchesInFlight = 16;
    std::mutex flightLock;
    std::condition_variable flightChanged;
    int inFlight = 0;
    // Each worker counts itself out as its last step, and whoever waited for
    // one reads the count: the order that QThread::wait() and the finished
    // signal guarantee, in a form ThreadSanitizer sees (Qt's locks it cannot).
    std::atomic<int> workersEnded{0};
    // Set on the export thread once per frame; read when the bar or the
    // status line is drawn, so no event is queued per frame.
    std::atomic<int> exportProgress{-1};
};
