#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"

using TestSupport::HubEvent;
using TestSupport::ParseRun;

namespace {

// Bytes of every value, NULs and lone CRs included, in lines of random length.
QByteArray randomBytes(quint32 seed, int size, bool withNewlines)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, '\0');
    for (char &byte : bytes) {
        byte = char(random.bounded(256));
        if (!withNewlines && byte == '\n')
            byte = ' ';
        else if (withNewlines && random.bounded(40) == 0)
            byte = '\n';
    }
    return bytes;
}

// Lines built from the words a frame line is made of, in random order and
// number, so that most of them reach the token rules and many break them.
QByteArray tokenSoup(quint32 seed, int lines)
{
    static const char *const words[] = {
        "CANFD", "Rx", "Tx", "TxRq", "d", "r", "R", "x", "1", "0", "8", "9", "15", "64", "65",
        "255", "256", "1.5", "-1", "nan", "inf", "1e999", "0.0000005", "1FFFFFFFFx", "7FF",
        "ZZ", "FF", "\t", "\r", "date", "End", ";", "//", "18446744073709551616", "\xc3\xa9",
        "0x10", "1.0CANFD", "CANFDCANFD", "Brake_Status", "3000", "7000", "10", "F", "f",
        "ErrorFrame", "Length", "=", "base", "timestamps", "relative", "dec", ""};
    constexpr int WordCount = int(sizeof words / sizeof words[0]);
    QRandomGenerator random(seed);
    QByteArray text;
    for (int line = 0; line < lines; ++line) {
        const int count = random.bounded(80);
        for (int i = 0; i < count; ++i) {
            text += words[random.bounded(WordCount)];
            text += random.bounded(8) == 0 ? "" : " ";
        }
        text += '\n';
    }
    return text;
}

// What every record must hold, whatever the input was.
void checkInvariants(const QVector<Vemi_CANFD_Data> &frames)
{
    for (const Vemi_CANFD_Data &frame : frames) {
        QVERIFY(frame.length <= 64);
        QVERIFY(std::memchr(frame.timeText, '\0', sizeof frame.timeText));
        QCOMPARE(frame.id & 0x80000000u, 0u);
        QCOMPARE(frame.flags & 0xBC, 0);
        // Only the ESI bit, and only on CAN FD frames.
        QCOMPARE(frame.errorFlags & ~Vemi_CANFD_Data::EsiBit, 0);
        if (frame.protocol() == Vemi_CANFD_Data::ProtocolCan) {
            QCOMPARE(frame.errorFlags, uint8_t(0));
            QVERIFY(frame.length <= 8);
        }
        QCOMPARE(frame.reserved1, 0u);
        for (int i = frame.length; i < 64; ++i)
            QCOMPARE(frame.data[i], uint8_t(0));
        if (frame.isRemote())
            QCOMPARE(frame.protocol(), uint8_t(0));
    }
}

} // namespace

class TestAscParserBadInput : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

    // Ends as success with whatever frames the rules give. (A directory named
    // .asc, the other bad path, is an open failure: see tst_datahub.)
    void checkRun(const ParseRun &run)
    {
        QVERIFY(run.result);
        QVERIFY(run.events.size() >= 3);
        QCOMPARE(run.events.first().kind, HubEvent::Progress);
        QCOMPARE(run.events.first().percent, 0);
        QCOMPARE(run.count(HubEvent::Finished), 1);
        QCOMPARE(run.events.last().kind, HubEvent::Finished);
        QVERIFY(run.events.last().success);
        QCOMPARE(run.progressValues().last(), 100);
        for (int size : run.batchSizes())
            QVERIFY(size >= 1 && size <= 2000);
        checkInvariants(run.frames());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        registerFrameMetaTypes();
    }

    void survives_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("binary renamed .asc") << randomBytes(0x5eed, 1 << 20, false);
        QTest::newRow("lines of random bytes") << randomBytes(0xb17e, 1 << 20, true);
        QTest::newRow("token soup") << tokenSoup(0xc0ffee, 20000);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("NULs only") << QByteArray(4096, '\0');
        static const char utf16[] = "\xff\xfe" "0\0.\0" "1\0 \0R\0x\0" "!";
        QTest::newRow("UTF-16 byte-order mark and odd length")
            << QByteArray(utf16, sizeof utf16 - 1);
        static const char nuls[] = "0.1 1 100 Rx d 2 01\0 02\n0.2\0 1 100 Rx d 1 03\n";
        QTest::newRow("frame lines with NULs") << QByteArray(nuls, sizeof nuls - 1);
    }

    void survives()
    {
        QFETCH(QByteArray, bytes);
        const QString path = TestSupport::writeFile(dir.path(), "bad.asc", bytes);
        checkRun(TestSupport::parseOnWorker(path));
    }

    // One 50 MB line: a frame whose data tokens run on and on. Only the first
    // eight of them count.
    void fiftyMegabyteLine()
    {
        const QString path = dir.filePath(QStringLiteral("long.asc"));
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QByteArray line("0.5 1 123 Rx d 8");
            const QByteArray chunk = QByteArray(" A5").repeated(1 << 16);
            while (line.size() < 50 * 1024 * 1024)
                line += chunk;
            line += '\n';
            QCOMPARE(file.write(line), qint64(line.size()));
        }
        const ParseRun run = TestSupport::parseOnWorker(path);
        QVERIFY(QFile::remove(path));
        checkRun(run);
        const QVector<Vemi_CANFD_Data> frames = run.frames();
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames.at(0).identifier(), 0x123u);
        QCOMPARE(frames.at(0).length, uint8_t(8));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(frames.at(0).data), 9).toHex(),
                 QByteArray("a5a5a5a5a5a5a5a500"));
    }
};

QTEST_GUILESS_MAIN(TestAscParserBadInput)
#include "tst_ascparser_badinput.moc"
