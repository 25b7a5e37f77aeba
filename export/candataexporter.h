#pragma once

#include <QObject>
#include <QString>
#include <QVector>

#include "exportformat.h"
#include "framesnapshot.h"
#include "vemi_canfd_data.h"

// Writes a vector of frames to one output file, optionally re-ordered by CAN
// identifier. Runs on a worker thread; keeps no state between calls.
class CanDataExporter final : public QObject
{
    Q_OBJECT

public:
    explicit CanDataExporter(QObject *parent = nullptr);

    // frames is the call's own copy: sorting never re-orders the caller's
    // vector. outputPath is used as it is. False for empty input, a file that
    // cannot be opened, a write that failed or a file removed while it was
    // written; an unknown format code leaves an empty file and succeeds.
    bool exportData(QVector<Vemi_CANFD_Data> frames, ExportFormat format, SortOrder order,
                    const QString &outputPath);
    // The same for the frames of a store's snapshot, which sorting leaves as
    // they are too.
    bool exportSnapshot(const FrameSnapshot &frames, ExportFormat format, SortOrder order,
                    const QString &outputPath);

signals:
    // After each frame that produced output: frames counted so far * 100 / total.
    void progressUpdated(int percent);
};
