#pragma once

#include <cstdint>

#include <QDateTime>
#include <QString>

struct ExportContext;
class QTextStream;
class TextSink;

// Writes the frames as an ASC bus log in the layout measurement tools write:
// the header lines and an opening trigger block, one line per frame, the
// block's closing line. Error entries produce no line.
class AscWriter final
{
public:
    // moment: the local time the header's date lines show.
    explicit AscWriter(const QDateTime &moment);

    // Stops early once the stream reports a failed write; the driver turns
    // that into the export's result.
    void write(const ExportContext &context, QTextStream &out) const;

    // The date of the header and the trigger block: English weekday and month
    // names, milliseconds, the 12-hour clock with its am or pm.
    static QString dateText(const QDateTime &moment);

private:
    // False when a write failed.
    static bool writeFrames(const ExportContext &context, TextSink &sink);

    QDateTime moment;
};
