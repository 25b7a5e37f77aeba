#pragma once

#include <cstdint>

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>

#include "csvlayout.h"

class LineBuffer;
struct ExportContext;
class QTextStream;
struct Vemi_CANFD_Data;

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
    // The message names of the context's database as the file stores them;
    // direct: the lines reach the file as bytes, not through the stream.
    void prepareNames(const ExportContext &context, QTextStream &out, bool direct);
    // The frame's message name, or the one blank of a frame without one.
    void appendName(LineBuffer &line, const Vemi_CANFD_Data &frame) const;

    QDateTime start;
    int startMsecsOfDay = 0;
    // Elapsed milliseconds before the next time-zone transition.
    uint64_t steadyUntilMs = ~uint64_t(0);
    uint64_t clockTextMs = ~uint64_t(0); // the elapsed time clockText shows
    char clockText[12] = {};
    QHash<uint32_t, QByteArray> names; // by DbcMessage::key
};
