#pragma once

#include <cstdint>

#include <QDateTime>
#include <QString>

#include "csvlayout.h"

class LineBuffer;
struct ExportContext;
class QTextStream;

// Writes the frames as comma-separated text: one translated header line, one
// line per frame. The clock time of a frame is the export's start time plus
// the frame's time since the earliest frame.
class CsvWriter final
{
public:
    // Stops early once the stream reports a failed write; the driver turns
    // that into the export's result.
    void write(const ExportContext &context, QTextStream &out);

    // The header line in the language installed at this moment.
    static QString header();
    static QString columnTitle(CsvColumn column);

private:
    // "HH:mm:ss:zzz" of start + elapsedMs.
    void appendClock(LineBuffer &line, uint64_t elapsedMs);
    // Milliseconds since local midnight of start + elapsedMs.
    int clockMsecs(uint64_t elapsedMs) const;
    void prepareClock(const ExportContext &context);

    QDateTime start;
    int startMsecsOfDay = 0;
    // Elapsed milliseconds before the next time-zone transition.
    uint64_t steadyUntilMs = ~uint64_t(0);
    uint64_t clockTextMs = ~uint64_t(0); // the elapsed time clockText shows
    char clockText[12] = {};
};
