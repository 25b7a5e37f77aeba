#pragma once

#include <cstdint>

#include <QDateTime>
#include <QString>

struct ExportContext;
class QTextStream;
class TextSink;

// Writes the frames as an ASC bus log: three header lines, one TAB-separated
// line per frame, a closing line. Error entries produce no line.
class AscWriter final
{
public:
    // moment: the local time the header's date line shows.
    explicit AscWriter(const QDateTime &moment);

    // Stops early once the stream reports a failed write; the driver turns
    // that into the export's result.
    void write(const ExportContext &context, QTextStream &out) const;

    // The date line's text: English weekday and month names, the AM/PM marker
    // of the 12-hour clock, but the time itself on the 24-hour clock.
    static QString dateText(const QDateTime &moment);
    // CAN FD DLC code of a payload length; lengths off the table keep their value.
    static int lengthToDlc(int length);

private:
    // False when a write failed.
    static bool writeFrames(const ExportContext &context, TextSink &sink);

    QDateTime moment;
};
