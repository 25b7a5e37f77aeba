#pragma once

#include <functional>

#include <QString>
#include <QStringList>
#include <QVector>

#include "candataexporter.h"
#include "loadreport.h"
#include "measurement.h"
#include "vemi_canfd_data.h"

// Times our readers and writers the way the program drives them.
class BenchRunner final
{
public:
    using Operation = std::function<Measurement()>;

    // End to end: DataHub::parseFile on a QThread::create worker, the batches
    // queued to a frame store on this thread, until the last frame is in.
    static Measurement read(const QString &path);
    // The window's first rows: from LogWorker::load until the store's first
    // framesAppended, the load then stopped. frames is the rows that came first.
    static Measurement firstRows(const QString &path);
    // CanDataExporter::exportData called here, nothing listening to progress.
    static Measurement write(const QVector<Vemi_CANFD_Data> &frames, ExportFormat format,
                             SortOrder order, const QString &path);
    // exportData on a worker thread with a progress receiver on this thread,
    // as the window connects its progress bar; until the last value arrived.
    static Measurement writeWithProgressReceiver(const QVector<Vemi_CANFD_Data> &frames,
                                                 ExportFormat format, const QString &path);

    // The window's conversion: path read into a store as read() does, then
    // the table's frames exported to out; both times together.
    static Measurement readThenWrite(const QString &path, ExportFormat format, const QString &out);
    // tavrix-convert -q path -o out in a process of its own, start-up included.
    static Measurement convertProcess(const QString &path, const QString &out);

    // The median of each measurement's times. Measurements of one operation
    // come from different rounds, each of which ran every operation once, so
    // that a machine busy with other work for a while weighs on all alike.
    static Measurement median(const QVector<Measurement> &runs);

    // Runs this program again as a child that loads path, so that its peak
    // memory is its own.
    static LoadReport loadInChild(const QString &path);
    // The child's side of loadInChild; returns the exit code.
    static int childMain(const QStringList &arguments);
};
