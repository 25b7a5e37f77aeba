#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QTextStream>
#include <QtTest>

#include "linesource.h"
#include "testsupport.h"

namespace {

// Pieces random files are made of: plain text, every kind of line end and
// white space, multi-byte characters (among them white space that trimming
// removes, and a byte-order mark), and broken UTF-8.
const QList<QByteArray> &pieces()
{
    static const QList<QByteArray> list{
        "a", "Rx", "0.5", "CANFD", "x", "1F", ";", ",", " ", "  ", "\t", "\v", "\f", "\r",
        "\n", "\r\n", "\n\n", QByteArray("\0", 1), "\xC3\xA9", "\xE4\xB8\xAD",
        "\xC2\xA0", "\xC2\x85", "\xE3\x80\x80", "\xE2\x80\x83", "\xEF\xBB\xBF",
        "\xF0\x9F\x98\x80", "\x80", "\xC3", "\xE3\x80", "\xF0\x9F\x98", "\xFF", "\xFE",
        "\xC0\xAF", "\xED\xA0\x80"};
    return list;
}

QByteArray randomText(QRandomGenerator &random, int pieceCount)
{
    QByteArray text;
    const QList<QByteArray> &list = pieces();
    for (int i = 0; i < pieceCount; ++i)
        text += list.at(int(random.bounded(list.size())));
    return text;
}

QStringList referenceLines(const QString &path, QIODevice::OpenMode mode)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | mode))
        return {};
    QTextStream in(&file);
    QStringList lines;
    QString line;
    while (!in.atEnd()) {
        in.readLineInto(&line);
        lines << line.trimmed();
    }
    return lines;
}

QStringList sourceLines(const QString &path, QIODevice::OpenMode mode, std::size_t readSize,
                        LineSource::Decoding *decoding = nullptr)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | mode))
        return {};
    LineSource source(file, LineSource::Decoding::Bytes, readSize);
    if (decoding)
        *decoding = source.decoding();
    QStringList lines;
    while (!source.atEnd()) {
        source.readLine();
        lines << (source.isAscii() ? QString(source.asciiLine()) : source.textLine());
    }
    return lines;
}

} // namespace

class TestLineSource : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QTextCodec::setCodecForLocale(nullptr); }

    // Random files read as bytes give the lines a text stream gives, in both
    // open modes and with buffers small enough to cut lines and characters.
    void sameLinesAsTextStream_data()
    {
        QTest::addColumn<QByteArray>("localeCodec");
        // Read as bytes, not by a stream (also so: a file with a UTF-8 byte-order mark).
        QTest::addColumn<bool>("bytes");
        QTest::newRow("UTF-8") << QByteArray("UTF-8") << true;
        QTest::newRow("Latin-1") << QByteArray("ISO-8859-1") << true;
        QTest::newRow("GBK, through a stream") << QByteArray("GBK") << false;
    }

    void sameLinesAsTextStream()
    {
        QFETCH(QByteArray, localeCodec);
        QFETCH(bool, bytes);
        QTextCodec::setCodecForLocale(QTextCodec::codecForName(localeCodec));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QRandomGenerator random(20240611);
        const QByteArray starts[] = {"", "\xEF\xBB\xBF", "\xEF\xBB", "\r\xEF\xBB\xBF"};
        for (int round = 0; round < 400; ++round) {
            // A few files longer than the stream's 16 KiB reads.
            const int pieceCount = round % 40 == 0 ? 20000 : int(random.bounded(400));
            const QByteArray content = starts[round % 4] + randomText(random, pieceCount);
            const QString path = TestSupport::writeFile(dir.path(), QStringLiteral("f"), content);
            const std::size_t readSize = round % 3 == 0 ? 1 : round % 3 == 1 ? 7 : 4096;
            for (QIODevice::OpenMode mode : {QIODevice::NotOpen, QIODevice::Text}) {
                LineSource::Decoding decoding;
                const QStringList lines = sourceLines(path, mode, readSize, &decoding);
                QCOMPARE(decoding == LineSource::Decoding::Bytes,
                         bytes || content.startsWith("\xEF\xBB\xBF"));
                QCOMPARE(lines, referenceLines(path, mode));
            }
        }
    }

    // Where the stream's 16 KiB reads end shows in its results; the same
    // results here.
    void streamBlockEnds_data()
    {
        QTest::addColumn<QByteArray>("content");
        const QByteArray ascii(16383, 'a');
        QTest::newRow("mark at a block start after ASCII") << ascii + "\n\xEF\xBB\xBFx\n";
        QTest::newRow("mark at a block start after UTF-8")
            << "\xC3\xA9\n" + QByteArray(16380, 'a') + "\n\xEF\xBB\xBFx\n";
        QTest::newRow("mark at a line start within a block") << QByteArray("a\n\xEF\xBB\xBFx\n");
        QTest::newRow("mark within a line") << ascii + "\ny\xEF\xBB\xBFx\n";
        QTest::newRow("broken sequence across blocks") << ascii + "\xE4\xB8" "A\n";
        QTest::newRow("undecodable tail in a new block") << ascii + "\n\xC3";
        QTest::newRow("undecodable tail in the last block") << QByteArray("x\n\xC3");
        QTest::newRow("undecodable file") << QByteArray("\xC3");
        QTest::newRow("carriage return tail") << ascii + "\n\r";
        QTest::newRow("carriage return inside a sequence") << QByteArray("\xE4\r\xB8\xAD\n");
    }

    void streamBlockEnds()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = TestSupport::writeFile(dir.path(), QStringLiteral("f"), content);
        for (QIODevice::OpenMode mode : {QIODevice::NotOpen, QIODevice::Text})
            QCOMPARE(sourceLines(path, mode, 4096), referenceLines(path, mode));
    }

    // A Unicode byte-order mark makes the stream decode UTF-16 or UTF-32.
    void byteOrderMarksGoThroughAStream_data()
    {
        QTest::addColumn<QByteArray>("codec");
        QTest::newRow("UTF-16LE") << QByteArray("UTF-16LE");
        QTest::newRow("UTF-16BE") << QByteArray("UTF-16BE");
        QTest::newRow("UTF-32LE") << QByteArray("UTF-32LE");
    }

    void byteOrderMarksGoThroughAStream()
    {
        QFETCH(QByteArray, codec);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString text = QStringLiteral("\uFEFFdate x\r\n0.5 1 100 Rx d 1 01\r\n\u4E2D\u00A0");
        const QString path = TestSupport::writeFile(
            dir.path(), QStringLiteral("f"), QTextCodec::codecForName(codec)->fromUnicode(text));
        LineSource::Decoding decoding;
        const QStringList lines = sourceLines(path, QIODevice::NotOpen, 4096, &decoding);
        QCOMPARE(decoding, LineSource::Decoding::Stream);
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines, referenceLines(path, QIODevice::NotOpen));
    }
};

QTEST_GUILESS_MAIN(TestLineSource)
#include "tst_linesource.moc"
