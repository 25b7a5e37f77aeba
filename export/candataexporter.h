#pragma once

#include <QObject>
#include <QString>
#include <QVector>

#include "exportformat.h"
#include "framesnapshot.h"
#include "framestream.h"
#include "vemi_canfd_data.h"

struct ExportContext;

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
    // Writes the frames of stream in the order they come, as exportData
    // writes the same frames unsorted, without holding them. The time origin
    // is origin when given, else the first frame's time; a frame before it
    // voids the export (stream.isOutOfOrder()). Without frames it returns
    // false and touches no file.
    bool exportStream(FrameStream &stream, ExportFormat format, const QString &outputPath,
                      const uint64_t *origin = nullptr);

signals:
    // After each frame that produced output: frames counted so far * 100 / total.
    void progressUpdated(int percent);

private:
    bool writeFile(ExportContext &context, ExportFormat format, const QString &outputPath);
};
