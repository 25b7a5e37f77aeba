#include "csvparser.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include <QFile>
#include <QStringView>
#include <QTextStream>
#include <QTime>
#include <QtDebug>

namespace {

constexpr int BatchSize = 2000;
constexpr int ProgressInterval = 10000;
constexpr int FieldCount = 9;

enum Field {
    DirectionField,
    TimeField,
    NameField,
    IdField,
    CanTypeField,
    FrameFormatField,
    FrameTypeField,
    LengthField,
    DataField
};

using Fields = std::array<QStringView, FieldCount>;

// The first nine comma-separated fields, empty ones kept; false when the line
// has fewer. Views into the line, so nothing is allocated.
bool splitFields(QStringView line, Fields &fields)
{
    qsizetype start = 0;
    for (int i = 0; i < FieldCount; ++i) {
        qsizetype end = line.indexOf(QLatin1Char(','), start);
        if (end < 0) {
            if (i < FieldCount - 1)
                return false;
            end = line.size();
        }
        fields[i] = line.mid(start, end - start);
        start = end + 1;
    }
    return true;
}

int digitValue(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    const ushort lower = u | 0x20;
    if (lower >= 'a' && lower <= 'f')
        return lower - 'a' + 10;
    return 99;
}

// An unsigned number with nothing around it: a leading '+' allowed, "0x" in
// base 16, as Qt's own conversions read one. Anything else, or a value beyond
// 64 bits, reads as 0.
template <int Base>
quint64 toUnsignedBare(QStringView text)
{
    if (text.startsWith(QLatin1Char('+')))
        text = text.mid(1);
    if (Base == 16 && text.size() > 2 && text.at(0) == QLatin1Char('0')
        && (text.at(1).unicode() | 0x20) == 'x')
        text = text.mid(2);
    if (text.isEmpty())
        return 0;
    constexpr quint64 limit = std::numeric_limits<quint64>::max() / Base;
    constexpr int lastDigit = int(std::numeric_limits<quint64>::max() % Base);
    quint64 value = 0;
    for (QChar c : text) {
        const int digit = digitValue(c);
        if (digit >= Base || value > limit || (value == limit && digit > lastDigit))
            return 0;
        value = value * Base + quint64(digit);
    }
    return value;
}

// The whole field as an unsigned number; white space around it is allowed.
template <int Base>
quint64 toUnsigned(QStringView text)
{
    return toUnsignedBare<Base>(text.trimmed());
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

// Reads a clock time in its usual spellings - hours, minutes and seconds of one
// or two digits, three millisecond digits, "." or ":" between - without
// building a QTime parser for each line. Every text it accepts reads the same
// through QTime with one of the two formats; -1 sends the rest there.
int clockMilliseconds(QStringView text)
{
    int parts[4] = {0, 0, 0, 0};
    int part = 0;
    int digits = 0;
    for (QChar c : text) {
        const ushort u = c.unicode();
        if (u >= '0' && u <= '9') {
            if (++digits > (part == 3 ? 3 : 2))
                return -1;
            parts[part] = parts[part] * 10 + (u - '0');
        } else if ((u == ':' || u == '.') && part < 3 && digits > 0) {
            ++part;
            digits = 0;
        } else {
            return -1;
        }
    }
    if (part != 3 || digits != 3 || parts[0] > 23 || parts[1] > 59 || parts[2] > 59)
        return -1;
    return ((parts[0] * 60 + parts[1]) * 60 + parts[2]) * 1000 + parts[3];
}

// A clock time counts from midnight; any other text is read as whole seconds,
// after the same "." to ":" replacement, so a decimal fraction reads as 0.
uint64_t timestampOf(QStringView field)
{
    const QStringView trimmed = field.trimmed();
    if (trimmed.isEmpty())
        return 0;
    const int fast = clockMilliseconds(trimmed);
    if (fast >= 0)
        return uint64_t(fast) * 1000;

    const QString text = trimmed.toString().toUpper().replace(QLatin1Char('.'), QLatin1Char(':'));
    QTime time = QTime::fromString(text, QStringLiteral("HH:mm:ss:zzz"));
    if (!time.isValid())
        time = QTime::fromString(text, QStringLiteral("H:m:s:zzz"));
    if (time.isValid())
        return uint64_t(time.msecsSinceStartOfDay()) * 1000;
    return secondsToMicroseconds(text.toDouble());
}

// The untrimmed field, upper-cased, as UTF-8 cut to the record's 31 bytes.
void storeTimeText(QStringView field, Vemi_CANFD_Data &frame)
{
    char ascii[Vemi_CANFD_Data::TimeTextSize];
    const int count = int(std::min<qsizetype>(field.size(), Vemi_CANFD_Data::TimeTextSize - 1));
    for (int i = 0; i < count; ++i) {
        const ushort u = field.at(i).unicode();
        if (u >= 0x80) {
            const QByteArray utf8 = field.toString().toUpper().toUtf8();
            frame.setTimeText(utf8.constData(), std::size_t(utf8.size()));
            return;
        }
        ascii[i] = char(u >= 'a' && u <= 'z' ? u - ('a' - 'A') : u);
    }
    frame.setTimeText(ascii, std::size_t(count));
}

// Blank-separated hexadecimal bytes, at most frame.length of them.
void readDataBytes(QStringView field, Vemi_CANFD_Data &frame)
{
    const qsizetype size = field.size();
    qsizetype pos = 0;
    for (int j = 0; j < frame.length; ++j) {
        while (pos < size && field.at(pos).isSpace())
            ++pos;
        if (pos == size)
            return;
        qsizetype end = pos;
        while (end < size && !field.at(end).isSpace())
            ++end;
        frame.data[j] = uint8_t(toUnsignedBare<16>(field.mid(pos, end - pos)) & 0xFF);
        pos = end;
    }
}

// The Chinese header names its time column this way. Looking for the first
// character alone runs through the line much faster than a substring search.
bool containsHeaderWord(QStringView line)
{
    const QChar first(0x65F6);
    const QChar second(0x95F4);
    for (qsizetype pos = line.indexOf(first); pos >= 0; pos = line.indexOf(first, pos + 1)) {
        if (pos + 1 < line.size() && line.at(pos + 1) == second)
            return true;
    }
    return false;
}

} // namespace

CsvParser::CsvParser() = default;
CsvParser::~CsvParser() = default;

bool CsvParser::parseLine(QStringView line, Vemi_CANFD_Data &frame)
{
    Fields fields;
    if (!splitFields(line, fields))
        return false;

    if (toUnsigned<10>(fields[DirectionField]) == 1)
        frame.setDirection(1);
    storeTimeText(fields[TimeField], frame);
    frame.timestamp = timestampOf(fields[TimeField]);
    frame.id = uint32_t(toUnsigned<16>(fields[IdField]) & Vemi_CANFD_Data::IdMask);
    frame.setProtocol(uint8_t(toUnsigned<10>(fields[CanTypeField]) & 0x03));
    if (toUnsigned<10>(fields[FrameFormatField]) == 1)
        frame.id |= Vemi_CANFD_Data::RemoteBit;
    if (toUnsigned<10>(fields[FrameTypeField]) == 1)
        frame.id |= Vemi_CANFD_Data::ExtendedBit;
    // The record holds 64 data bytes; a larger length is limited to them.
    frame.length = uint8_t(std::min<quint64>(toUnsigned<10>(fields[LengthField]) & 0xFF,
                                             Vemi_CANFD_Data::MaxDataLength));
    readDataBytes(fields[DataField], frame);
    return true;
}

bool CsvParser::parse(const QString &filePath, std::atomic<bool> &stopRequested)
{
    emit progressUpdated(0, QStringLiteral("开始解析CSV文件..."));

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
        const QStringView line = QStringView(rawLine).trimmed();
        ++lineCount;
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || lineCount == 1
            || containsHeaderWord(line))
            continue;

        Vemi_CANFD_Data frame;
        if (!parseLine(line, frame))
            continue;
        batch.append(frame);

        if (batch.size() >= BatchSize) {
            emit dataParsed(batch);
            batch = QVector<Vemi_CANFD_Data>();
            batch.reserve(BatchSize);
        }
        if (lineCount % ProgressInterval == 0)
            emit progressUpdated(int(std::min<qint64>(lineCount / 1000, 95)),
                                 QStringLiteral("正在解析CSV..."));
    }

    if (!batch.isEmpty())
        emit dataParsed(batch);
    emit progressUpdated(100, QStringLiteral("解析完成"));
    emit parsingFinished(true, QStringLiteral("CSV文件解析成功"));
    return true;
}
