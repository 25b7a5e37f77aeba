#include "candumpparser.h"

#include <algorithm>
#include <cstring>

#include "candumplayout.h"
#include "linesource.h"
#include "textlogreader.h"
#include "textnumber.h"
#include "texttokens.h"
#include "vemi_canfd_data.h"

namespace {

constexpr int MaxChannel = 255;

int hexDigit(char c)
{
    const int value = TextNumber::digitValue(uchar(c));
    return value < 16 ? value : -1;
}

// The frame as the line gives it, before it is stored.
struct Parsed
{
    uint32_t id = 0;
    int length = 0;
    uint8_t data[Vemi_CANFD_Data::MaxDataLength] = {};
    uint8_t protocol = Vemi_CANFD_Data::ProtocolCan;
    bool esi = false;
};

// "_" and a DLC of 9 to 15 after exactly 8 bytes; the bytes stay 8.
bool rawDlcSuffix(QLatin1String rest, int length)
{
    if (rest.isEmpty())
        return true;
    return length == Vemi_CANFD_Data::MaxClassicLength && rest.size() == 2
           && rest.at(0).toLatin1() == CandumpLayout::RawDlcMark
           && hexDigit(rest.at(1).toLatin1()) > Vemi_CANFD_Data::MaxClassicLength;
}

// Pairs of hexadecimal digits, a "." allowed between them, up to limit bytes;
// what follows them is left in text. False for an odd digit or too many bytes.
bool readBytes(QLatin1String &text, int limit, Parsed &parsed)
{
    int i = 0;
    while (i < text.size()) {
        if (text.at(i).toLatin1() == '.') {
            ++i;
            continue;
        }
        const int high = hexDigit(text.at(i).toLatin1());
        if (high < 0)
            break;
        const int low = i + 1 < text.size() ? hexDigit(text.at(i + 1).toLatin1()) : -1;
        if (low < 0 || parsed.length == limit)
            return false;
        parsed.data[parsed.length++] = uint8_t(high << 4 | low);
        i += 2;
    }
    text = text.mid(i);
    return true;
}

// "id#data", "id#R[length]" or "id##<flags>data"; false for an error frame too.
bool parseFrame(QLatin1String text, Parsed &parsed)
{
    const int hash = text.indexOf(QLatin1Char('#'));
    const QLatin1String idText = text.left(std::max(hash, 0));
    quint64 value = 0;
    if ((idText.size() != CandumpLayout::StandardIdDigits
         && idText.size() != CandumpLayout::ExtendedIdDigits)
        || !TextNumber::parseHexDigits(idText, value))
        return false;
    if (idText.size() == CandumpLayout::ExtendedIdDigits) {
        if (value & CandumpLayout::ErrorFrameBit)
            return false;
        parsed.id = (uint32_t(value) & Vemi_CANFD_Data::IdMask) | Vemi_CANFD_Data::ExtendedBit;
    } else {
        parsed.id = uint32_t(value);
    }

    QLatin1String rest = text.mid(hash + 1);
    if (rest.startsWith(QLatin1Char('#'))) {
        const int flags = rest.size() > 1 ? hexDigit(rest.at(1).toLatin1()) : -1;
        if (flags < 0)
            return false;
        parsed.protocol = flags & CandumpLayout::Brs ? Vemi_CANFD_Data::ProtocolCanFdBrs
                                                     : Vemi_CANFD_Data::ProtocolCanFd;
        parsed.esi = (flags & CandumpLayout::Esi) != 0;
        rest = rest.mid(2);
        return readBytes(rest, Vemi_CANFD_Data::MaxDataLength, parsed) && rest.isEmpty();
    }
    if (rest.startsWith(QLatin1Char('R')) || rest.startsWith(QLatin1Char('r'))) {
        parsed.id |= Vemi_CANFD_Data::RemoteBit;
        rest = rest.mid(1);
        const int length = rest.isEmpty() ? 0 : hexDigit(rest.at(0).toLatin1());
        if (length < 0 || length > Vemi_CANFD_Data::MaxClassicLength)
            return false;
        parsed.length = length;
        return rawDlcSuffix(rest.mid(rest.isEmpty() ? 0 : 1), length);
    }
    return readBytes(rest, Vemi_CANFD_Data::MaxClassicLength, parsed)
           && rawDlcSuffix(rest, parsed.length);
}

// The channel of an interface: its place among the names seen, from 1.
uint8_t channelOf(QLatin1String name, CandumpParser::Interfaces &interfaces)
{
    for (std::size_t i = 0; i < interfaces.size(); ++i) {
        const QByteArray &known = interfaces[i];
        if (known.size() == name.size()
            && std::memcmp(known.constData(), name.data(), std::size_t(name.size())) == 0)
            return uint8_t(i + 1);
    }
    if (interfaces.size() >= std::size_t(MaxChannel))
        return uint8_t(MaxChannel);
    interfaces.emplace_back(name.data(), name.size());
    return uint8_t(interfaces.size());
}

bool fillRecord(QLatin1String line, Vemi_CANFD_Data &frame,
                CandumpParser::Interfaces &interfaces)
{
    const int close = line.indexOf(QLatin1Char(')'));
    if (!line.startsWith(QLatin1Char('(')) || close < 0)
        return false;
    const QLatin1String time = line.mid(1, close - 1);
    uint64_t micros = 0;
    if (!TextNumber::decimalToMicroseconds<6>(time, micros))
        return false;
    TextTokens tokens(line, close + 1);
    const QLatin1String interface = tokens.next();
    const QLatin1String frameText = tokens.next();
    const QLatin1String direction = tokens.next();
    Parsed parsed;
    if (interface.isEmpty() || !parseFrame(frameText, parsed))
        return false;

    frame.id = parsed.id;
    frame.length = uint8_t(parsed.length);
    std::memcpy(frame.data, parsed.data, std::size_t(parsed.length));
    frame.setProtocol(parsed.protocol);
    if (parsed.esi)
        frame.errorFlags = Vemi_CANFD_Data::EsiBit;
    frame.setDirection(direction == QLatin1String(&CandumpLayout::Sent, 1) ? 1 : 0);
    frame.timestamp = micros;
    frame.setTimeText(time.data(), std::size_t(time.size()));
    frame.channel = channelOf(interface, interfaces);
    return true;
}

} // namespace

CandumpParser::CandumpParser() = default;
CandumpParser::~CandumpParser() = default;

bool CandumpParser::parseLine(QLatin1String line, Vemi_CANFD_Data &frame,
                              Interfaces &interfaces)
{
    return fillRecord(line, frame, interfaces);
}

bool CandumpParser::parse(const QString &filePath, std::atomic<bool> &stopRequested)
{
    TextLogReader reader(*this, {QStringLiteral("开始解析candump文件..."),
                                 QStringLiteral("正在解析candump..."),
                                 QStringLiteral("candump文件解析成功")});
    Interfaces interfaces;
    // Not QIODevice::Text, for the reason the ASC reader gives.
    return reader.run(filePath, QIODevice::NotOpen, stopRequested,
                      [&interfaces](const LineSource &line, qint64, Vemi_CANFD_Data &frame) {
                          using Line = TextLogReader::Line;
                          if (line.isAscii() && line.asciiLine().isEmpty())
                              return Line::Skipped;
                          // Interface names are compared in UTF-8.
                          const QByteArray bytes =
                              line.isAscii() ? QByteArray() : line.textLine().toUtf8();
                          const QLatin1String text =
                              line.isAscii() ? line.asciiLine()
                                             : QLatin1String(bytes.constData(), bytes.size());
                          return parseLine(text, frame, interfaces) ? Line::Frame
                                                                    : Line::Passed;
                      },
                      TextLogReader::unlessPassed);
}
