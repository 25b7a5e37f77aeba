#include "csvparser.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include <QStringView>
#include <QTime>

#include "csvlayout.h"
#include "linesource.h"
#include "textlogreader.h"
#include "textnumber.h"

namespace {

constexpr int FieldCount = CsvColumnCount;

template<typename View>
using Fields = std::array<View, FieldCount>;

int indexOfComma(QStringView line, int from)
{
    return int(line.indexOf(QLatin1Char(','), from));
}

// QLatin1String's own search widens the text to UTF-16 first; the fields are
// too short for memchr to pay.
int indexOfComma(QLatin1String line, int from)
{
    const char *text = line.data();
    for (int i = from; i < line.size(); ++i) {
        if (text[i] == ',')
            return i;
    }
    return -1;
}

// The first nine comma-separated fields, empty ones kept; false when the line
// has fewer. Views into the line, so nothing is allocated.
template<typename View>
bool splitFields(View line, Fields<View> &fields)
{
    int start = 0;
    for (int i = 0; i < FieldCount; ++i) {
        int end = start <= int(line.size()) ? indexOfComma(line, start) : -1;
        if (end < 0) {
            if (i < FieldCount - 1)
                return false;
            end = int(line.size());
        }
        fields[i] = line.mid(start, end - start);
        start = end + 1;
    }
    return true;
}

// QChar::isSpace within Latin-1: tab to carriage return, space, next line and
// no-break space.
bool isSpace(QLatin1Char c)
{
    const char16_t u = c.unicode();
    return u == ' ' || (u >= '\t' && u <= '\r') || u == 0x85 || u == 0xA0;
}

QStringView trimmed(QStringView text)
{
    return text.trimmed();
}

QLatin1String trimmed(QLatin1String text)
{
    int begin = 0;
    int end = text.size();
    while (begin < end && isSpace(text.at(begin)))
        ++begin;
    while (end > begin && isSpace(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

// The whole field as an unsigned number; white space around it is allowed.
template<int Base, typename View>
quint64 toUnsigned(View text)
{
    return TextNumber::toUnsigned<Base>(trimmed(text));
}

QString toQString(QStringView text)
{
    return text.toString();
}

QString toQString(QLatin1String text)
{
    return QString(text);
}

// Reads a clock time in its usual spellings - hours, minutes and seconds of one
// or two digits, three millisecond digits, "." or ":" between - without
// building a QTime parser for each line. Every text it accepts reads the same
// through QTime with one of the two formats; -1 sends the rest there.
template<typename View>
int clockMilliseconds(View text)
{
    int parts[4] = {0, 0, 0, 0};
    int part = 0;
    int digits = 0;
    for (int i = 0; i < int(text.size()); ++i) {
        const ushort u = text.at(i).unicode();
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
template<typename View>
uint64_t timestampOf(View field)
{
    const View bare = trimmed(field);
    if (bare.isEmpty())
        return 0;
    const int fast = clockMilliseconds(bare);
    if (fast >= 0)
        return uint64_t(fast) * 1000;

    const QString text = toQString(bare).toUpper().replace(QLatin1Char('.'), QLatin1Char(':'));
    QTime time = QTime::fromString(text, QStringLiteral("HH:mm:ss:zzz"));
    if (!time.isValid())
        time = QTime::fromString(text, QStringLiteral("H:m:s:zzz"));
    if (time.isValid())
        return uint64_t(time.msecsSinceStartOfDay()) * 1000;
    return TextNumber::secondsToMicroseconds(text.toDouble());
}

// The untrimmed field, upper-cased, as UTF-8 cut to the record's 31 bytes.
template<typename View>
void storeTimeText(View field, Vemi_CANFD_Data &frame)
{
    char ascii[Vemi_CANFD_Data::TimeTextSize];
    const int count = int(std::min<qsizetype>(field.size(), Vemi_CANFD_Data::TimeTextSize - 1));
    for (int i = 0; i < count; ++i) {
        const ushort u = field.at(i).unicode();
        if (u >= 0x80) {
            const QByteArray utf8 = toQString(field).toUpper().toUtf8();
            frame.setTimeText(utf8.constData(), std::size_t(utf8.size()));
            return;
        }
        ascii[i] = char(u >= 'a' && u <= 'z' ? u - ('a' - 'A') : u);
    }
    frame.setTimeText(ascii, std::size_t(count));
}

// Hexadecimal bytes, at most frame.length of them, separated by blanks: other
// white space only surrounds the field or a byte, and a byte with white space
// inside reads as 0.
void readDataBytes(QStringView field, Vemi_CANFD_Data &frame)
{
    field = field.trimmed();
    const int size = int(field.size());
    int pos = 0;
    for (int j = 0; j < frame.length; ++j) {
        while (pos < size && field.at(pos) == QLatin1Char(' '))
            ++pos;
        if (pos == size)
            return;
        int end = pos;
        while (end < size && field.at(end) != QLatin1Char(' '))
            ++end;
        frame.data[j] = uint8_t(toUnsigned<16>(field.mid(pos, end - pos)) & 0xFF);
        pos = end;
    }
}

// The same for a Latin-1 field, where the bytes are nearly always two digits
// and a blank, as the writer writes them.
void readDataBytes(QLatin1String field, Vemi_CANFD_Data &frame)
{
    field = trimmed(field);
    const char *p = field.data();
    const char *const end = p + field.size();
    for (int j = 0; j < frame.length;) {
        if (p == end)
            return;
        if (*p == ' ') {
            ++p;
            continue;
        }
        // Two digits and a blank or the end, as the writer writes a byte.
        if (end - p >= 2 && (end - p == 2 || p[2] == ' ')) {
            const int high = TextNumber::digitValue(uchar(p[0]));
            const int low = TextNumber::digitValue(uchar(p[1]));
            if (high < 16 && low < 16) {
                frame.data[j++] = uint8_t(high << 4 | low);
                p += 2;
                continue;
            }
        }
        const char *tokenEnd = p;
        while (tokenEnd < end && *tokenEnd != ' ')
            ++tokenEnd;
        frame.data[j++] = uint8_t(toUnsigned<16>(QLatin1String(p, int(tokenEnd - p))));
        p = tokenEnd;
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

template<typename View>
bool fillRecord(View line, Vemi_CANFD_Data &frame)
{
    Fields<View> fields;
    if (!splitFields(line, fields))
        return false;

    if (toUnsigned<10>(fields[int(CsvColumn::Direction)]) == 1)
        frame.setDirection(1);
    storeTimeText(fields[int(CsvColumn::Time)], frame);
    frame.timestamp = timestampOf(fields[int(CsvColumn::Time)]);
    frame.id = uint32_t(toUnsigned<16>(fields[int(CsvColumn::Id)]) & Vemi_CANFD_Data::IdMask);
    frame.setProtocol(uint8_t(toUnsigned<10>(fields[int(CsvColumn::CanType)]) & 0x03));
    if (toUnsigned<10>(fields[int(CsvColumn::FrameFormat)]) == 1)
        frame.id |= Vemi_CANFD_Data::RemoteBit;
    if (toUnsigned<10>(fields[int(CsvColumn::FrameType)]) == 1)
        frame.id |= Vemi_CANFD_Data::ExtendedBit;
    // The record holds 64 data bytes; a larger length is limited to them.
    frame.length = uint8_t(std::min<quint64>(toUnsigned<10>(fields[int(CsvColumn::Length)]) & 0xFF,
                                             Vemi_CANFD_Data::MaxDataLength));
    readDataBytes(fields[int(CsvColumn::Data)], frame);
    return true;
}

// How many whole blank-separated bytes the data field of a frame line holds:
// a last byte shorter than the first is cut (writers give every byte the
// same width).
template<typename View>
int dataBytesPresent(View line)
{
    Fields<View> fields;
    if (!splitFields(line, fields))
        return 0;
    const View field = trimmed(fields[int(CsvColumn::Data)]);
    int count = 0;
    int firstWidth = 0;
    int width = 0;
    for (int i = 0; i <= int(field.size()); ++i) {
        if (i < int(field.size()) && field.at(i).unicode() != ' ') {
            ++width;
            continue;
        }
        if (width > 0) {
            firstWidth = count == 0 ? width : firstWidth;
            ++count;
        }
        if (i == int(field.size()) && count >= 2 && width > 0 && width < firstWidth)
            --count;
        width = 0;
    }
    return count;
}

// A last line without its line end is whole when it is the header, a comment
// or empty, or a frame with every data byte.
template<typename View>
bool isWholeLastLine(View line, qint64 lineNumber, TextLogReader::Line outcome,
                     const Vemi_CANFD_Data &frame)
{
    if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || lineNumber == 1)
        return true;
    return outcome == TextLogReader::Line::Frame && dataBytesPresent(line) >= frame.length;
}

template<typename View>
TextLogReader::Line readLine(View line, qint64 lineNumber, Vemi_CANFD_Data &frame)
{
    using Line = TextLogReader::Line;
    // The first line is the header, whatever it holds.
    if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || lineNumber == 1)
        return Line::Skipped;
    return CsvParser::parseLine(line, frame) ? Line::Frame : Line::Skipped;
}

} // namespace

CsvParser::CsvParser() = default;
CsvParser::~CsvParser() = default;

bool CsvParser::parseLine(QStringView line, Vemi_CANFD_Data &frame)
{
    return !containsHeaderWord(line) && fillRecord(line, frame);
}

bool CsvParser::parseLine(QLatin1String line, Vemi_CANFD_Data &frame)
{
    // The header word lies outside Latin-1: a Latin-1 line never holds it.
    return fillRecord(line, frame);
}

bool CsvParser::parse(const QString &filePath, std::atomic<bool> &stopRequested)
{
    TextLogReader reader(*this, {QStringLiteral("开始解析CSV文件..."),
                                 QStringLiteral("正在解析CSV..."),
                                 QStringLiteral("CSV文件解析成功")});
    return reader.run(
        filePath, QIODevice::Text, stopRequested,
        [](const LineSource &line, qint64 lineNumber, Vemi_CANFD_Data &frame) {
            return line.isAscii() ? readLine(line.asciiLine(), lineNumber, frame)
                                  : readLine(QStringView(line.textLine()), lineNumber, frame);
        },
        [](const LineSource &line, qint64 lineNumber, TextLogReader::Line outcome,
           const Vemi_CANFD_Data &frame) {
            return line.isAscii()
                       ? isWholeLastLine(line.asciiLine(), lineNumber, outcome, frame)
                       : isWholeLastLine(QStringView(line.textLine()), lineNumber, outcome,
                                         frame);
        });
}
