#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

#include "ascparser.h"
#include "vemi_canfd_data.h"

// The reader's line parsing checked against the mechanism it replaces:
// splitting the line at the regular expression "\s+" and reading every number
// with Qt's own conversions. Both must give the same record for any line.
namespace Reference {

constexpr uint64_t MicrosPerSecond = 1000000;

const QRegularExpression &whitespaceRun()
{
    static const QRegularExpression pattern(QStringLiteral("\\s+"));
    return pattern;
}

int digitValue(QChar c)
{
    const char16_t u = c.unicode();
    return u >= '0' && u <= '9' ? u - '0' : -1;
}

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
                roundUp = d >= 5;
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

uint64_t secondsToMicroseconds(const QStringRef &token)
{
    uint64_t micros = 0;
    if (plainDecimalToMicroseconds(token, micros))
        return micros;
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

uint8_t clampedLength(const QStringRef &token)
{
    return static_cast<uint8_t>(
        std::min<qulonglong>(token.toULongLong(nullptr, 10), Vemi_CANFD_Data::MaxDataLength));
}

bool isTx(const QStringRef &token)
{
    return token.compare(QLatin1String("Tx"), Qt::CaseInsensitive) == 0;
}

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

bool parseLine(const QString &line, Vemi_CANFD_Data &frame)
{
    QString work = line;
    const bool isFd = work.contains(QLatin1String("CANFD"));
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

} // namespace Reference

namespace {

// Tokens a line is made of: well-formed fields and every kind of damage the
// number conversions may meet.
const QStringList &vocabulary()
{
    static const QStringList words = QString::fromUtf8(
        "0.010000 2.500000 1 12.3456785 0.0000005 1e3 -0.5 +2.5 .5 5. inf nan 0x10 "
        "99999999999999999999.5 18446744073709.551615 abc CANFD CANFDx xCANFD CANFDCANFD "
        "Rx Tx tx TX TxRq rx d r R D x X 1ABx 1ffX 7FF 800 1FFFFFFFx FFFFFFFFFFFFFFFFFF "
        "18446744073709551615 18446744073709551616 0x1F 0X1f +1F ++1 -1 +0x 0x +- 8 12 64 65 "
        "255 300 08 0x8 01 ff FFF 100 g1 0b1 1,0 1.0 00000000000000000000001 é 中 1中")
        .split(QLatin1Char(' '));
    return words;
}

// What may stand between tokens: the separators of "\s", and white space
// that "\s" does not match, between tokens or glued to them.
const QStringList &separators()
{
    static const QStringList list{
        QStringLiteral(" "), QStringLiteral("\t"), QStringLiteral("  "), QStringLiteral("\v"),
        QStringLiteral("\f"), QStringLiteral("\r"), QStringLiteral(" \t "),
        QString(QChar(0x00A0)), QString(QChar(0x3000)), QString(QChar(0x2003)),
        QString(QChar(0x0085)), QString(QChar(0xFEFF)), QString(QChar(0x001F)),
        QString(QChar(0))};
    return list;
}

QString randomLine(QRandomGenerator &random)
{
    const QStringList &words = vocabulary();
    const QStringList &gaps = separators();
    QString line;
    const int count = int(random.bounded(4, 30));
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            line += random.bounded(8) == 0 ? gaps.at(int(random.bounded(gaps.size())))
                                           : gaps.at(int(random.bounded(3)));
        line += words.at(int(random.bounded(words.size())));
    }
    return line.trimmed();
}

bool isAscii(const QString &line)
{
    return std::all_of(line.cbegin(), line.cend(), [](QChar c) { return c.unicode() < 128; });
}

// Parses line both ways; a mismatch names the line.
void compareWithReference(const QString &line)
{
    Vemi_CANFD_Data expected;
    const bool expectedOk = Reference::parseLine(line, expected);
    Vemi_CANFD_Data actual;
    const QByteArray name = line.toUtf8().toPercentEncoding(" .:+-");
    QVERIFY2(AscParser::parseLine(line, actual) == expectedOk, name);
    QVERIFY2(std::memcmp(&actual, &expected, sizeof actual) == 0, name);
    if (isAscii(line)) {
        const QByteArray latin1 = line.toLatin1();
        Vemi_CANFD_Data fromBytes;
        const QLatin1String bytes(latin1.constData(), latin1.size());
        QVERIFY2(AscParser::parseLine(bytes, fromBytes) == expectedOk, name);
        QVERIFY2(std::memcmp(&fromBytes, &expected, sizeof fromBytes) == 0, name);
    }
}

} // namespace

class TestAscLines : public QObject
{
    Q_OBJECT

private slots:
    void randomLinesAsTheReferenceReadsThem()
    {
        QRandomGenerator random(0xA5C);
        for (int i = 0; i < 60000; ++i) {
            compareWithReference(randomLine(random));
            if (QTest::currentTestFailed())
                return;
        }
    }

    // Every character in the place of a separator: only what "\s" matches
    // splits tokens.
    void everyCharacterBetweenTokens()
    {
        for (char32_t c = 1; c < 0x110000; ++c) {
            if (c >= 0xD800 && c < 0xE000)
                continue;
            const QString between = QString::fromUcs4(&c, 1);
            compareWithReference(QStringLiteral("0.5") + between + QStringLiteral("1 7FF Rx d 2 01")
                                 + between + QStringLiteral("02"));
            if (QTest::currentTestFailed())
                return;
        }
    }
};

QTEST_GUILESS_MAIN(TestAscLines)
#include "tst_asclines.moc"
