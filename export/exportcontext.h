#pragma once

#include <cstdint>
#include <functional>

#include <QDateTime>
#include <QString>
#include <QVector>

#include "vemi_canfd_data.h"

class QFile;

// What the export driver prepares once per call and every writer uses. It
// lives only for the duration of one export.
struct ExportContext
{
    // The call's own copy of the frames, sorted when asked.
    QVector<Vemi_CANFD_Data> frames;
    // Frame count, error entries included.
    int total = 0;
    // Smallest timestamp of all frames, error entries included; writers give
    // times relative to it.
    uint64_t baseTimestamp = 0;
    // Local time when the export began: the CSV writer's clock base.
    QDateTime exportStartTime;
    // Created or truncated, open for writing in text mode.
    QFile *file = nullptr;
    QString outputPath;
    // Receives each percentage the progress rule yields.
    std::function<void(int percent)> progress;

    // The one progress rule, applied after each frame that produced output:
    // counted frames times 100 over total, truncated. 64-bit so that millions
    // of frames cannot overflow the product.
    void reportProgress(int counted) const
    {
        if (progress && total > 0)
            progress(int(int64_t(counted) * 100 / total));
    }
};
