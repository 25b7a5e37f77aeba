#pragma once

#include <QMap>
#include <QString>

#include "benchrunner.h"

// python-can, Debian's /usr/bin/python3, timed on the same files: reading ASC
// and BLF, writing ASC, BLF (level 6) and CSV from messages built before the
// clock starts, reading back its CSV (a dialect of its own), and converting
// ASC to BLF, BLF to ASC and its CSV to ASC as its logconvert does.
class PeerBench final
{
public:
    static QString python();
    static bool available();

    // One run of each operation, keyed as our rows are ("read ASC", "write
    // BLF", "convert ASC to BLF", ...); empty on failure.
    static QMap<QString, Measurement> run(const QString &ascPath, const QString &blfPath,
                                          const QString &outputDir);
};
