#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include "exportformat.h"

class MessageDatabase;
struct ExportContext;
class QTextStream;

// Writes the signals that a database decodes from the frames as
// comma-separated text, one header line first. The time is the frame's
// seconds since the earliest frame ("%.6f"); frames that no message of the
// database describes, and error entries, give no line.
//   Wide: Time,Message, then one column per signal of every message of the
//         database, titled Message.Signal; a frame fills its message's
//         columns with physical values and leaves the others empty.
//   Long: Time,Message,Signal,Value,Unit, one line per signal the frame
//         carries.
// The titles are fixed words, for programs that read the table.
class SignalTableWriter final
{
public:
    SignalTableWriter(const MessageDatabase &database, SignalTable form);

    // Stops early once the stream reports a failed write.
    void write(const ExportContext &context, QTextStream &out);

    // A field as CSV quotes it where it must: in double quotes, doubled
    // inside, when it holds a comma, a quote or a line end.
    static QString field(const QString &text);

private:
    // What the lines need of one message, made once.
    struct Columns
    {
        QString name;
        int first = 0; // its first signal's column among all signals (Wide)
        QStringList signalNames;
        QStringList units;
    };

    QString header() const;

    const MessageDatabase &database;
    const SignalTable form;
    QVector<Columns> messages; // in the database's order
    int signalCount = 0;
};
