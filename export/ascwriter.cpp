#include "ascwriter.h"

#include <QLocale>
#include <QTextStream>

#include "exportcontext.h"
#include "linebuffer.h"
#include "textsink.h"
#include "vemi_canfd_data.h"

namespace {

void appendIdentifier(LineBuffer &line, const Vemi_CANFD_Data &frame)
{
    line.appendHex(frame.identifier());
    if (frame.isExtended())
        line.append('x');
}

// Only bit 6 of flags decides the direction in this format.
QLatin1String directionText(const Vemi_CANFD_Data &frame)
{
    return (frame.flags & 0x40) != 0 ? QLatin1String("Tx") : QLatin1String("Rx");
}

void appendClassicLine(LineBuffer &line, const Vemi_CANFD_Data &frame, int length)
{
    line.append(QLatin1String("\t1\t"));
    appendIdentifier(line, frame);
    line.append('\t');
    line.append(directionText(frame));
    line.append(frame.isRemote() ? QLatin1String("\tr\t") : QLatin1String("\td\t"));
    line.appendDecimal(uint64_t(length));
    line.append('\t');
    if (!frame.isRemote())
        line.appendPayload(frame);
}

void appendFdLine(LineBuffer &line, const Vemi_CANFD_Data &frame, int length)
{
    line.append(QLatin1String("\tCANFD\t1\t"));
    line.append(directionText(frame));
    line.append('\t');
    appendIdentifier(line, frame);
    line.append('\t');
    // Bit 0 of the protocol is the bit-rate switch, so protocol 1 counts as switched.
    line.append(char('0' + (frame.protocol() & 1)));
    line.append('\t');
    line.append(char('0' + (frame.errorFlags >> 7)));
    line.append('\t');
    line.appendDecimal(uint64_t(AscWriter::lengthToDlc(length)));
    line.append('\t');
    line.appendDecimal(uint64_t(length));
    line.append('\t');
    line.appendPayload(frame);
}

} // namespace

AscWriter::AscWriter(const QDateTime &dated)
    : moment(dated)
{
}

QString AscWriter::dateText(const QDateTime &moment)
{
    QString text = QLocale(QLocale::English)
                       .toString(moment, QStringLiteral("ddd MMM dd hh:mm:ss AP yyyy"));
    return text.replace(11, 8, moment.toString(QStringLiteral("hh:mm:ss")));
}

int AscWriter::lengthToDlc(int length)
{
    switch (length) {
    case 12: return 9;
    case 16: return 10;
    case 20: return 11;
    case 24: return 12;
    case 32: return 13;
    case 48: return 14;
    case 64: return 15;
    default: return length;
    }
}

void AscWriter::write(const ExportContext &context, QTextStream &out) const
{
    out << "date " << dateText(moment) << "\t\n"
        << "base hex timestamps absolute\t\n"
        << "//version 11.0.0\t\n";

    {
        TextSink sink(out);
        if (!writeFrames(context, sink))
            return;
    }
    out << "End Triggerblock\n";
}

bool AscWriter::writeFrames(const ExportContext &context, TextSink &sink)
{
    LineBuffer line;
    int counted = 0;
    for (const Vemi_CANFD_Data &frame : context.inWritingOrder()) {
        if (!sink.ok())
            return false;
        ++counted;
        if (frame.isErrorEntry())
            continue;
        const int length = LineBuffer::payloadLength(frame);
        line.clear();
        line.appendSeconds(frame.timestamp - context.baseTimestamp);
        if (frame.protocol() == Vemi_CANFD_Data::ProtocolCan)
            appendClassicLine(line, frame, length);
        else
            appendFdLine(line, frame, length);
        line.append('\n');
        sink.write(line);
        context.reportProgress(counted);
    }
    return true;
}
