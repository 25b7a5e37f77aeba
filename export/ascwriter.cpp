#include "ascwriter.h"

#include <algorithm>
#include <array>

#include <QLocale>
#include <QTextStream>

#include "ascflags.h"
#include "exportcontext.h"
#include "linebuffer.h"
#include "textsink.h"
#include "vemi_canfd_data.h"

namespace {


// The eight fields after the data bytes of a CAN FD line: frame duration and
// bit count unknown, the flags, CRC unknown, the four bit timings unknown.
using FdTrailer = std::array<char, 18>;

constexpr FdTrailer fdTrailer(uint32_t flags)
{
    FdTrailer text{'0', ' ', '0', ' ', 0,   0,   0,   0,   ' ',
                   '0', ' ', '0', ' ', '0', ' ', '0', ' ', '0'};
    // FDF is always set: the flags have four digits.
    for (std::size_t i = 0; i < 4; ++i)
        text[4 + i] = "0123456789ABCDEF"[(flags >> (12 - 4 * i)) & 0xF];
    return text;
}

// One per pair of BRS (1) and ESI (2), made once: formatting the flags of each
// line would cost a tenth of the writer's time.
constexpr FdTrailer fdTrailers[4] = {
    fdTrailer(AscFlags::Fdf), fdTrailer(AscFlags::Fdf | AscFlags::Brs),
    fdTrailer(AscFlags::Fdf | AscFlags::Esi),
    fdTrailer(AscFlags::Fdf | AscFlags::Brs | AscFlags::Esi)};
static_assert(AscFlags::Fdf >= 0x1000 && (AscFlags::Fdf | AscFlags::Brs | AscFlags::Esi) <= 0xFFFF,
              "the flags of a CAN FD line have four hexadecimal digits");

void appendIdentifier(LineBuffer &line, const Vemi_CANFD_Data &frame)
{
    line.appendHex(frame.identifier());
    if (frame.isExtended())
        line.append('x');
}

// Only bit 6 of flags decides the direction in this format.
QLatin1String directionText(const Vemi_CANFD_Data &frame)
{
    return frame.isSent() ? QLatin1String("Tx") : QLatin1String("Rx");
}

// Fields separated by TABs, as earlier versions wrote them; every reader
// splits at any whitespace. The DLC of a classic frame is at most 8 and so is
// its payload: the bus carries no more.
void appendClassicLine(LineBuffer &line, const Vemi_CANFD_Data &frame)
{
    const int length = std::min(LineBuffer::payloadLength(frame), Vemi_CANFD_Data::MaxClassicLength);
    line.append('\t');
    line.appendDecimal(ExportContext::fileChannel(frame));
    line.append('\t');
    appendIdentifier(line, frame);
    line.append('\t');
    line.append(directionText(frame));
    line.append(frame.isRemote() ? QLatin1String("\tr\t") : QLatin1String("\td\t"));
    line.append(char('0' + length));
    line.append('\t');
    if (!frame.isRemote())
        line.appendPayload(frame, length);
}

// Fields separated by single spaces: a peer's reader finds the data and the
// fields after them by spaces and passes over a CAN FD line with TABs.
void appendFdLine(LineBuffer &line, const Vemi_CANFD_Data &frame)
{
    const int length = LineBuffer::payloadLength(frame);
    // Bit 0 of the protocol is the bit-rate switch, so protocol 1 counts as switched.
    const bool brs = (frame.protocol() & 1) != 0;
    const bool esi = (frame.errorFlags & Vemi_CANFD_Data::EsiBit) != 0;
    line.append(QLatin1String(" CANFD "));
    line.appendDecimal(ExportContext::fileChannel(frame));
    line.append(' ');
    line.append(directionText(frame));
    line.append(' ');
    appendIdentifier(line, frame);
    line.append(brs ? QLatin1String(" 1 ") : QLatin1String(" 0 "));
    line.append(esi ? QLatin1String("1 ") : QLatin1String("0 "));
    line.append("0123456789abcdef"[Vemi_CANFD_Data::lengthToDlc(length)]);
    line.append(' ');
    line.appendDecimal(uint64_t(length));
    line.append(' ');
    line.appendPayload(frame, length);
    // The remote bit has no place in a CAN FD frame.
    const FdTrailer &trailer = fdTrailers[(brs ? 1 : 0) | (esi ? 2 : 0)];
    line.append(QLatin1String(trailer.data(), int(trailer.size())));
}

} // namespace

AscWriter::AscWriter(const QDateTime &dated)
    : moment(dated)
{
}

QString AscWriter::dateText(const QDateTime &moment)
{
    // "hh" with "ap" is the 12-hour clock, 12 for the hour after midnight and
    // after noon.
    return QLocale(QLocale::English)
        .toString(moment, QStringLiteral("ddd MMM dd hh:mm:ss.zzz ap yyyy"));
}

void AscWriter::write(const ExportContext &context, QTextStream &out) const
{
    const QString date = dateText(moment);
    out << "date " << date << '\n'
        << "base hex  timestamps absolute\n"
        << "internal events logged\n"
        << "// version 11.0.0\n"
        << "Begin Triggerblock " << date << '\n';

    {
        TextSink sink(out);
        if (!writeFrames(context, sink))
            return;
    }
    out << "End TriggerBlock\n";
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
        line.clear();
        line.appendSeconds(frame.timestamp - context.baseTimestamp);
        if (frame.protocol() == Vemi_CANFD_Data::ProtocolCan)
            appendClassicLine(line, frame);
        else
            appendFdLine(line, frame);
        line.append('\n');
        sink.write(line);
        context.reportProgress(counted);
    }
    return true;
}
