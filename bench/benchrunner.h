#pragma once

#include <functional>

#include <QString>
#include <QStringList>
#include <QVector>

#include "candataexporter.h"
#include "vemi_canfd_data.h"

// One operation's figures: the median time of its runs, the frames it moved
// and the file bytes it read or wrote.
struct Measurement
{
    bool ok = false;
    double seconds = 0;
    qint64 frames = 0;
    qint64 bytes = 0;

    double framesPerSecond() const { return seconds > 0 ? double(frames) / seconds : 0; }
    double megabytesPerSecond() const { return seconds > 0 ? double(bytes) / 1e6 / seconds : 0; }
};

// What one fresh process reports after loading a file into a DataModel, and
// after converting the frames to the two other formats when asked.
struct LoadReport
{
    bool ok = false;
    qint64 rows = 0;
    double loadSeconds = 0;
    qint64 idleResident = 0; // bytes, before the load
    qint64 loadPeak = 0;     // bytes, peak resident after the load
    qint64 convertPeak = 0;  // bytes, peak resident after the conversions
    QStringList conversions; // "<format> <seconds> <bytes>"
};

// Times our readers and writers the way the program drives them.
class BenchRunner final
{
public:
    using Operation = std::function<Measurement()>;

    // End to end: DataHub::parseFile on a QThread::create worker, the batches
    // queued to a DataModel on this thread, until the last row is in.
    static Measurement read(const QString &path);
    // CanDataExporter::exportData called here, nothing listening to progress.
    static Measurement write(const QVector<Vemi_CANFD_Data> &frames, ExportFormat format,
                             SortOrder order, const QString &path);
    // exportData on a worker thread with a progress receiver on this thread,
    // as the window connects its progress bar; until the last value arrived.
    static Measurement writeWithProgressReceiver(const QVector<Vemi_CANFD_Data> &frames,
                                                 ExportFormat format, const QString &path);

    // The median of each measurement's times. Measurements of one operation
    // come from different rounds, each of which ran every operation once, so
    // that a machine busy with other work for a while weighs on all alike.
    static Measurement median(const QVector<Measurement> &runs);

    // Runs this program again as a child that loads path (and converts into
    // convertDir when it is not empty), so that its peak memory is its own.
    static LoadReport loadInChild(const QString &path, const QString &convertDir);
    // The child's side of loadInChild; returns the exit code.
    static int childMain(const QStringList &arguments);

};
