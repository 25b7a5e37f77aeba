#include "ascparser.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

#include <QStringRef>

#include "linesource.h"
#include "textlogreader.h"
#include "textnumber.h"

namespace {

constexpr uint64_t MicrosPerSecond = 1000000;

// The most tokens a line is read for: nine fields of a CAN FD line and 64 data
// bytes. Tokens past these are never looked at.
constexpr int MaxTokens = 9 + Vemi_CANFD_Data::MaxDataLength;

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

// The line split at runs of those characters, empty parts dropped - and, on a
// CAN FD line, every "CANFD" a token of its own even where it is glued to its
// neighbours, as if each were spaced apart before splitting. Returns the
// number of tokens, counting no further than maxTokens.
template<typename Char>
int tokenize(const Char *text, int size, bool spaceCanFd, Span *spans, int maxTokens)
{
    int count = 0;
    int i = 0;
    while (count < maxTokens) {
        while (i < size && separates(code(text[i])))
            ++i;
        if (i == size)
            break;
        const int start = i;
        while (i < size && !separates(code(text[i]))) {
            if (spaceCanFd && code(text[i]) == 'C' && size - i >= 5 && code(text[i + 1]) == 'A'
                && code(text[i + 2]) == 'N' && code(text[i + 3]) == 'F'
                && code(text[i + 4]) == 'D')
                break;
            ++i;
        }
        if (i > start) {
            spans[count++] = Span{start, i - start};
        } else {
            // "CANFD" at i, glued to what follows or not: a token of its own.
            spans[count++] = Span{i, 5};
            i += 5;
        }
    }
    return count;
}

// Numbers of an ASCII token are read by hand, exactly as Qt reads them; those
// of a token with other characters by Qt itself.
quint64 unsignedValue(QLatin1String token, int base)
{
    return base == 16 ? TextNumber::toUnsigned<16>(token) : TextNumber::toUnsigned<10>(token);
}

quint64 unsignedValue(const QStringRef &token, int base)
{
    return token.toULongLong(nullptr, base);
}

double doubleValue(QLatin1String token)
{
    return QString(token).toDouble();
}

double doubleValue(const QStringRef &token)
{
    return token.toDouble();
}

bool isTx(QLatin1String token)
{
    return token.size() == 2 && (token.at(0).unicode() | 0x20) == 't'
           && (token.at(1).unicode() | 0x20) == 'x';
}

bool isTx(const QStringRef &token)
{
    return token.compare(QLatin1String("Tx"), Qt::CaseInsensitive) == 0;
}

bool isRemoteMark(QLatin1String token)
{
    return token.size() == 1 && (token.at(0).unicode() | 0x20) == 'r';
}

bool isRemoteMark(const QStringRef &token)
{
    return token.compare(QLatin1String("r"), Qt::CaseInsensitive) == 0;
}

void storeTimeText(QLatin1String token, Vemi_CANFD_Data &frame)
{
    frame.setTimeText(token.data(), std::size_t(token.size()));
}

void storeTimeText(const QStringRef &token, Vemi_CANFD_Data &frame)
{
    frame.setTimeText(QStringView(token));
}

// Plain decimal seconds ("12.3456785") are converted digit by digit: through a
// double, about one written half microsecond in a hundred lands a hair below
// the half and would round down. False when the token has another form.
template<typename Token>
bool plainDecimalToMicroseconds(const Token &token, uint64_t &micros)
{
    constexpr uint64_t Max = std::numeric_limits<uint64_t>::max();
    const int size = token.size();
    auto digitAt = [&token](int i) {
        const char16_t u = token.at(i).unicode();
        return u >= '0' && u <= '9' ? int(u - '0') : -1;
    };
    int i = 0;
    bool anyDigit = false;
    bool overflow = false;
    uint64_t whole = 0;
    for (int d; i < size && (d = digitAt(i)) >= 0; ++i) {
        anyDigit = true;
        overflow = overflow || whole > (Max - uint64_t(d)) / 10;
        whole = whole * 10 + uint64_t(d);
    }
    uint64_t fraction = 0;
    int fractionDigits = 0;
    bool roundUp = false;
    if (i < size && token.at(i).unicode() == '.') {
        for (++i; i < size; ++i) {
            const int d = digitAt(i);
            if (d < 0)
                return false;
            anyDigit = true;
            if (fractionDigits < 6)
                fraction = fraction * 10 + uint64_t(d);
            else if (fractionDigits == 6)
                roundUp = d >= 5; // later digits cannot turn a half into less
            ++fractionDigits;
        }
    }
    if (i != size || !anyDigit)
        return false;
    for (; fractionDigits < 6; ++fractionDigits)
        fraction *= 10;
    const uint64_t below = fraction + (roundUp ? 1 : 0);
    overflow = overflow || whole > (Max - below) / MicrosPerSecond;
    micros = overflow ? 0 : whole * MicrosPerSecond + below;
    return true;
}

// A plain decimal exactly; other spellings through a double.
template<typename Token>
uint64_t secondsToMicroseconds(const Token &token)
{
    uint64_t micros = 0;
    if (plainDecimalToMicroseconds(token, micros))
        return micros;
    // Signs, exponents and the like.
    return TextNumber::secondsToMicroseconds(doubleValue(token));
}

template<typename Token>
uint8_t lowByte(const Token &token, int base)
{
    return static_cast<uint8_t>(unsignedValue(token, base) & 0xFF);
}

// A length token above what a record holds is clamped, and at most that many
// data bytes are read.
template<typename Token>
uint8_t clampedLength(const Token &token)
{
    return static_cast<uint8_t>(
        std::min<quint64>(unsignedValue(token, 10), Vemi_CANFD_Data::MaxDataLength));
}

// The identifier word without the remote bit: a trailing "x" marks extended.
template<typename Token>
uint32_t identifierWord(Token token)
{
    bool extended = false;
    const char16_t last = token.size() > 0 ? token.at(token.size() - 1).unicode() : 0;
    if (last == 'x' || last == 'X') {
        extended = true;
        token.chop(1);
    }
    uint32_t id = static_cast<uint32_t>(unsignedValue(token, 16));
    id &= Vemi_CANFD_Data::IdMask;
    if (extended)
        id |= Vemi_CANFD_Data::ExtendedBit;
    return id;
}

template<typename Tokens>
void readDataBytes(const Tokens &tokens, int count, int first, Vemi_CANFD_Data &frame)
{
    const int available = std::min<int>(frame.length, count - first);
    for (int i = 0; i < available; ++i)
        frame.data[i] = lowByte(tokens(first + i), 16);
}

// Fills the record from the tokens of a frame line, tokens(i) giving token i;
// false when the line has too few of them.
template<typename Tokens>
bool fillRecord(const Tokens &tokens, int count, bool isFd, Vemi_CANFD_Data &frame)
{
    if (count < 6 || (isFd && count < 9))
        return false;

    const auto time = tokens(0);
    frame.timestamp = secondsToMicroseconds(time);
    storeTimeText(time, frame);

    if (isFd) {
        frame.channel = lowByte(tokens(2), 10);
        frame.setDirection(isTx(tokens(3)));
        frame.id = identifierWord(tokens(4));
        frame.setProtocol(lowByte(tokens(5), 10) == 1 ? Vemi_CANFD_Data::ProtocolCanFdBrs
                                                       : Vemi_CANFD_Data::ProtocolCanFd);
        frame.length = clampedLength(tokens(8));
        readDataBytes(tokens, count, 9, frame);
    } else {
        frame.channel = lowByte(tokens(1), 10);
        frame.id = identifierWord(tokens(2));
        frame.setDirection(isTx(tokens(3)));
        if (isRemoteMark(tokens(4)))
            frame.id |= Vemi_CANFD_Data::RemoteBit;
        frame.setProtocol(Vemi_CANFD_Data::ProtocolCan);
        frame.length = clampedLength(tokens(5));
        readDataBytes(tokens, count, 6, frame);
    }
    return true;
}

bool contains(QLatin1String line, const char *word)
{
    return std::string_view(line.data(), std::size_t(line.size())).find(word)
           != std::string_view::npos;
}

bool contains(const QString &line, const char *word)
{
    return line.contains(QLatin1String(word));
}

bool startsWith(QLatin1String line, const char *prefix, int size)
{
    return line.size() >= size && std::memcmp(line.data(), prefix, std::size_t(size)) == 0;
}

bool startsWith(const QString &line, const char *prefix, int size)
{
    return line.startsWith(QLatin1String(prefix, size));
}

template<typename Text>
bool isSkippedLine(const Text &line)
{
    if (line.isEmpty())
        return true;
    switch (line.at(0).unicode()) {
    case ';': return true;
    case 'd': return startsWith(line, "date", 4);
    case 'b': return startsWith(line, "base", 4);
    case '/': return startsWith(line, "//", 2);
    case 'E': return startsWith(line, "End", 3);
    default: return false;
    }
}

bool parseTokens(QLatin1String line, bool isFd, Vemi_CANFD_Data &frame)
{
    Span spans[MaxTokens];
    const int count = tokenize(line.data(), line.size(), isFd, spans, MaxTokens);
    return fillRecord([&](int i) { return line.mid(spans[i].start, spans[i].size); }, count,
                      isFd, frame);
}

bool parseTokens(const QString &line, bool isFd, Vemi_CANFD_Data &frame)
{
    Span spans[MaxTokens];
    const int count = tokenize(line.constData(), line.size(), isFd, spans, MaxTokens);
    return fillRecord([&](int i) { return QStringRef(&line, spans[i].start, spans[i].size); },
                      count, isFd, frame);
}

template<typename Text>
TextLogReader::Line readLine(const Text &line, Vemi_CANFD_Data &frame)
{
    using Line = TextLogReader::Line;
    if (isSkippedLine(line))
        return Line::Skipped;
    const bool isFd = contains(line, "CANFD");
    if (!isFd && !contains(line, "Rx") && !contains(line, "Tx"))
        return Line::Passed;
    return parseTokens(line, isFd, frame) ? Line::Frame : Line::Skipped;
}

} // namespace

AscParser::AscParser() = default;
AscParser::~AscParser() = default;

bool AscParser::parseLine(QLatin1String line, Vemi_CANFD_Data &frame)
{
    return parseTokens(line, contains(line, "CANFD"), frame);
}

bool AscParser::parseLine(const QString &line, Vemi_CANFD_Data &frame)
{
    return parseTokens(line, contains(line, "CANFD"), frame);
}

bool AscParser::parse(const QString &filePath, std::atomic<bool> &stopRequested)
{
    TextLogReader reader(*this, {QStringLiteral("开始解析ASC文件..."), QStringLiteral("正在解析..."),
                                 QStringLiteral("ASC文件解析成功")});
    // Not QIODevice::Text: that mode deletes every CR, also one standing
    // between two tokens, and glues them. The stream drops the CR of a CR LF
    // line end by itself; any other CR is whitespace like a tab.
    return reader.run(filePath, QIODevice::NotOpen, stopRequested,
                      [](const LineSource &line, qint64, Vemi_CANFD_Data &frame) {
                          return line.isAscii() ? readLine(line.asciiLine(), frame)
                                                : readLine(line.textLine(), frame);
                      });
}
