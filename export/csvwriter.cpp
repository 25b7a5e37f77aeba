#include "csvwriter.h"

#include <algorithm>
#include <cstring>

#include <QStringList>
#include <QTextCodec>
#include <QTextStream>
#include <QTimeZone>

#include "candataexporter.h"
#include "decimaltext.h"
#include "exportcontext.h"
#include "linebuffer.h"
#include "messagedatabase.h"
#include "textsink.h"
#include "vemi_canfd_data.h"

namespace {

constexpr int64_t msecsPerDay = 24 * 3600 * 1000;
// A line has room for the longest frame and a name of this many bytes.
constexpr int MaxNameBytes = 200;

// ",protocol,remote,extended," for every value of the three.
struct FlagTexts
{
    char texts[16][8];
};

constexpr FlagTexts makeFlagTexts()
{
    FlagTexts table{};
    for (int i = 0; i < 16; ++i) {
        const char text[8] = {',', char('0' + (i >> 2)), ',', char('0' + ((i >> 1) & 1)), ',',
                              char('0' + (i & 1)), ',', 0};
        for (int k = 0; k < 8; ++k)
            table.texts[i][k] = text[k];
    }
    return table;
}

constexpr FlagTexts flagTexts = makeFlagTexts();

void appendErrorEntry(LineBuffer &line, const Vemi_CANFD_Data &frame)
{
    line.append(QLatin1String("2,"));
    line.appendDecimal(frame.timestamp);
    line.append(QLatin1String(",,,,,,,"));
    line.appendPayload(frame);
}

} // namespace

QString CsvWriter::columnTitle(CsvColumn column)
{
    const QLatin1String open("(0:"), one("1:"), close(")");
    switch (column) {
    case CsvColumn::Direction:
        return CanDataExporter::tr("Direction") + open + CanDataExporter::tr("Rx ") + one
               + CanDataExporter::tr("Tx ") + QLatin1String("2:") + CanDataExporter::tr("Error")
               + close;
    case CsvColumn::Time: return CanDataExporter::tr("Time");
    case CsvColumn::Name: return CanDataExporter::tr("Name");
    case CsvColumn::Id: return QStringLiteral("ID(HEX)");
    case CsvColumn::CanType:
        return CanDataExporter::tr("CAN type") + QLatin1String("(0:CAN 2:CANFD 3:")
               + CanDataExporter::tr("FD BRS") + close;
    case CsvColumn::FrameFormat:
        return CanDataExporter::tr("Frame format") + open + CanDataExporter::tr("Data frame ")
               + one + CanDataExporter::tr("Remote frame") + close;
    case CsvColumn::FrameType:
        return CanDataExporter::tr("Frame type") + open + CanDataExporter::tr("Standard frame ")
               + one + CanDataExporter::tr("Extend frame") + close;
    case CsvColumn::Length: return CanDataExporter::tr("Length");
    case CsvColumn::Data: return CanDataExporter::tr("Data");
    }
    return QString();
}

QString CsvWriter::header()
{
    QStringList titles;
    for (int column = 0; column < CsvColumnCount; ++column)
        titles << columnTitle(CsvColumn(column));
    return titles.join(QLatin1Char(',')) + QLatin1Char('\n');
}

void CsvWriter::prepareClock(const ExportContext &context)
{
    start = context.exportStartTime;
    startMsecsOfDay = start.time().msecsSinceStartOfDay();
    // Until the next time-zone transition after the start, the clock time is
    // plain arithmetic, without a calendar lookup per frame.
    steadyUntilMs = ~uint64_t(0);
    const QTimeZone zone = QTimeZone::systemTimeZone();
    if (start.timeSpec() == Qt::LocalTime && zone.hasTransitions()) {
        const QDateTime next = zone.nextTransition(start).atUtc;
        if (next.isValid())
            steadyUntilMs = uint64_t(std::max<qint64>(start.msecsTo(next), 0));
    }
}

void CsvWriter::appendClock(LineBuffer &line, uint64_t elapsedMs)
{
    // Frames come a few to the millisecond: the text of the last one serves again.
    if (elapsedMs != clockTextMs) {
        DecimalText::writeClock(clockMsecs(elapsedMs), clockText);
        clockTextMs = elapsedMs;
    }
    line.append(QLatin1String(clockText, int(sizeof clockText)));
}

int CsvWriter::clockMsecs(uint64_t elapsedMs) const
{
    if (elapsedMs < steadyUntilMs)
        return int((uint64_t(startMsecsOfDay) + elapsedMs) % msecsPerDay);
    return start.addMSecs(qint64(elapsedMs)).time().msecsSinceStartOfDay();
}

void CsvWriter::prepareNames(const ExportContext &context, QTextStream &out, bool direct)
{
    names.clear();
    if (!context.database)
        return;
    for (const DbcMessage &message : context.database->database().messages()) {
        QString name = MessageDatabase::text(message.name);
        QByteArray bytes;
        // Bytes that go to the file directly are in the stream's encoding;
        // through the stream they pass as Latin-1 text.
        for (;;) {
            bytes = direct ? out.codec()->fromUnicode(name) : name.toLatin1();
            if (bytes.size() <= MaxNameBytes)
                break;
            name.chop(1);
        }
        if (!bytes.isEmpty())
            names.insert(message.key(), bytes);
    }
}

void CsvWriter::appendName(LineBuffer &line, const Vemi_CANFD_Data &frame) const
{
    const auto found = names.constFind(DbcMessage::key(frame.identifier(), frame.isExtended()));
    if (found == names.constEnd())
        line.append(' ');
    else
        line.append(QLatin1String(found->constData(), found->size()));
}

void CsvWriter::write(const ExportContext &context, QTextStream &out)
{
    out << header();
    prepareClock(context);

    TextSink sink(out);
    prepareNames(context, out, sink.route() == TextSink::Route::Direct);
    LineBuffer line;
    int counted = 0;
    for (const Vemi_CANFD_Data &frame : context.inWritingOrder()) {
        if (!sink.ok())
            return;
        line.clear();
        if (frame.isErrorEntry()) {
            appendErrorEntry(line, frame);
            line.append('\n');
            sink.write(line);
            continue;
        }
        // The columns in the order of the layout; the three flag columns
        // come as one text.
        static_assert(int(CsvColumn::Time) == int(CsvColumn::Direction) + 1
                          && int(CsvColumn::Name) == int(CsvColumn::Time) + 1
                          && int(CsvColumn::Id) == int(CsvColumn::Name) + 1
                          && int(CsvColumn::CanType) == int(CsvColumn::Id) + 1
                          && int(CsvColumn::FrameType) == int(CsvColumn::CanType) + 2
                          && int(CsvColumn::Length) == int(CsvColumn::FrameType) + 1
                          && int(CsvColumn::Data) == int(CsvColumn::Length) + 1,
                      "the line below writes the columns in the layout's order");
        line.append(char('0' + frame.direction()));
        line.append(',');
        appendClock(line, (frame.timestamp - context.baseTimestamp) / 1000);
        line.append(',');
        appendName(line, frame);
        line.append(QLatin1String(",0x"));
        line.appendHex(frame.identifier(), 8);
        const int flags = frame.protocol() << 2 | (frame.isRemote() ? 2 : 0)
                          | (frame.isExtended() ? 1 : 0);
        line.append(QLatin1String(flagTexts.texts[flags], 7));
        line.appendDecimal(uint64_t(LineBuffer::payloadLength(frame)));
        line.append(',');
        line.appendPayload(frame);
        line.append('\n');
        sink.write(line);
        context.reportProgress(++counted);
    }
}
