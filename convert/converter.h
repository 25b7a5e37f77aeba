#pragma once

#include <memory>

#include <QObject>
#include <QString>
#include <QVector>

#include "candataexporter.h"
#include "conversionplan.h"

class DataHub;
class FrameFilter;
class FrameStore;
class LogWorker;
class MessageDatabase;
class ProgressDisplay;
class ReadReport;

// Converts files one after the other with the window's worker, reader and
// exporter, so that a file is written byte for byte as the window writes the
// same frames. In frame order the reader's batches pass straight to the
// writer on another thread, so a log of any size converts in bounded memory;
// sorted, the log is loaded into a frame store and written from it, as the
// window does. Reports each file on standard error. A log that ends early
// (cut or damaged) is converted as far as it could be read and counts as
// failed, unless truncated logs are allowed.
class Converter final : public QObject
{
    Q_OBJECT

public:
    struct Settings
    {
        ExportFormat format = ExportFormat::Asc;
        SortOrder order = SortOrder::None;
        bool quiet = false;
        bool progress = false; // a redrawn status line while a file runs
        bool allowTruncated = false; // a log that ends early converts as a whole one
        // CSV output: message names, or a signal table instead of frames.
        std::shared_ptr<const MessageDatabase> database;
        SignalTable signalTable = SignalTable::None;
        // Only the frames it passes are written; none: every frame.
        std::shared_ptr<const FrameFilter> filter;
    };

    explicit Converter(const Settings &settings, QObject *parent = nullptr);
    ~Converter() override;

    // Converts every job in order; a failed file does not stop the others, an
    // interrupt does. True when every job converted.
    bool run(const QVector<ConversionJob> &jobs);
    // Instead of converting: the overview of input (of the frames the
    // filter passes) as CSV, to output, or to standard output when empty.
    bool overview(const QString &input, const QString &output);

    // The first interrupt stops a running parse through the stop flag, or lets
    // a running export finish (it cannot be stopped) and then removes its
    // file; no further file starts. A second interrupt removes the output
    // being written and ends the process at once.
    void interrupt(int signalNumber);
    // The signal that interrupted the run, 0 when none did.
    int interruptedBy() const { return interruptSignal; }

private:
    bool convert(const ConversionJob &job);
    // Reader and writer at once, the frames passing through a stream.
    bool stream(const ConversionJob &job, QString &problem, qint64 &frames);
    // The whole log into the store, then written sorted.
    bool loadAndWrite(const ConversionJob &job, QString &problem, qint64 &frames,
                      qint64 &written);
    // Reads input into the store; false, with the reason, when that failed.
    bool load(const QString &input, QString &problem, qint64 &frames);
    // The frames of the store the filter passes; the store lets go of them.
    FrameSnapshot takeFrames() const;
    // False, with the reason, when the input gave no frames.
    bool readSucceeded(const QString &input, qint64 frames, QString &problem) const;
    bool finishWrite(bool written, const QString &output, QString &problem);
    // After a whole conversion: false, with the reason, for a log that
    // ended early where that is not allowed.
    bool acceptEnd(const ConversionJob &job, qint64 frames, QString &problem) const;
    // Runs the event loop until the worker emits signal.
    template<typename Signal>
    void waitFor(Signal signal);
    bool removeOutputIfWritten();
    QString status() const;
    void report(const QString &line) const;
    void fail(const QString &path, const QString &problem) const;

    const Settings settings;
    DataHub *hub;
    FrameStore *store;
    CanDataExporter *exporter;
    LogWorker *worker;
    ProgressDisplay *display;
    ReadReport *reader;

    // The file held more frames than the store takes; what fits is converted.
    bool capacityReached = false;
    int interruptSignal = 0;

    // The file being converted, for the status line and for clean-up.
    QString currentInput;
    QString currentOutput;
    bool exporting = false;
    bool outputExisted = false;
};
