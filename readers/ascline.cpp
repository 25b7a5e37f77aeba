#include "ascline.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include <QString>
#include <QStringRef>

#include "ascflags.h"
#include "textnumber.h"
#include "vemi_canfd_data.h"

namespace {


// The most tokens a line is read for: the ten fields of a CAN FD line with a
// name, 64 data bytes, the three trailing fields up to the flags and one
// after them (which shows the flags whole). Tokens past these are never
// looked at.
constexpr int MaxTokens = 10 + Vemi_CANFD_Data::MaxDataLength + 4;

// A token as the start and size of its text within the line.
struct Span
{
    int start;
    int size;
};

char16_t code(char c)
{
    return char16_t(uchar(c));
}

char16_t code(QChar c)
{
    return c.unicode();
}

// What the "\s" of the whitespace pattern matches: tab, line feed, vertical
// tab, form feed, carriage return and space. Qt's regular expressions do not
// use Unicode properties by default, so no other character separates tokens.
bool separates(char16_t c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The line split at runs of those characters, empty parts dropped. Returns the
// number of tokens, counting no further than maxTokens.
template<typename Char>
int tokenize(const Char *text, int size, Span *spans, int maxTokens)
{
    int count = 0;
    int i = 0;
    while (count < maxTokens) {
        while (i < size && separates(code(text[i])))
            ++i;
        if (i == size)
            break;
        const int start = i;
        while (i < size && !separates(code(text[i])))
            ++i;
        spans[count++] = Span{start, i - start};
    }
    return count;
}

// Numbers of an ASCII token are read by hand, exactly as Qt reads them; those
// of a token with other characters by Qt itself. False when the token is no
// number of the base.
bool unsignedValue(QLatin1String token, int base, quint64 &value)
{
    return base == 16 ? TextNumber::parse<16>(token, value) : TextNumber::parse<10>(token, value);
}

bool unsignedValue(const QStringRef &token, int base, quint64 &value)
{
    bool ok = false;
    value = token.toULongLong(&ok, base);
    return ok;
}

double doubleValue(QLatin1String token, bool &ok)
{
    return QString(token).toDouble(&ok);
}

double doubleValue(const QStringRef &token, bool &ok)
{
    return token.toDouble(&ok);
}

// word in lower case; a letter of the token matches in either case.
template<typename Token>
bool equalsIgnoringCase(const Token &token, std::string_view word)
{
    if (std::size_t(token.size()) != word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if ((token.at(int(i)).unicode() | 0x20) != char16_t(word[i]))
            return false;
    }
    return true;
}

template<typename Token>
bool isCanFdMark(const Token &token)
{
    return token == QLatin1String("CANFD");
}

// 1 for a sent frame, 0 for a received one or a transmit request, -1 for a
// token that names no direction.
template<typename Token>
int directionOf(const Token &token)
{
    if (equalsIgnoringCase(token, "tx"))
        return 1;
    return equalsIgnoringCase(token, "rx") || equalsIgnoringCase(token, "txrq") ? 0 : -1;
}

void storeTimeText(QLatin1String token, Vemi_CANFD_Data &frame)
{
    frame.setTimeText(token.data(), std::size_t(token.size()));
}

void storeTimeText(const QStringRef &token, Vemi_CANFD_Data &frame)
{
    frame.setTimeText(QStringView(token));
}

// A plain decimal exactly; other spellings of a number through a double. False
// when the token is no number at all.
template<typename Token>
bool secondsToMicroseconds(const Token &token, uint64_t &micros)
{
    if (TextNumber::decimalToMicroseconds<6>(token, micros))
        return true;
    // Signs, exponents and the like.
    bool ok = false;
    micros = TextNumber::secondsToMicroseconds(doubleValue(token, ok));
    return ok;
}

// The identifier word without the remote bit: a trailing "x" marks extended.
template<typename Token>
bool identifierWord(Token token, int base, uint32_t &id)
{
    bool extended = false;
    const char16_t last = token.size() > 0 ? token.at(token.size() - 1).unicode() : 0;
    if (last == 'x' || last == 'X') {
        extended = true;
        token.chop(1);
    }
    quint64 value = 0;
    if (!unsignedValue(token, base, value))
        return false;
    id = uint32_t(value) & Vemi_CANFD_Data::IdMask;
    if (extended)
        id |= Vemi_CANFD_Data::ExtendedBit;
    return true;
}

template<typename Token>
bool byteValue(const Token &token, int base, uint8_t &byte)
{
    quint64 value = 0;
    if (!unsignedValue(token, base, value) || value > 0xFF)
        return false;
    byte = uint8_t(value);
    return true;
}

// The fields both layouts share.
template<typename Token>
bool fillCommon(const Token &time, const Token &channel, const Token &direction,
                const Token &identifier, int base, Vemi_CANFD_Data &frame)
{
    quint64 channelValue = 0;
    const int tx = directionOf(direction);
    if (tx < 0 || !unsignedValue(channel, 10, channelValue)
        || !identifierWord(identifier, base, frame.id)
        || !secondsToMicroseconds(time, frame.timestamp))
        return false;
    storeTimeText(time, frame);
    frame.channel = uint8_t(channelValue);
    frame.setDirection(uint8_t(tx));
    return true;
}

// Whether a line's data bytes are all there: as many as the frame has, and
// when the line ends with them, the last as wide as the first (writers give
// every byte the same width, so a shorter last one was cut).
template<typename Tokens>
bool bytesComplete(const Tokens &tokens, int count, int first, int bytes, int wanted)
{
    if (bytes < wanted)
        return false;
    return bytes < 2 || count > first + bytes
           || tokens(first + bytes - 1).size() >= tokens(first).size();
}

// <time> <channel> <id>[x] <dir> d <dlc> <byte>... [annotations]
// <time> <channel> <id>[x] <dir> r [<dlc>] [annotations]
// Data bytes are read as long as the tokens are bytes: an annotation is never
// data, and bytes it leaves missing stay 0. complete: see bytesComplete; a
// remote frame, whether it has its DLC.
template<typename Tokens>
bool fillClassic(const Tokens &tokens, int count, int base, Vemi_CANFD_Data &frame,
                 bool &complete)
{
    const auto kind = tokens(4);
    const bool remote = equalsIgnoringCase(kind, "r");
    if (!remote && !equalsIgnoringCase(kind, "d"))
        return false;
    quint64 dlc = 0;
    if ((count < 6 || !unsignedValue(tokens(5), 16, dlc)) && !remote)
        return false;
    if (!fillCommon(tokens(0), tokens(1), tokens(3), tokens(2), base, frame))
        return false;
    frame.length = uint8_t(std::min<quint64>(dlc, Vemi_CANFD_Data::MaxClassicLength));
    if (remote) {
        frame.id |= Vemi_CANFD_Data::RemoteBit;
        // Without its DLC the line may have been cut before it.
        complete = count >= 6;
        return true;
    }
    const int available = std::min<int>(frame.length, count - 6);
    complete = bytesComplete(tokens, count, 6, available, frame.length);
    for (int i = 0; i < available; ++i) {
        if (!byteValue(tokens(6 + i), base, frame.data[i]))
            break;
    }
    return true;
}

// <time> CANFD <channel> <dir> <id>[x] [<name>] <brs> <esi> <dlc> <data length>
//     <byte>... [<duration> <bit count> <flags> ...]
// complete: the bytes are all there (bytesComplete), and the trailing fields
// are missing or reach past the flags, which a cut could shorten.
template<typename Tokens>
bool fillCanFd(const Tokens &tokens, int count, int base, Vemi_CANFD_Data &frame,
               bool &complete)
{
    // A symbolic name stands where the bit-rate switch column, a decimal
    // number, would.
    quint64 brs = 0;
    const bool named = count > 5 && !unsignedValue(tokens(5), 10, brs);
    const int at = named ? 6 : 5;
    quint64 esi = 0;
    quint64 dlc = 0;
    quint64 dataLength = 0;
    if (count < at + 4 || (named && !unsignedValue(tokens(at), 10, brs))
        || !unsignedValue(tokens(at + 1), 10, esi) || !unsignedValue(tokens(at + 2), 16, dlc)
        || !unsignedValue(tokens(at + 3), 10, dataLength)
        || dataLength > quint64(Vemi_CANFD_Data::MaxDataLength))
        return false;
    // The data length is the number of bytes that follow. A line may end
    // early, but a token that is no byte means the columns do not line up.
    const int first = at + 4;
    const int length = int(dataLength);
    const int present = std::min(length, count - first);
    const int trailing = count - first - present;
    complete = bytesComplete(tokens, count, first, present, length)
               && (trailing == 0 || trailing > 3);
    for (int i = 0; i < present; ++i) {
        if (!byteValue(tokens(first + i), base, frame.data[i]))
            return false;
    }
    quint64 flags = 0;
    const int flagsAt = first + length + 2;
    const bool hasFlags = count > flagsAt;
    if ((hasFlags && !unsignedValue(tokens(flagsAt), 16, flags))
        || !fillCommon(tokens(0), tokens(2), tokens(3), tokens(4), base, frame))
        return false;

    if (hasFlags && !(flags & AscFlags::Fdf)) {
        // A classic frame in the CAN FD layout: its length is the DLC's.
        frame.setProtocol(Vemi_CANFD_Data::ProtocolCan);
        frame.length = uint8_t(std::min<quint64>(dlc, Vemi_CANFD_Data::MaxClassicLength));
        const bool remote = (flags & AscFlags::Remote) != 0;
        if (remote)
            frame.id |= Vemi_CANFD_Data::RemoteBit;
        const int kept = remote ? 0 : std::min(present, int(frame.length));
        std::memset(frame.data + kept, 0, std::size_t(present - kept));
        return true;
    }
    const bool switched = hasFlags ? (flags & AscFlags::Brs) != 0 : uint8_t(brs) == 1;
    const bool errorPassive = hasFlags ? (flags & AscFlags::Esi) != 0 : uint8_t(esi) == 1;
    frame.setProtocol(switched ? Vemi_CANFD_Data::ProtocolCanFdBrs
                               : Vemi_CANFD_Data::ProtocolCanFd);
    if (errorPassive)
        frame.errorFlags = Vemi_CANFD_Data::EsiBit;
    frame.length = uint8_t(length);
    return true;
}

// Fills the record from the tokens of a line, tokens(i) giving token i; false
// when the line fits neither layout.
template<typename Tokens>
bool fillRecord(const Tokens &tokens, int count, int base, Vemi_CANFD_Data &frame,
                bool &complete)
{
    if (count < 5)
        return false;
    return isCanFdMark(tokens(1)) ? fillCanFd(tokens, count, base, frame, complete)
                                  : fillClassic(tokens, count, base, frame, complete);
}

// Calls use(tokens, count) with the first tokens of the line (at most
// maxTokens), tokens(i) giving token i.
template<typename Use>
auto withTokens(QLatin1String line, int maxTokens, Use use)
{
    Span spans[MaxTokens];
    const int count = tokenize(line.data(), line.size(), spans, std::min(maxTokens, MaxTokens));
    return use([&](int i) { return line.mid(spans[i].start, spans[i].size); }, count);
}

template<typename Use>
auto withTokens(const QString &line, int maxTokens, Use use)
{
    Span spans[MaxTokens];
    const int count =
        tokenize(line.constData(), line.size(), spans, std::min(maxTokens, MaxTokens));
    return use([&](int i) { return QStringRef(&line, spans[i].start, spans[i].size); }, count);
}

template<typename Text>
bool parseTokens(const Text &line, int base, Vemi_CANFD_Data &frame, bool *complete)
{
    bool whole = true;
    const bool filled = withTokens(line, MaxTokens, [&](const auto &tokens, int count) {
        return fillRecord(tokens, count, base, frame, whole);
    });
    if (complete)
        *complete = filled && whole;
    return filled;
}

template<typename Text>
void readSettings(const Text &line, AscLine::Settings &settings)
{
    withTokens(line, 8, [&](const auto &tokens, int count) {
        if (count > 1 && equalsIgnoringCase(tokens(1), "hex"))
            settings.base = 16;
        else if (count > 1 && equalsIgnoringCase(tokens(1), "dec"))
            settings.base = 10;
        for (int i = 1; i + 1 < count; ++i) {
            if (!equalsIgnoringCase(tokens(i), "timestamps"))
                continue;
            if (equalsIgnoringCase(tokens(i + 1), "relative"))
                settings.relative = true;
            else if (equalsIgnoringCase(tokens(i + 1), "absolute"))
                settings.relative = false;
        }
        return 0;
    });
}

template<typename Text>
bool readFirstTime(const Text &line, uint64_t &micros)
{
    return withTokens(line, 1, [&](const auto &tokens, int count) {
        return count == 1 && secondsToMicroseconds(tokens(0), micros);
    });
}

} // namespace

bool AscLine::readFrame(QLatin1String line, int base, Vemi_CANFD_Data &frame,
                        bool *complete)
{
    return parseTokens(line, base, frame, complete);
}

bool AscLine::readFrame(const QString &line, int base, Vemi_CANFD_Data &frame,
                        bool *complete)
{
    return parseTokens(line, base, frame, complete);
}

void AscLine::readBaseLine(QLatin1String line, Settings &settings)
{
    readSettings(line, settings);
}

void AscLine::readBaseLine(const QString &line, Settings &settings)
{
    readSettings(line, settings);
}

bool AscLine::readTime(QLatin1String line, uint64_t &micros)
{
    return readFirstTime(line, micros);
}

bool AscLine::readTime(const QString &line, uint64_t &micros)
{
    return readFirstTime(line, micros);
}
