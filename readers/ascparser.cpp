#include "ascparser.h"

#include <algorithm>
#include <cmath>

#include <QFile>
#include <QRegularExpression>
#include <QTextStream>
#include <QtDebug>

namespace {

constexpr int BatchSize = 2000;
constexpr int ProgressInterval = 10000;

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

// Seconds to whole microseconds, halves rounded upward. Anything that is not a
// representable non-negative time reads as 0, like any other unreadable number.
uint64_t secondsToMicroseconds(double seconds)
{
    const double micros = std::floor(seconds * 1000000.0 + 0.5);
    if (!(micros >= 0.0) || micros >= 18446744073709551616.0)
        return 0;
    return static_cast<uint64_t>(micros);
}

uint8_t lowByte(const QStringRef &token, int base)
{
    return static_cast<uint8_t>(token.toULongLong(nullptr, base) & 0xFF);
}

uint8_t clampedLength(const QStringRef &token)
{
    return std::min<uint8_t>(lowByte(token, 10), Vemi_CANFD_Data::MaxDataLength);
}

// The identifier word without the remote bit: a trailing "x" marks extended.
uint32_t identifierWord(QStringRef token)
{
    bool extended = false;
    if (token.endsWith(QLatin1Char('x'), Qt::CaseInsensitive)) {
        extended = true;
        token.chop(1);
    }
    uint32_t id = static_cast<uint32_t>(token.toULongLong(nullptr, 16)) & Vemi_CANFD_Data::IdMask;
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
    if (work.contains(QLatin1String("CANFD")))
        work.replace(QLatin1String("CANFD"), QLatin1String(" CANFD "));
    const QVector<QStringRef> tokens = work.splitRef(whitespaceRun(), Qt::SkipEmptyParts);
    if (tokens.size() < 6)
        return false;

    const bool isFd = std::any_of(tokens.cbegin(), tokens.cend(), [](const QStringRef &token) {
        return token == QLatin1String("CANFD");
    });
    if (isFd && tokens.size() < 9)
        return false;

    const QStringRef &time = tokens.at(0);
    frame.timestamp = secondsToMicroseconds(time.toDouble());
    const QByteArray timeUtf8 = time.toUtf8();
    frame.setTimeText(timeUtf8.constData(), static_cast<std::size_t>(timeUtf8.size()));

    if (isFd) {
        frame.channel = lowByte(tokens.at(2), 10);
        frame.setDirection(tokens.at(3).compare(QLatin1String("Tx"), Qt::CaseInsensitive) == 0);
        frame.id = identifierWord(tokens.at(4));
        frame.setProtocol(lowByte(tokens.at(5), 10) == 1 ? Vemi_CANFD_Data::ProtocolCanFdBrs
                                                         : Vemi_CANFD_Data::ProtocolCanFd);
        frame.length = clampedLength(tokens.at(8));
        readDataBytes(tokens, 9, frame);
    } else {
        frame.channel = lowByte(tokens.at(1), 10);
        frame.id = identifierWord(tokens.at(2));
        frame.setDirection(tokens.at(3).compare(QLatin1String("Tx"), Qt::CaseInsensitive) == 0);
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
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        emit parsingFinished(false, QStringLiteral("无法打开文件"));
        return false;
    }
    QTextStream in(&file);

    QVector<Vemi_CANFD_Data> batch;
    batch.reserve(BatchSize);
    qint64 lineCount = 0;
    QString rawLine;
    while (!in.atEnd()) {
        if (stopRequested.load()) {
            qDebug("%s", parserStopLogLine);
            return false;
        }
        in.readLineInto(&rawLine);
        const QString line = rawLine.trimmed();
        ++lineCount;
        if (isSkippedLine(line))
            continue;

        if (line.contains(QLatin1String("CANFD")) || line.contains(QLatin1String("Rx"))
            || line.contains(QLatin1String("Tx"))) {
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
        if (lineCount % ProgressInterval == 0)
            emit progressUpdated(int(std::min<qint64>(lineCount / 1000, 95)), QStringLiteral("正在解析..."));
    }

    if (!batch.isEmpty())
        emit dataParsed(batch);
    emit progressUpdated(100, QStringLiteral("解析完成"));
    emit parsingFinished(true, QStringLiteral("ASC文件解析成功"));
    return true;
}
