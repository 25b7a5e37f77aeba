#include "candumpwriter.h"

#include <algorithm>

#include <QTextStream>

#include "candumplayout.h"
#include "exportcontext.h"
#include "linebuffer.h"
#include "textsink.h"
#include "vemi_canfd_data.h"

namespace {

// candump pads the seconds to ten digits.
constexpr int SecondsDigits = 10;
constexpr uint64_t MicrosPerSecond = 1000000;

void appendTime(LineBuffer &line, uint64_t micros)
{
    int digits = 1;
    for (uint64_t seconds = micros / MicrosPerSecond; seconds >= 10; seconds /= 10)
        ++digits;
    line.append('(');
    for (; digits < SecondsDigits; ++digits)
        line.append('0');
    line.appendSeconds(micros);
    line.append(QLatin1String(") "));
}

// A standard identifier of more than three digits can only be written as an
// extended one; it reads back extended.
void appendIdentifier(LineBuffer &line, const Vemi_CANFD_Data &frame)
{
    const bool standard = !frame.isExtended() && frame.identifier() <= 0xFFF;
    line.appendHex(frame.identifier(), standard ? CandumpLayout::StandardIdDigits
                                                : CandumpLayout::ExtendedIdDigits);
}

} // namespace

void CandumpWriter::appendLine(LineBuffer &line, const Vemi_CANFD_Data &frame)
{
    appendTime(line, frame.timestamp);
    line.append(QLatin1String(CandumpLayout::InterfacePrefix));
    line.appendDecimal(uint64_t(ExportContext::fileChannel(frame) - 1));
    line.append(' ');
    appendIdentifier(line, frame);
    line.append('#');
    const int length = LineBuffer::payloadLength(frame);
    if (frame.protocol() != Vemi_CANFD_Data::ProtocolCan) {
        // The remote bit has no place in a CAN FD frame; bit 0 of the
        // protocol is the bit-rate switch, so protocol 1 counts as switched.
        const int flags = (frame.protocol() & 1 ? CandumpLayout::Brs : 0)
                          | (frame.errorFlags & Vemi_CANFD_Data::EsiBit ? CandumpLayout::Esi : 0);
        line.append('#');
        line.append("0123456789ABCDEF"[flags]);
        line.appendHexBytes(frame, length);
    } else if (frame.isRemote()) {
        line.append('R');
        if (frame.length > 0)
            line.append(char('0' + std::min(length, Vemi_CANFD_Data::MaxClassicLength)));
    } else {
        line.appendHexBytes(frame, std::min(length, Vemi_CANFD_Data::MaxClassicLength));
    }
    line.append(' ');
    line.append(frame.direction() == 1 ? CandumpLayout::Sent : CandumpLayout::Received);
    line.append('\n');
}

void CandumpWriter::write(const ExportContext &context, QTextStream &out) const
{
    TextSink sink(out);
    LineBuffer line;
    int counted = 0;
    for (const Vemi_CANFD_Data &frame : context.inWritingOrder()) {
        if (!sink.ok())
            return;
        ++counted;
        if (frame.isErrorEntry())
            continue;
        line.clear();
        appendLine(line, frame);
        sink.write(line);
        context.reportProgress(counted);
    }
}
