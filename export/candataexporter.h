#pragma once

#include <QObject>
#include <QString>
#include <QVector>

#include "vemi_canfd_data.h"

// Output format code: the index of the window's format combo box.
enum class ExportFormat : quint8 { Asc = 0, Csv = 1, Blf = 2 };
// Identifier sort code: the index of the window's sort combo box. Any other
// value keeps the input order.
enum class SortOrder : quint8 { None = 0, Ascending = 1, Descending = 2 };

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

signals:
    // After each frame that produced output: frames counted so far * 100 / total.
    void progressUpdated(int percent);
};
