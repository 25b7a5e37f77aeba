#include <cstring>

#include <QTemporaryDir>
#include <QtTest>

#include "ascparser.h"
#include "testsupport.h"

using TestSupport::HubEvent;
using TestSupport::ParseRun;

namespace {

const char *const StartText = "开始解析ASC文件...";
const char *const DoneText = "解析完成";
const char *const SuccessText = "ASC文件解析成功";

// A record as the reader should build it from a fresh, all-zero one.
Vemi_CANFD_Data expect(uint32_t idWord, uint8_t channel, uint8_t flags, uint64_t micros,
                       const char *timeText, uint8_t length, const QByteArray &hexData = {})
{
    Vemi_CANFD_Data frame;
    frame.id = idWord;
    frame.channel = channel;
    frame.flags = flags;
    frame.timestamp = micros;
    frame.setTimeText(timeText, std::strlen(timeText));
    frame.length = length;
    const QByteArray data = QByteArray::fromHex(hexData);
    std::memcpy(frame.data, data.constData(), std::size_t(data.size()));
    return frame;
}

Vemi_CANFD_Data withEsi(Vemi_CANFD_Data frame)
{
    frame.errorFlags = Vemi_CANFD_Data::EsiBit;
    return frame;
}

// "00 01 02 ..." with count tokens.
QByteArray countingBytes(int count)
{
    QByteArray tokens;
    for (int i = 0; i < count; ++i)
        tokens += ' ' + QByteArray::number(i & 0xFF, 16).rightJustified(2, '0');
    return tokens;
}

QByteArray countingHex(int count)
{
    QByteArray hex;
    for (int i = 0; i < count; ++i)
        hex += QByteArray::number(i & 0xFF, 16).rightJustified(2, '0');
    return hex;
}

// Field by field first, for a readable failure; then every byte, so a stray
// byte beyond length or in the time text's tail shows too.
void compareFrames(const QVector<Vemi_CANFD_Data> &actual,
                   const QVector<Vemi_CANFD_Data> &expected)
{
    QCOMPARE(actual.size(), expected.size());
    for (int i = 0; i < actual.size(); ++i) {
        const Vemi_CANFD_Data &a = actual.at(i);
        const Vemi_CANFD_Data &e = expected.at(i);
        QCOMPARE(QByteArray(a.timeText), QByteArray(e.timeText));
        QCOMPARE(a.timestamp, e.timestamp);
        QCOMPARE(QString::number(a.id, 16), QString::number(e.id, 16));
        QCOMPARE(a.channel, e.channel);
        QCOMPARE(a.flags, e.flags);
        QCOMPARE(a.length, e.length);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(a.data), 64).toHex(),
                 QByteArray(reinterpret_cast<const char *>(e.data), 64).toHex());
        QCOMPARE(std::memcmp(&a, &e, sizeof a), 0);
    }
}

QByteArray repeatedLines(int count, const QByteArray &line)
{
    QByteArray text;
    text.reserve(count * (line.size() + 1));
    for (int i = 0; i < count; ++i)
        text += line + '\n';
    return text;
}

// Frame lines whose identifier is the line number, to check file order.
QByteArray numberedFrameLines(int count)
{
    QByteArray text;
    for (int i = 1; i <= count; ++i)
        text += "0.1 1 " + QByteArray::number(i, 16) + " Rx d 1 AA\n";
    return text;
}

} // namespace

class TestAscParser : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

    ParseRun parseText(const QByteArray &text)
    {
        return TestSupport::parseOnWorker(TestSupport::writeFile(dir.path(), "t.asc", text));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        registerFrameMetaTypes();
    }

    void frameLines_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QVector<Vemi_CANFD_Data>>("expected");
        using V = QVector<Vemi_CANFD_Data>;
        const uint32_t X = Vemi_CANFD_Data::ExtendedBit;
        const uint32_t R = Vemi_CANFD_Data::RemoteBit;

        QTest::newRow("classic data frame")
            << QByteArray("0.010000 1 123 Rx d 8 01 02 03 04 05 06 07 08")
            << V{expect(0x123, 1, 0x00, 10000, "0.010000", 8, "0102030405060708")};
        QTest::newRow("CAN FD, bit-rate switch, Tx, extended")
            << QByteArray("2.500000 CANFD 1 Tx 1ABx 1 0 9 12 AA BB CC DD EE FF 00 11 22 33 44 55")
            << V{expect(X | 0x1AB, 1, 0x43, 2500000, "2.500000", 12, "AABBCCDDEEFF001122334455")};
        QTest::newRow("remote frame")
            << QByteArray("1.000000 2 7E8 Rx r 8")
            << V{expect(R | 0x7E8, 2, 0x00, 1000000, "1.000000", 8)};
        QTest::newRow("remote frame without DLC")
            << QByteArray("0.5 1 100 Rx r") << V{expect(R | 0x100, 1, 0, 500000, "0.5", 0)};
        QTest::newRow("6 tokens")
            << QByteArray("0.5 1 100 Rx r 0")
            << V{expect(R | 0x100, 1, 0, 500000, "0.5", 0)};
        QTest::newRow("TxRq is received")
            << QByteArray("0.1 1 100 TxRq d 2 01 02")
            << V{expect(0x100, 1, 0x00, 100000, "0.1", 2, "0102")};
        QTest::newRow("direction ignores case")
            << QByteArray("0.1 1 100 tX d 1 01 Rx")
            << V{expect(0x100, 1, 0x40, 100000, "0.1", 1, "01")};
        QTest::newRow("rx in lower case")
            << QByteArray("0.1 1 100 rx d 1 01")
            << V{expect(0x100, 1, 0x00, 100000, "0.1", 1, "01")};
        QTest::newRow("no direction at all") << QByteArray("0.1 1 100 Xx d 1 01") << V{};
        QTest::newRow("1ffx")
            << QByteArray("0 1 1ffx Rx d 0")
            << V{expect(X | 0x1FF, 1, 0, 0, "0", 0)};
        QTest::newRow("1FFX")
            << QByteArray("0 1 1FFX Rx d 0")
            << V{expect(X | 0x1FF, 1, 0, 0, "0", 0)};
        QTest::newRow("7FF") << QByteArray("0 1 7FF Rx d 0") << V{expect(0x7FF, 1, 0, 0, "0", 0)};
        QTest::newRow("800 stays standard")
            << QByteArray("0 1 800 Rx d 0") << V{expect(0x800, 1, 0, 0, "0", 0)};
        QTest::newRow("identifier cut to 29 bits")
            << QByteArray("0 1 FFFFFFFFx Rx d 0 \n0 1 3FFFFFFF Rx r 0")
            << V{expect(X | 0x1FFFFFFF, 1, 0, 0, "0", 0),
                 expect(R | 0x1FFFFFFF, 1, 0, 0, "0", 0)};
        QTest::newRow("CANFD glued to the time")
            << QByteArray("1.0CANFD 1 Rx 100 0 0 8 8 01 02 03 04 05 06 07 08") << V{};
        QTest::newRow("canfd in lower case") << QByteArray("1.0 canfd 1 Rx 100 1 0 8 8 01") << V{};
        QTest::newRow("CAN FD with 8 tokens") << QByteArray("1.0 CANFD 1 Rx 100 1 0 8") << V{};
        QTest::newRow("CAN FD with 9 tokens")
            << QByteArray("1.0 CANFD 1 Rx 100 1 0 0 0")
            << V{expect(0x100, 1, 0x03, 1000000, "1.0", 0)};
        QTest::newRow("CAN FD, switch flag 2 is no switch")
            << QByteArray("1.0 CANFD 1 Rx 100 2 0 1 1 AB")
            << V{expect(0x100, 1, 0x02, 1000000, "1.0", 1, "AB")};
        QTest::newRow("time that is no number") << QByteArray("abc 1 100 Rx d 1 FF") << V{};
        QTest::newRow("time text cut at 31 bytes")
            << QByteArray("1.000000000000000000000000000000000 1 100 Rx d 0")
            << V{expect(0x100, 1, 0, 1000000, "1.00000000000000000000000000000", 0)};
        // A time glued to white space that only Qt's number reading trims.
        QTest::newRow("time text keeps whole characters")
            << QByteArray("1.0000000000000000000000000000\xe3\x80\x80 1 100 Rx d 0")
            << V{expect(0x100, 1, 0, 1000000, "1.0000000000000000000000000000", 0)};
        QTest::newRow("time text with a character that just fits")
            << QByteArray("1.00000000000000000000000000\xe3\x80\x80 1 100 Rx d 0")
            << V{expect(0x100, 1, 0, 1000000, "1.00000000000000000000000000\xe3\x80\x80", 0)};
        QTest::newRow("DLC 8 with two data tokens")
            << QByteArray("0.1 1 100 Rx d 8 01 02")
            << V{expect(0x100, 1, 0, 100000, "0.1", 8, "0102")};
        QTest::newRow("tokens after the data ignored")
            << QByteArray("0.1 1 100 Rx d 2 01 02 03 04")
            << V{expect(0x100, 1, 0, 100000, "0.1", 2, "0102")};
        QTest::newRow("channel that is no number") << QByteArray("0.1 zz 100 Rx d 0") << V{};
        QTest::newRow("identifier that is no number") << QByteArray("0.1 1 1G0 Rx d 0") << V{};
        QTest::newRow("DLC that is no number") << QByteArray("0.1 1 100 Rx d G 01") << V{};
        QTest::newRow("data ends at a token that is no byte")
            << QByteArray("0.1 1 100 Rx d 3 01 1FF 7")
            << V{expect(0x100, 1, 0, 100000, "0.1", 3, "01")};
        QTest::newRow("channel keeps its low byte")
            << QByteArray("0.1 300 100 Rx d 0")
            << V{expect(0x100, 44, 0, 100000, "0.1", 0)};
        QTest::newRow("stray tabs and CR")
            << QByteArray("\t 0.25\t1\t100\tRx\td\t2\t01\r02 \r\n")
            << V{expect(0x100, 1, 0, 250000, "0.25", 2, "0102")};
        QTest::newRow("CR line ends and a CR between tokens")
            << QByteArray("0.5 1 100 Rx\rd 1 01\r\n; c\r\n0.75 1 100 Rx d 1 02\r\r\n")
            << V{expect(0x100, 1, 0, 500000, "0.5", 1, "01"),
                 expect(0x100, 1, 0, 750000, "0.75", 1, "02")};
        QTest::newRow("UTF-8 byte-order mark")
            << QByteArray("\xef\xbb\xbf" "0.5 1 100 Rx d 0")
            << V{expect(0x100, 1, 0, 500000, "0.5", 0)};
        QTest::newRow("skip prefixes")
            << QByteArray("date 0.1 1 100 Rx d 0\nbase 0.1 1 100 Rx d 0\n"
                          "; 0.1 1 100 Rx d 0\n// 0.1 1 100 Rx d 0\n"
                          "End 0.1 1 100 Rx d 0\n  \t date 0.1 1 100 Rx d 0\n")
            << V{};
        QTest::newRow("Date is no date line") << QByteArray("Date 0.1 1 100 Rx d 0") << V{};
        QTest::newRow("end is no End line") << QByteArray("end 1 100 Rx d 0") << V{};
        // Our writer's length of a classic record of more than 8 bytes reads
        // as a DLC above 8.
        QTest::newRow("classic DLC 65")
            << QByteArray("0.1 1 100 Rx d 65" + countingBytes(70))
            << V{expect(0x100, 1, 0, 100000, "0.1", 8, countingHex(8))};
        QTest::newRow("CAN FD data length 255") << QByteArray("0.1 CANFD 1 Rx 100 1 0 F 255"
                                                              + countingBytes(64)) << V{};
        QTest::newRow("classic DLC 256")
            << QByteArray("0.1 1 100 Rx d 256" + countingBytes(66))
            << V{expect(0x100, 1, 0, 100000, "0.1", 8, countingHex(8))};
        QTest::newRow("time with two points") << QByteArray("1.5.3 1 100 Rx d 0") << V{};

        // The layouts as the tools write them; tst_asc_interop reads their
        // example lines, these are the edge cases around them.
        QTest::newRow("CAN FD with a name, DLC f")
            << QByteArray("0.1 CANFD 1 Rx 100 Msg_1 1 0 f 64" + countingBytes(64))
            << V{expect(0x100, 1, 0x03, 100000, "0.1", 64, countingHex(64))};
        QTest::newRow("classic frame in the CAN FD layout, DLC 9")
            << QByteArray("0.5 CANFD 1 Rx 123 0 0 9 12" + countingBytes(12) + " 0 0 0")
            << V{expect(0x123, 1, 0, 500000, "0.5", 8, countingHex(8))};
        QTest::newRow("flags: ESI without BRS")
            << QByteArray("0.5 CANFD 2 Tx 322 1 1 1 1 11 0 0 5000 0")
            << V{withEsi(expect(0x322, 2, 0x42, 500000, "0.5", 1, "11"))};
        QTest::newRow("no flags: ESI from its column")
            << QByteArray("0.5 CANFD 2 Rx 322 0 1 1 1 11 130000 130")
            << V{withEsi(expect(0x322, 2, 0x02, 500000, "0.5", 1, "11"))};
        QTest::newRow("flags not hexadecimal")
            << QByteArray("0.5 CANFD 2 Rx 322 1 0 1 1 11 0 0 10G0") << V{};
        QTest::newRow("fewer bytes than the data length, then trailing fields")
            << QByteArray("0.5 CANFD 2 Rx 322 1 0 8 8 11 22 130000 130 3000 0") << V{};
        QTest::newRow("CAN FD line ending inside the data")
            << QByteArray("0.5 CANFD 2 Rx 322 1 0 8 8 11 22")
            << V{expect(0x322, 2, 0x03, 500000, "0.5", 8, "1122")};
        QTest::newRow("two names") << QByteArray("0.5 CANFD 2 Rx 322 Msg Other 1 0 1 1 11") << V{};
        QTest::newRow("relative, then absolute")
            << QByteArray("base hex timestamps relative\n1.5 1 1 Rx d 0\n1.5 1 2 Rx d 0\n"
                          "base hex timestamps absolute\n1.5 1 3 Rx d 0\n")
            << V{expect(1, 1, 0, 1500000, "1.5", 0), expect(2, 1, 0, 3000000, "1.5", 0),
                 expect(3, 1, 0, 1500000, "1.5", 0)};
        QTest::newRow("lines keep their order")
            << QByteArray("0.3 1 3 Rx d 0\n0.1 1 1 Rx d 0\n0.2 1 2 Tx d 0\n")
            << V{expect(3, 1, 0, 300000, "0.3", 0), expect(1, 1, 0, 100000, "0.1", 0),
                 expect(2, 1, 0x40, 200000, "0.2", 0)};
    }

    // Each row's lines as whole lines; then without the last line end, where
    // the last line gives the same frame, or is reported as cut and gives none.
    void frameLines()
    {
        QFETCH(QByteArray, text);
        QFETCH(QVector<Vemi_CANFD_Data>, expected);
        const ParseRun run = parseText(text + '\n');
        QVERIFY(run.result);
        QCOMPARE(run.count(HubEvent::EndedEarly), 0);
        compareFrames(run.frames(), expected);

        const ParseRun unended = parseText(text);
        QVERIFY(unended.result);
        if (unended.count(HubEvent::EndedEarly) == 0) {
            compareFrames(unended.frames(), expected);
            return;
        }
        const QVector<Vemi_CANFD_Data> kept = unended.frames();
        QVERIFY(kept.size() >= expected.size() - 1);
        compareFrames(kept, expected.mid(0, kept.size()));
    }

    // Microseconds from the time token: halves round upward, and a time that
    // is not a representable non-negative number reads as 0.
    void timestamps_data()
    {
        QTest::addColumn<QByteArray>("time");
        QTest::addColumn<quint64>("micros");
        QTest::newRow("binary half") << QByteArray("0.0078125") << quint64(7813);
        QTest::newRow("three binary halves") << QByteArray("0.0234375") << quint64(23438);
        QTest::newRow("decimal half") << QByteArray("0.0000005") << quint64(1);
        QTest::newRow("half that a double misses") << QByteArray("0.0001245") << quint64(125);
        QTest::newRow("just below a half") << QByteArray("0.0000004999") << quint64(0);
        QTest::newRow("carry into seconds") << QByteArray("0.9999995") << quint64(1000000);
        QTest::newRow("no fraction") << QByteArray("42") << quint64(42000000);
        QTest::newRow("bare fraction") << QByteArray(".5") << quint64(500000);
        QTest::newRow("long integral part")
            << QByteArray("18446744073709.551615") << quint64(18446744073709551615u);
        QTest::newRow("exponent") << QByteArray("1.5e-3") << quint64(1500);
        QTest::newRow("plus sign") << QByteArray("+2.25") << quint64(2250000);
        QTest::newRow("negative") << QByteArray("-1.5") << quint64(0);
        QTest::newRow("nan") << QByteArray("nan") << quint64(0);
        QTest::newRow("inf") << QByteArray("inf") << quint64(0);
        QTest::newRow("overflow via exponent") << QByteArray("1e300") << quint64(0);
        QTest::newRow("overflow in digits") << QByteArray("18446744073709.5516155") << quint64(0);
    }

    void timestamps()
    {
        QFETCH(QByteArray, time);
        QFETCH(quint64, micros);
        const QVector<Vemi_CANFD_Data> frames = parseText(time + " 1 100 Rx d 0\n").frames();
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames.at(0).timestamp, micros);
        QCOMPARE(QByteArray(frames.at(0).timeText), time);
    }

    // The whole signal sequence one parse delivers to the GUI thread.
    void events_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("expected");
        const QString start = QStringLiteral("progress 0 ") + QString::fromUtf8(StartText);
        const QString done = QStringLiteral("progress 100 ") + QString::fromUtf8(DoneText);
        const QString success = QStringLiteral("finished 1 ") + QString::fromUtf8(SuccessText);

        QTest::newRow("headers and comments only")
            << QByteArray("date Mon Jan 1 00:00:00 2024\nbase hex  timestamps absolute\n"
                          "// version 11.0.0\n; Rx Tx CANFD\nEnd TriggerBlock\n")
            << QStringList{start, done, success};
        QTest::newRow("empty file") << QByteArray() << QStringList{start, done, success};
        QTest::newRow("one frame") << QByteArray("0.1 1 1 Rx d 0")
                                   << QStringList{start, "data 1", done, success};
        QTest::newRow("2000 frames") << numberedFrameLines(2000)
                                     << QStringList{start, "data 2000", done, success};
        QTest::newRow("2001 frames") << numberedFrameLines(2001)
                                     << QStringList{start, "data 2000", "data 1", done, success};
        QTest::newRow("4000 frames and a comment")
            << QByteArray(numberedFrameLines(4000) + "; trailer\n")
            << QStringList{start, "data 2000", "data 2000", done, success};
    }

    void events()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, expected);
        const ParseRun run = parseText(text);
        QCOMPARE(run.describe(), expected);
        QVERIFY(run.result);

        // Batches carry the lines in file order.
        const QVector<Vemi_CANFD_Data> frames = run.frames();
        for (int i = 0; i < frames.size(); ++i)
            QCOMPARE(frames.at(i).identifier(), uint32_t(i + 1));
    }

    void progress_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QList<int>>("expected");

        const QByteArray comment("; filler");
        auto with = [&](const QByteArray &line10k, const QByteArray &line20k) -> QByteArray {
            QByteArray text = repeatedLines(9999, comment) + line10k + '\n';
            text += repeatedLines(9999, comment) + line20k + '\n';
            return text + repeatedLines(5000, comment);
        };
        const QByteArray frame("0.1 1 100 Rx d 1 01");
        QTest::newRow("frames at 10 000 and 20 000")
            << with(frame, frame) << QList<int>{0, 10, 20, 100};
        QTest::newRow("comment at 10 000") << with(comment, frame) << QList<int>{0, 20, 100};
        QTest::newRow("plain text at 10 000")
            << with("internal events logged", frame) << QList<int>{0, 10, 20, 100};
        QTest::newRow("dropped frame line at 10 000")
            << with("0.1 1 100 Rx d", frame) << QList<int>{0, 20, 100};
        QTest::newRow("status line naming Rx at 10 000")
            << with("0.5 CAN 1 Status:chip status error passive - TxErr: 132 RxErr: 0", frame)
            << QList<int>{0, 20, 100};
        QTest::newRow("error frame at 10 000")
            << with("0.5 1 ErrorFrame", frame) << QList<int>{0, 10, 20, 100};
        QTest::newRow("120 000 lines")
            << repeatedLines(120000, "Start of measurement")
            << QList<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 95, 95, 95, 100};
    }

    void progress()
    {
        QFETCH(QByteArray, text);
        QFETCH(QList<int>, expected);
        const ParseRun run = parseText(text);
        QCOMPARE(run.progressValues(), expected);
        for (const HubEvent &event : run.events) {
            if (event.kind == HubEvent::Progress && event.percent > 0 && event.percent < 100)
                QCOMPARE(event.message, QStringLiteral("正在解析..."));
        }
        // Beside each line-count report, the share of the file's bytes read:
        // growing, and short of 100 until the end.
        QCOMPARE(run.shares.size(), expected.size() - 2);
        for (int i = 0; i < run.shares.size(); ++i) {
            QVERIFY(run.shares.at(i) >= (i > 0 ? run.shares.at(i - 1) : 0));
            QVERIFY(run.shares.at(i) <= 99);
        }
        if (run.shares.size() == 12)
            QCOMPARE(run.shares.mid(0, 3), (QList<int>{8, 16, 25}));
    }
};

QTEST_GUILESS_MAIN(TestAscParser)
#include "tst_ascparser.moc"
