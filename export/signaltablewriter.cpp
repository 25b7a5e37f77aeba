#include "signaltablewriter.h"

#include <vector>

#include <QTextStream>

#include "exportcontext.h"
#include "linebuffer.h"
#include "messagedatabase.h"

SignalTableWriter::SignalTableWriter(const MessageDatabase &names, SignalTable table)
    : database(names)
    , form(table)
{
    for (const DbcMessage &message : database.database().messages()) {
        Columns columns;
        columns.name = field(MessageDatabase::text(message.name));
        columns.first = signalCount;
        for (const DbcSignal &signal : message.signalList) {
            columns.signalNames << field(MessageDatabase::text(signal.name));
            columns.units << field(MessageDatabase::text(signal.unit));
        }
        signalCount += int(message.signalList.size());
        messages.append(columns);
    }
}

QString SignalTableWriter::field(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"'))
        && !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString SignalTableWriter::header() const
{
    QString line = QStringLiteral("Time,Message");
    if (form == SignalTable::Long)
        return line + QLatin1String(",Signal,Value,Unit\n");
    // The names are fields already; a dot joins them to one title.
    for (const Columns &message : messages) {
        for (const QString &signal : message.signalNames) {
            line += QLatin1Char(',');
            line += field(message.name + QLatin1Char('.') + signal);
        }
    }
    return line + QLatin1Char('\n');
}

void SignalTableWriter::write(const ExportContext &context, QTextStream &out)
{
    out << header();
    const std::vector<DbcMessage> &all = database.database().messages();
    std::vector<DbcDecodedSignal> values;
    LineBuffer seconds;
    QString line;
    int counted = 0;
    for (const Vemi_CANFD_Data &frame : context.inWritingOrder()) {
        if (out.status() != QTextStream::Ok)
            return;
        if (frame.isErrorEntry())
            continue;
        const DbcMessage *message = database.message(frame);
        if (message) {
            message->decode(frame.data, LineBuffer::payloadLength(frame), values);
            const Columns &columns = messages.at(int(message - all.data()));
            seconds.clear();
            seconds.appendSeconds(frame.timestamp - context.baseTimestamp);
            const QLatin1String time(seconds.data(), seconds.size());
            line.clear();
            if (form == SignalTable::Long) {
                for (std::size_t i = 0; i < values.size(); ++i) {
                    if (!values[i].present)
                        continue;
                    line += time + QLatin1Char(',') + columns.name + QLatin1Char(',')
                            + columns.signalNames.at(int(i)) + QLatin1Char(',')
                            + MessageDatabase::valueText(values[i].value) + QLatin1Char(',')
                            + columns.units.at(int(i)) + QLatin1Char('\n');
                }
            } else {
                line += time + QLatin1Char(',') + columns.name;
                line += QString(columns.first, QLatin1Char(','));
                for (const DbcDecodedSignal &value : values) {
                    line += QLatin1Char(',');
                    if (value.present)
                        line += MessageDatabase::valueText(value.value);
                }
                line += QString(signalCount - columns.first - int(values.size()),
                                QLatin1Char(','));
                line += QLatin1Char('\n');
            }
            out << line;
        }
        context.reportProgress(++counted);
    }
}
