#pragma once

#include <vector>

#include <QString>
#include <QStringList>

#include "exportformat.h"

class IDataParser;

// One log format: how files of it are named, shown and offered, which reader
// reads them and which export code writes them. Every part that deals with
// formats - the dispatcher, the window's dialogs, the converter's plan and
// help, the bench - reads them from LogFormat::all(), so a new format is one
// row here plus its reader (and writer).
struct LogFormat
{
    // Lower case: the converter's --format name and the first of suffixes.
    const char *name;
    // As the window's format box and messages show it.
    const char *displayName;
    // Lower case, without the dot.
    std::vector<const char *> suffixes;
    // The save dialog's filter.
    const char *filter;
    IDataParser *(*createReader)();
    // The export code, the index of the window's format box; only where
    // writable.
    bool writable;
    ExportFormat exportFormat;

    // The suffix written files get, with its dot.
    QString dottedSuffix() const;

    static const std::vector<LogFormat> &all();
    // The row whose suffixes hold suffix (compared exactly; the dispatcher
    // lower-cases it first); null when none does.
    static const LogFormat *forSuffix(const QString &suffix);
    // The row named name, in any letter case; null when none is.
    static const LogFormat *forName(const QString &name);
    // The writable row of an export code; null for a code no format has.
    static const LogFormat *forExport(ExportFormat format);
    // "*.asc *.csv *.blf": every readable suffix as a file pattern.
    static QString readablePatterns();
    // "asc, csv or blf", "name" of each writable format.
    static QString writableNames();
    // ".asc, .csv or .blf": every readable suffix.
    static QString readableSuffixes();
    // The same for the writable formats.
    static QString writableSuffixes();
};
