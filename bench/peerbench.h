#pragma once

#include <QMap>
#include <QString>

#include "benchrunner.h"

// python-can, Debian's /usr/bin/python3, timed on the same files: reading ASC
// and BLF, writing ASC and BLF (level 6) from messages built before the clock
// starts.
class PeerBench final
{
public:
    static QString python();
    static bool available();

    // One run of each operation. Keys "read ASC", "read BLF", "write ASC",
    // "write BLF"; empty on failure.
    static QMap<QString, Measurement> run(const QString &ascPath, const QString &blfPath,
                                          const QString &outputDir);
};
