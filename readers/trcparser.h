#pragma once

#include <string>

#include <QLatin1String>

#include "idataparser.h"

struct Vemi_CANFD_Data;

// Reads PEAK trace files (.trc) of file versions 1.0 to 2.1: classic data and
// remote frames, and from version 2.0 on CAN FD frames, received or sent. The
// header line ";$FILEVERSION=" sets the columns of the records, and in
// version 2 files ";$COLUMNS=" may set them otherwise. Error frames, status,
// warning, error counter and event records, comments and lines of any other
// form are passed over in silence. A frame's time is its offset from the
// start of the trace, and its channel the record's bus number (1 in files
// without a bus column).
class TrcParser final : public IDataParser
{
    Q_OBJECT

public:
    // The columns of a file's records, one letter each, in their order: N
    // number, O time offset in milliseconds, T type (DT, FD, FB, FE, BI, RR,
    // ...), B bus, I identifier, d direction (Rx, Tx; in version 1 files, the
    // type column), R reserved, L DLC, l data length in bytes, D the data
    // bytes, always last. Other letters are columns read over.
    struct Layout
    {
        std::string columns = "NOIlD"; // version 1.0, the one without a header
        bool named = false;            // set by ";$COLUMNS="
    };

    TrcParser();
    ~TrcParser() override;

    bool parse(const QString &filePath, std::atomic<bool> &stopRequested) override;

    // Takes a trimmed header line ";$FILEVERSION=..." or ";$COLUMNS=..." into
    // layout; any other line, an unknown version and a column list the
    // records cannot be read by leave it as it is.
    static void readHeaderLine(QLatin1String line, Layout &layout);
    // Fills a zeroed record from one trimmed record line; false, with the
    // record left zero, when the line holds no CAN frame.
    static bool parseLine(QLatin1String line, const Layout &layout, Vemi_CANFD_Data &frame);
};
