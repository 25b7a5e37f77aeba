#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>

#include <QRandomGenerator>
#include <QTime>
#include <QtTest>

#include "csvparser.h"
#include "vemi_canfd_data.h"

// The reader's line parsing checked against the mechanism it replaces: the
// line split at every comma with QString::split, numbers read with QString's
// own conversions, the time through QTime, the data split at blanks. Both must
// give the same record for any line. The reference is adjusted only where that
// mechanism leaves the result open: a length above 64, and seconds whose
// microseconds an unsigned 64-bit count cannot hold.
namespace Reference {

// Unsigned, in the given base; white space around the number is allowed and
// anything unreadable is 0.
quint64 number(const QString &field, int base)
{
    return field.toULongLong(nullptr, base);
}

// Halves upward. A product that an unsigned 64-bit count cannot hold (negative,
// too large, not a number) has no value of its own; the reader makes it 0, as
// it does any other unreadable time.
uint64_t roundedMicroseconds(double seconds)
{
    const double scaled = seconds * 1000000.0;
    double rounded = std::floor(scaled);
    if (scaled - rounded >= 0.5)
        rounded += 1.0;
    if (!(rounded >= 0.0) || rounded >= 18446744073709551616.0)
        return 0;
    return static_cast<uint64_t>(rounded);
}

uint64_t timestamp(const QString &field)
{
    const QString text = field.trimmed().toUpper().replace(QLatin1Char('.'), QLatin1Char(':'));
    QTime time = QTime::fromString(text, QStringLiteral("HH:mm:ss:zzz"));
    if (!time.isValid())
        time = QTime::fromString(text, QStringLiteral("H:m:s:zzz"));
    if (time.isValid())
        return uint64_t(time.msecsSinceStartOfDay()) * 1000;
    return roundedMicroseconds(text.toDouble());
}

bool parseLine(const QString &line, Vemi_CANFD_Data &frame)
{
    if (line.contains(QStringLiteral("时间")))
        return false;
    const QStringList fields = line.split(QLatin1Char(','));
    if (fields.size() < 9)
        return false;

    if (number(fields.at(0), 10) == 1)
        frame.flags |= 0x40;
    const QByteArray timeText = fields.at(1).toUpper().toUtf8();
    std::memcpy(frame.timeText, timeText.constData(),
                std::min<std::size_t>(std::size_t(timeText.size()), 31));
    frame.timestamp = timestamp(fields.at(1));
    frame.id = uint32_t(number(fields.at(3).trimmed(), 16) & 0x1FFFFFFF);
    frame.flags |= uint8_t(number(fields.at(4), 10) & 3);
    if (number(fields.at(5), 10) == 1)
        frame.id |= 0x20000000;
    if (number(fields.at(6), 10) == 1)
        frame.id |= 0x40000000;
    // Adjusted for the reader's choice: a length above 64 is limited to 64.
    frame.length = uint8_t(std::min<quint64>(number(fields.at(7), 10) & 0xFF, 64));

    const QString data = fields.at(8).trimmed();
    if (data.isEmpty() || frame.length == 0)
        return true;
    const QStringList pieces = data.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (int j = 0; j < frame.length && j < pieces.size(); ++j)
        frame.data[j] = uint8_t(number(pieces.at(j), 16) & 0xFF);
    return true;
}

} // namespace Reference

namespace {

// Field texts the conversions may meet: what the writer writes, near misses
// of it, and numbers at and beyond every limit.
const QStringList &vocabulary()
{
    static const QStringList words = QString::fromUtf8(
        "0 1 2 3 01 +1 -1 -0 1.0 1e0 x 4 6 7 10 255 256 257 258 63 64 65 100 8 12 48 "
        "0x000001A5 0x1FFFFFFF 0xFFFFFFFF 0X7ff 7FF 1FFFFFFF 0x 0X 0xg 0x+1 +0x10 ++1 +- "
        "18446744073709551615 18446744073709551616 FFFFFFFFFFFFFFFF 10000000000000000 "
        "0xFFFFFFFFFFFFFFFF 0x10000000000000000 4294967297 00000000000000000000001 "
        "00:00:00:000 23:59:59:999 23:59:59.999 00:00:00.000 12:34:56.789 12:34:56:789 "
        "24:00:00:000 99:59:59:999 9:5:7.100 1:2:3:4 1:2:3:456 12:34:56 12:34:56:78 "
        "12:34:56:7890 12:60:00:000 12:00:60:000 123:4:5:678 12.34.56.789 12::56:789 "
        ":12:34:56:789 12:34:56:789: +1:2:3:456 -1:2:3:456 1:-2:3:456 ５:0:0:000 "
        "5 1.5 -5 +5 .5 5. 2e-3 2E-3 1e300 1e400 -1e400 inf -inf nan 0.0000005 5e-7 "
        "4503599627370497E-6 9007199254740993E-6 49999999999999994E-23 18446744073709E0 "
        "18446744073710 1844674407370955 abc zz g1 ABCDEF é 中 时间 时 间 时时间 ß µ ÿ "
        "−5 ٥ ＡＢ")
        .split(QLatin1Char(' '));
    return words;
}

// White space of every kind, and characters that merely look like it.
const QStringList &gaps()
{
    static const QStringList list{
        QStringLiteral(" "), QStringLiteral("  "), QStringLiteral("\t"), QStringLiteral("\v"),
        QStringLiteral("\f"), QStringLiteral("\r"), QStringLiteral("\n"),
        QString(QChar(0x00A0)), QString(QChar(0x0085)), QString(QChar(0x3000)),
        QString(QChar(0x2003)), QString(QChar(0x1680)), QString(QChar(0x200B)),
        QString(QChar(0xFEFF)), QString(QChar(0x001F)), QString(QChar(0))};
    return list;
}

QString pick(QRandomGenerator &random, const QStringList &list)
{
    return list.at(int(random.bounded(list.size())));
}

// A time of day as the writer writes it, with "." before the milliseconds,
// or with parts of any digit count up to 99, a separator of either kind and
// now and then a part missing.
QString clockTime(QRandomGenerator &random)
{
    static const int edges[] = {0, 999, 1000, 59999, 3599999, 43200000, 86399999};
    const int ms = random.bounded(4) == 0 ? edges[random.bounded(7)]
                                          : int(random.bounded(86400000));
    QString text = QTime::fromMSecsSinceStartOfDay(ms).toString(QStringLiteral("HH:mm:ss:zzz"));
    switch (random.bounded(4)) {
    case 0:
        text[8] = QLatin1Char('.');
        break;
    case 1:
        text.clear();
        for (int i = 0, parts = int(random.bounded(3, 5)); i < parts; ++i) {
            if (i > 0)
                text += QLatin1Char(random.bounded(2) ? ':' : '.');
            if (random.bounded(12) > 0)
                text += QString::number(random.bounded(i == 3 ? 1000 : 100))
                            .rightJustified(int(random.bounded(4)), QLatin1Char('0'));
        }
        break;
    default:
        break;
    }
    return text;
}

// A line as the writer writes it: a frame, or now and then an error entry
// with its absolute time in whole microseconds.
QString writerLine(QRandomGenerator &random)
{
    static const int lengths[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64};
    const int length = lengths[random.bounded(16)];
    QString data;
    for (int i = 0; i < length; ++i)
        data += QString::asprintf("%02X ", random.bounded(256));
    if (random.bounded(10) == 0)
        return QStringLiteral("2,") + QString::number(random.generate64() >> random.bounded(64))
               + QStringLiteral(",,,,,,,") + data;
    return QString::asprintf("%d,", random.bounded(4)) + clockTime(random)
           + QString::asprintf(", ,0x%08X,%d,%d,%d,%d,", random.bounded(0x20000000u),
                               random.bounded(4), random.bounded(2), random.bounded(2), length)
           + data;
}

// Any character at all, a Latin-1 one more often.
QString anyCharacter(QRandomGenerator &random)
{
    const char32_t c = random.bounded(2) ? char32_t(random.bounded(256))
                                         : char32_t(random.bounded(0x110000));
    return QString::fromUcs4(&c, 1);
}

QString mutatedField(QRandomGenerator &random, QString field)
{
    const int at = int(random.bounded(field.size() + 1));
    switch (random.bounded(9)) {
    case 0: return pick(random, gaps()) + field + pick(random, gaps());
    case 1: return field.insert(at, pick(random, gaps()));
    case 2: return field.insert(at, anyCharacter(random));
    case 3: return pick(random, vocabulary());
    case 4: return QString();
    case 5: return (random.bounded(2) ? QStringLiteral("0x") : QStringLiteral("-")) + field;
    case 6: return field.toLower();
    case 7: return field.replace(QLatin1Char(' '), pick(random, gaps()));
    default: return field + QString::number(random.generate64());
    }
}

// A writer's line with a few of its fields damaged, fields added up to 12 or
// taken away.
QString mutatedLine(QRandomGenerator &random)
{
    QStringList fields = writerLine(random).split(QLatin1Char(','));
    for (int n = int(random.bounded(1, 4)); n > 0; --n) {
        const int i = int(random.bounded(fields.size()));
        fields[i] = mutatedField(random, fields.at(i));
    }
    if (random.bounded(4) == 0) {
        for (int n = int(random.bounded(1, 4)); n > 0; --n)
            fields.append(pick(random, vocabulary()));
    } else if (random.bounded(6) == 0) {
        fields.removeAt(int(random.bounded(fields.size())));
    }
    return fields.join(QLatin1Char(','));
}

// Words and characters strung together with commas, blanks and worse.
QString randomLine(QRandomGenerator &random)
{
    QString line;
    const int count = int(random.bounded(4, 40));
    for (int i = 0; i < count; ++i) {
        switch (random.bounded(8)) {
        case 0: line += pick(random, gaps()); break;
        case 1: line += anyCharacter(random); break;
        case 2: case 3: case 4: line += QLatin1Char(','); break;
        default: line += pick(random, vocabulary()); break;
        }
    }
    return line;
}

bool isLatin1(const QString &line)
{
    return std::all_of(line.cbegin(), line.cend(), [](QChar c) { return c.unicode() < 256; });
}

// Parses the trimmed line both ways; a mismatch names the line.
void compareWithReference(const QString &untrimmed)
{
    const QString line = untrimmed.trimmed();
    Vemi_CANFD_Data expected;
    const bool expectedOk = Reference::parseLine(line, expected);
    Vemi_CANFD_Data actual;
    const QByteArray name = line.toUtf8().toPercentEncoding(" .:+-,");
    QVERIFY2(CsvParser::parseLine(QStringView(line), actual) == expectedOk, name);
    QVERIFY2(std::memcmp(&actual, &expected, sizeof actual) == 0, name);
    if (isLatin1(line)) {
        const QByteArray latin1 = line.toLatin1();
        Vemi_CANFD_Data fromBytes;
        const QLatin1String bytes(latin1.constData(), latin1.size());
        QVERIFY2(CsvParser::parseLine(bytes, fromBytes) == expectedOk, name);
        QVERIFY2(std::memcmp(&fromBytes, &expected, sizeof fromBytes) == 0, name);
    }
}

} // namespace

class TestCsvLines : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // QTime's parser goes through local time; without TZ the C library
        // looks at /etc/localtime on every call, ten times slower.
        qputenv("TZ", "UTC");
        tzset();
    }

    void linesAsTheReferenceReadsThem_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("as written") << 0;
        QTest::newRow("damaged fields") << 1;
        QTest::newRow("random words") << 2;
    }

    void linesAsTheReferenceReadsThem()
    {
        QFETCH(int, kind);
        QRandomGenerator random(0xC5F + kind);
        for (int i = 0; i < 40000; ++i) {
            compareWithReference(kind == 0   ? writerLine(random)
                                 : kind == 1 ? mutatedLine(random)
                                             : randomLine(random));
            if (QTest::currentTestFailed())
                return;
        }
    }

    // Every character around a number, inside a clock time, and beside and
    // between data bytes.
    void everyCharacterInEveryField()
    {
        for (char32_t c = 1; c < 0x110000; ++c) {
            if (c >= 0xD800 && c < 0xE000)
                continue;
            const QString x = QString::fromUcs4(&c, 1);
            compareWithReference(x + QStringLiteral("1,12:34:56") + x + QStringLiteral("789, ,")
                                 + x + QStringLiteral("0x1A5") + x + QStringLiteral(",2,0,0,")
                                 + x + QStringLiteral("8,01") + x + QLatin1Char(' ') + x
                                 + QStringLiteral("02 03"));
            if (QTest::currentTestFailed())
                return;
        }
    }
};

QTEST_GUILESS_MAIN(TestCsvLines)
#include "tst_csvlines.moc"
