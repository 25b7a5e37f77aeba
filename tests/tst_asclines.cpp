#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

#include "ascparser.h"
#include "vemi_canfd_data.h"

// The reader's line parsing checked against the plainest form of its rules:
// the line split at the regular expression "\s+", every number read with Qt's
// own conversions, the classic and CAN FD layouts spelt out token by token.
// Both must give the same record for any line, in either number base.
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

bool number(const QStringRef &token, int base, qulonglong &value)
{
    bool ok = false;
    value = token.toULongLong(&ok, base);
    return ok;
}

bool seconds(const QStringRef &token, uint64_t &micros)
{
    if (plainDecimalToMicroseconds(token, micros))
        return true;
    bool ok = false;
    const double scaled = token.toDouble(&ok) * double(MicrosPerSecond);
    double rounded = std::floor(scaled);
    if (scaled - rounded >= 0.5)
        rounded += 1.0;
    micros = !(rounded >= 0.0) || rounded >= 18446744073709551616.0 ? 0 : uint64_t(rounded);
    return ok;
}

bool is(const QStringRef &token, const char *word)
{
    return token.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

bool identifierWord(QStringRef token, int base, uint32_t &id)
{
    bool extended = false;
    if (token.endsWith(QLatin1Char('x'), Qt::CaseInsensitive)) {
        extended = true;
        token.chop(1);
    }
    qulonglong value = 0;
    if (!number(token, base, value))
        return false;
    id = uint32_t(value) & Vemi_CANFD_Data::IdMask;
    if (extended)
        id |= Vemi_CANFD_Data::ExtendedBit;
    return true;
}

bool byte(const QStringRef &token, int base, uint8_t &value)
{
    qulonglong n = 0;
    if (!number(token, base, n) || n > 255)
        return false;
    value = uint8_t(n);
    return true;
}

// Time, channel, direction and identifier, at the places the layout gives.
bool common(const QVector<QStringRef> &t, int channelAt, int directionAt, int idAt, int base,
            Vemi_CANFD_Data &frame)
{
    qulonglong channel = 0;
    if (!seconds(t.at(0), frame.timestamp) || !number(t.at(channelAt), 10, channel)
        || !identifierWord(t.at(idAt), base, frame.id))
        return false;
    const QStringRef &direction = t.at(directionAt);
    if (!is(direction, "Rx") && !is(direction, "Tx") && !is(direction, "TxRq"))
        return false;
    frame.setTimeText(t.at(0));
    frame.channel = uint8_t(channel);
    frame.setDirection(is(direction, "Tx") ? 1 : 0);
    return true;
}

// <time> <channel> <id>[x] <dir> d|r [<dlc>] <byte>... [annotations]
bool classic(const QVector<QStringRef> &t, int base, Vemi_CANFD_Data &frame)
{
    const bool remote = is(t.at(4), "r");
    if (!remote && !is(t.at(4), "d"))
        return false;
    qulonglong dlc = 0;
    const bool hasDlc = t.size() > 5 && number(t.at(5), 16, dlc);
    if ((!remote && !hasDlc) || !common(t, 1, 3, 2, base, frame))
        return false;
    frame.length = uint8_t(std::min<qulonglong>(dlc, 8));
    if (remote) {
        frame.id |= Vemi_CANFD_Data::RemoteBit;
        return true;
    }
    // Bytes end at the first token that is none.
    for (int i = 0; i < frame.length && 6 + i < t.size(); ++i) {
        if (!byte(t.at(6 + i), base, frame.data[i]))
            break;
    }
    return true;
}

// <time> CANFD <channel> <dir> <id>[x] [<name>] <brs> <esi> <dlc> <length> <byte>...
//     [<duration> <bit count> <flags> ...]
bool canFd(const QVector<QStringRef> &t, int base, Vemi_CANFD_Data &frame)
{
    qulonglong value = 0;
    const int at = t.size() > 5 && !number(t.at(5), 10, value) ? 6 : 5;
    qulonglong brs = 0;
    qulonglong esi = 0;
    qulonglong dlc = 0;
    qulonglong length = 0;
    if (t.size() < at + 4 || !number(t.at(at), 10, brs) || !number(t.at(at + 1), 10, esi)
        || !number(t.at(at + 2), 16, dlc) || !number(t.at(at + 3), 10, length) || length > 64)
        return false;
    const int first = at + 4;
    QByteArray data(int(length), '\0');
    for (int i = 0; i < int(length) && first + i < t.size(); ++i) {
        uint8_t b = 0;
        if (!byte(t.at(first + i), base, b))
            return false;
        data[i] = char(b);
    }
    const int flagsAt = first + int(length) + 2;
    qulonglong flags = 0;
    const bool hasFlags = t.size() > flagsAt;
    if ((hasFlags && !number(t.at(flagsAt), 16, flags)) || !common(t, 2, 3, 4, base, frame))
        return false;
    if (hasFlags && (flags & 0x1000) == 0) {
        frame.length = uint8_t(std::min<qulonglong>(dlc, 8));
        if (flags & 0x0010)
            frame.id |= Vemi_CANFD_Data::RemoteBit;
        else
            std::memcpy(frame.data, data.constData(), std::min<size_t>(frame.length, length));
        return true;
    }
    const bool brsSet = hasFlags ? (flags & 0x2000) != 0 : (brs & 0xFF) == 1;
    const bool esiSet = hasFlags ? (flags & 0x4000) != 0 : (esi & 0xFF) == 1;
    frame.setProtocol(brsSet ? 3 : 2);
    frame.errorFlags = esiSet ? 0x80 : 0;
    frame.length = uint8_t(length);
    std::memcpy(frame.data, data.constData(), size_t(length));
    return true;
}

bool parseLine(const QString &line, Vemi_CANFD_Data &frame, int base)
{
    const QVector<QStringRef> tokens = line.splitRef(whitespaceRun(), Qt::SkipEmptyParts);
    Vemi_CANFD_Data parsed;
    const bool ok = tokens.size() >= 5
                    && (tokens.at(1) == QLatin1String("CANFD") ? canFd(tokens, base, parsed)
                                                               : classic(tokens, base, parsed));
    frame = ok ? parsed : Vemi_CANFD_Data();
    return ok;
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
        "255 300 08 0x8 01 ff FFF 100 g1 0b1 1,0 1.0 00000000000000000000001 é 中 1中 "
        "-0 +0 Brake_Status 3000 1000 7000 10 ErrorFrame Length = F f")
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

// Field values for the places of the two layouts: those that fit first, then
// those that break the layout or only nearly fit it.
struct FieldWords
{
    QStringList fitting;
    QStringList breaking;
};

FieldWords words(const char *fitting, const char *breaking)
{
    return {QString::fromUtf8(fitting).split(QLatin1Char(' ')),
            QString::fromUtf8(breaking).split(QLatin1Char(' '))};
}

QString pick(QRandomGenerator &random, const FieldWords &field)
{
    const bool fits = field.breaking.isEmpty() || random.bounded(10) != 0;
    const QStringList &list = fits ? field.fitting : field.breaking;
    return list.at(int(random.bounded(list.size())));
}

// A line shaped like a classic or a CAN FD frame line, each field now and then
// replaced by one that does not fit, and tokens dropped or added at the end.
QString layoutLine(QRandomGenerator &random)
{
    static const FieldWords time =
        words("0.010000 12.3456785 1e3 +2.5 .5 7", "-0.5 nan abc 1.5.3");
    static const FieldWords channel = words("1 2 0 300 +1", "x -1 1.0 中");
    static const FieldWords id = words("1A4 7FFx 18FEF100x 291 1ffX 0x1F FFFFFFFFFx",
                                       "G1 x ErrorFrame J1939TP Statistic: 1A4é");
    static const FieldWords direction = words("Rx Tx TxRq tx rX", "Rq Status: T");
    static const FieldWords kind = words("d r D R", "x dd");
    static const FieldWords dlc = words("0 1 8 F f 9 12 65 0x8 +8", "G -1 Length 1.0");
    static const FieldWords byte = words("01 FF ff 0 7 99 255 0x8 +1 00",
                                         "145 1FF GG Length = ID -0 0x é");
    static const FieldWords name = words("Brake_Status x1 - 1.0 a", "");
    static const FieldWords flag = words("0 1", "2 01 x 256");
    static const FieldWords length = words("0 1 2 8 12 64", "65 x -1 255");
    static const FieldWords flags = words("1000 3000 7000 5000 10 0 1010 0x1000 +3000",
                                          "ZZ FFFFFFFFFFFFFFFFFFFF 1000é");
    static const FieldWords trailing = words("130000 130 0 12ab 46500250", "");

    QStringList tokens{pick(random, time)};
    if (random.bounded(2) == 0) {
        tokens << pick(random, channel) << pick(random, id) << pick(random, direction)
               << pick(random, kind) << pick(random, dlc);
        for (int i = int(random.bounded(10)); i > 0; --i)
            tokens << pick(random, byte);
        if (random.bounded(3) == 0)
            tokens << QStringLiteral("Length = 228000 BitCount = 117 ID = 291").split(' ');
    } else {
        tokens << QStringLiteral("CANFD") << pick(random, channel) << pick(random, direction)
               << pick(random, id);
        if (random.bounded(3) == 0)
            tokens << pick(random, name);
        const QString count = pick(random, length);
        tokens << pick(random, flag) << pick(random, flag) << pick(random, dlc) << count;
        const int bytes = std::max(0, count.toInt() + int(random.bounded(5)) - 2);
        for (int i = random.bounded(4) == 0 ? bytes + 1 : bytes; i > 0; --i)
            tokens << pick(random, byte);
        const int tail = random.bounded(2) == 0 ? 8 : int(random.bounded(5));
        for (int i = 0; i < tail; ++i)
            tokens << (i == 2 ? pick(random, flags) : pick(random, trailing));
    }
    if (random.bounded(8) == 0)
        tokens.removeAt(int(random.bounded(tokens.size())));
    const QStringList &gaps = separators();
    QString line = tokens.first();
    for (int i = 1; i < tokens.size(); ++i)
        line += (random.bounded(20) == 0 ? gaps.at(int(random.bounded(gaps.size())))
                                         : gaps.at(int(random.bounded(3))))
                + tokens.at(i);
    return line.trimmed();
}

bool isAscii(const QString &line)
{
    return std::all_of(line.cbegin(), line.cend(), [](QChar c) { return c.unicode() < 128; });
}

// Parses line both ways in both number bases; a mismatch names the line.
void compareWithReference(const QString &line)
{
    for (int base : {16, 10}) {
        Vemi_CANFD_Data expected;
        const bool expectedOk = Reference::parseLine(line, expected, base);
        Vemi_CANFD_Data actual;
        const QByteArray name =
            "base " + QByteArray::number(base) + ": " + line.toUtf8().toPercentEncoding(" .:+-");
        QVERIFY2(AscParser::parseLine(line, actual, base) == expectedOk, name);
        QVERIFY2(std::memcmp(&actual, &expected, sizeof actual) == 0, name);
        if (isAscii(line)) {
            const QByteArray latin1 = line.toLatin1();
            Vemi_CANFD_Data fromBytes;
            const QLatin1String bytes(latin1.constData(), latin1.size());
            QVERIFY2(AscParser::parseLine(bytes, fromBytes, base) == expectedOk, name);
            QVERIFY2(std::memcmp(&fromBytes, &expected, sizeof fromBytes) == 0, name);
        }
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

    void layoutLinesAsTheReferenceReadsThem()
    {
        QRandomGenerator random(0xA5C2);
        int frames = 0;
        for (int i = 0; i < 60000; ++i) {
            const QString line = layoutLine(random);
            compareWithReference(line);
            if (QTest::currentTestFailed())
                return;
            Vemi_CANFD_Data frame;
            frames += AscParser::parseLine(line, frame) ? 1 : 0;
        }
        // Both outcomes are well represented.
        QVERIFY(frames > 10000 && frames < 50000);
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
