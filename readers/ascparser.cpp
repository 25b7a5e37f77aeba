#include "ascparser.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QFile>
#include <QRegularExpression>
#include <QTextStream>
#include <QtDebug>

namespace {

constexpr int BatchSize = 2000;
constexpr int ProgressInterval = 10000;
constexpr uint64_t MicrosPerSecond = 1000000;

// Static locals initialise once, thread-safely, on first use.
const QRegularExpression &whitespaceRun()
{
    static const QRegularExpression pattern(QStringLiteral("\\s+"));
    return pattern;
}

bool isSkippedLine(const QString &line)
{
    return line.isEmpty() || line.startsWith(QLatin1Char(';'))
           || line.startsWith(QLatin1String("date")) || line.startsWith(QLatin1String("base"))
           || line.startsWith(QLatin1String("//")) || line.startsWith(QLatin1String("End"));
}

bool isFrameCandidate(const QString &line)
{
    return line.contains(QLatin1String("CANFD")) || line.contains(QLatin1String("Rx"))
           || line.contains(QLatin1String("Tx"));
}

int digitValue(QChar c)
{
    const char16_t u = c.unicode();
    return u >= '0' && u <= '9' ? u - '0' : -1;
}

// Plain decimal seconds ("12.3456785") are converted digit by digit: through a
// double, about one written half microsecond in a hundred lands a hair below
// the half and would round down. False when the token has another form.
bool plainDecimalToMicroseconds(const QStringRef &token, uint64_t &micros)
{
    constexpr uint64_t Max = std::numeric_limits<uint64_t>::max();
    const int size = token.size();
    int i = 0;
    bool anyDigit = false;
    bool overflow = false;
    uint64_t whole = 0;
    for (int d; i < size && (d = digitValue(token.at(i))) >= 0; ++i) {
        anyDigit = true;
        overflow = overflow || whole > (Max - uint64_t(d)) / 10;
        whole = whole * 10 + uint64_t(d);
    }
    uint64_t fraction = 0;
    int fractionDigits = 0;
    bool roundUp = false;
    if (i < size && token.at(i) == QLatin1Char('.')) {
        for (++i; i < size; ++i) {
            const int d = digitValue(token.at(i));
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

// Seconds to whole microseconds, halves rounded upward. Anything that is not a
// representable non-negative time reads as 0, like any other unreadable number.
uint64_t secondsToMicroseconds(const QStringRef &token)
{
    uint64_t micros = 0;
    if (plainDecimalToMicroseconds(token, micros))
        return micros;
    // Signs, exponents and the like.
    const double scaled = token.toDouble() * double(MicrosPerSecond);
    double rounded = std::floor(scaled);
    if (scaled - rounded >= 0.5)
        rounded += 1.0;
    if (!(rounded >= 0.0) || rounded >= 18446744073709551616.0)
        return 0;
    return static_cast<uint64_t>(rounded);
}

uint8_t lowByte(const QStringRef &token, int base)
{
    return static_cast<uint8_t>(token.toULongLong(nullptr, base) & 0xFF);
}

// A length token above what a record holds is clamped, and at most that many
// data bytes are read.
uint8_t clampedLength(const QStringRef &token)
{
    return static_cast<uint8_t>(
        std::min<qulonglong>(token.toULongLong(nullptr, 10), Vemi_CANFD_Data::MaxDataLength));
}

bool isTx(const QStringRef &token)
{
    return token.compare(QLatin1String("Tx"), Qt::CaseInsensitive) == 0;
}

// The identifier word without the remote bit: a trailing "x" marks extended.
uint32_t identifierWord(QStringRef token)
{
    bool extended = false;
    if (token.endsWith(QLatin1Char('x'), Qt::CaseInsensitive)) {
        extended = true;
        token.chop(1);
    }
    uint32_t id = static_cast<uint32_t>(token.toULongLong(nullptr, 16));
    id &= Vemi_CANFD_Data::IdMask;
    if (extended)
        id |= Vemi_CANFD_Data::ExtendedBit;
    return id;
}

void readDataBytes(const QVector<QStringRef> &tokens, int first, Vemi_CANFD_Data &frame)
{
    const int count = std::min<int>(frame.length, tokens.size() - first);
    for (int i = 0; i < count; ++i)
        frame.data[i] = lowByte(tokens.at(first + i), 16);
}

} // namespace

AscParser::AscParser() = default;
AscParser::~AscParser() = default;

bool AscParser::parseLine(const QString &line, Vemi_CANFD_Data &frame)
{
    QString work = line;
    const bool isFd = work.contains(QLatin1String("CANFD"));
    // Spaced apart, every "CANFD" is a token of its own even where a writer
    // glued it to the time.
    if (isFd)
        work.replace(QLatin1String("CANFD"), QLatin1String(" CANFD "));
    const QVector<QStringRef> tokens = work.splitRef(whitespaceRun(), Qt::SkipEmptyParts);
    if (tokens.size() < 6 || (isFd && tokens.size() < 9))
        return false;

    const QStringRef &time = tokens.at(0);
    frame.timestamp = secondsToMicroseconds(time);
    frame.setTimeText(time);

    if (isFd) {
        frame.channel = lowByte(tokens.at(2), 10);
        frame.setDirection(isTx(tokens.at(3)));
        frame.id = identifierWord(tokens.at(4));
        frame.setProtocol(lowByte(tokens.at(5), 10) == 1 ? Vemi_CANFD_Data::ProtocolCanFdBrs
                                                         : Vemi_CANFD_Data::ProtocolCanFd);
        frame.length = clampedLength(tokens.at(8));
        readDataBytes(tokens, 9, frame);
    } else {
        frame.channel = lowByte(tokens.at(1), 10);
        frame.id = identifierWord(tokens.at(2));
        frame.setDirection(isTx(tokens.at(3)));
        if (tokens.at(4).compare(QLatin1String("r"), Qt::CaseInsensitive) == 0)
            frame.id |= Vemi_CANFD_Data::RemoteBit;
        frame.setProtocol(Vemi_CANFD_Data::ProtocolCan);
        frame.length = clampedLength(tokens.at(5));
        readDataBytes(tokens, 6, frame);
    }
    return true;
}

bool AscParser::parse(const QString &filePath, std::atomic<bool> &stopRequested)
{
    emit progressUpdated(0, QStringLiteral("开始解析ASC文件..."));

    QFile file(filePath);
    // Not QIODevice::Text: that mode deletes every CR, also one standing
    // between two tokens, and glues them. The stream drops the CR of a CR LF
    // line end by itself; any other CR is whitespace like a tab.
    if (!file.open(QIODevice::ReadOnly)) {
        emit parsingFinished(false, QStringLiteral("无法打开文件"));
        return false;
    }
    QTextStream in(&file);

    QVector<Vemi_CANFD_Data> batch;
    batch.reserve(BatchSize);
    qint64 lineCount = 0;
    QString line;
    while (!in.atEnd()) {
        if (stopRequested.load()) {
            qDebug("%s", parserStopLogLine);
            return false;
        }
        // Trimmed in place: the line buffer is reused from one line to the next.
        in.readLineInto(&line);
        line = std::move(line).trimmed();
        ++lineCount;
        if (isSkippedLine(line))
            continue;

        if (isFrameCandidate(line)) {
            Vemi_CANFD_Data frame;
            if (!parseLine(line, frame))
                continue;
            batch.append(frame);
        }

        if (batch.size() >= BatchSize) {
            emit dataParsed(batch);
            batch = QVector<Vemi_CANFD_Data>();
            batch.reserve(BatchSize);
        }
        if (lineCount % ProgressInterval == 0) {
            const int percent = int(std::min<qint64>(lineCount * 100 / 100000, 95));
            emit progressUpdated(percent, QStringLiteral("正在解析..."));
        }
    }

    if (!batch.isEmpty())
        emit dataParsed(batch);
    emit progressUpdated(100, QStringLiteral("解析完成"));
    emit parsingFinished(true, QStringLiteral("ASC文件解析成功"));
    return true;
}
