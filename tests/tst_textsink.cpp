#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include "linebuffer.h"
#include "testsupport.h"
#include "textsink.h"

namespace {

// Writes a header through the stream, then the lines through a sink taking
// the given route, then a closing line through the stream; returns the file.
QByteArray writeLines(const QString &path, QIODevice::OpenMode mode,
                      const QList<QByteArray> &lines, TextSink::Route route,
                      TextSink::Route *taken = nullptr)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | mode))
        return {};
    QTextStream out(&file);
    if (!QTest::currentDataTag() || QByteArray(QTest::currentDataTag()).startsWith("EBCDIC"))
        out.setCodec("IBM037");
    out << QStringLiteral("\u65F6\u95F4,header\n");
    {
        TextSink sink(out, route);
        if (taken)
            *taken = sink.route();
        LineBuffer line;
        for (const QByteArray &text : lines) {
            line.clear();
            line.append(QLatin1String(text.constData(), text.size()));
            sink.write(line);
        }
    }
    out << "End\n";
    out.flush();
    file.close();
    return TestSupport::readFile(path);
}

} // namespace

class TestTextSink : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QTextCodec::setCodecForLocale(nullptr); }

    // The file written directly is the file the stream writes.
    void sameBytesAsTheStream_data()
    {
        QTest::addColumn<QByteArray>("localeCodec");
        QTest::addColumn<bool>("direct");
        QTest::newRow("UTF-8") << QByteArray("UTF-8") << true;
        QTest::newRow("Latin-1") << QByteArray("ISO-8859-1") << true;
        QTest::newRow("GB18030") << QByteArray("GB18030") << true;
        // Set on the stream: a locale codec that does not keep ASCII breaks
        // much else.
        QTest::newRow("EBCDIC, through the stream") << QByteArray("UTF-8") << false;
    }

    void sameBytesAsTheStream()
    {
        QFETCH(QByteArray, localeCodec);
        QFETCH(bool, direct);
        QTextCodec::setCodecForLocale(QTextCodec::codecForName(localeCodec));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QRandomGenerator random(7);
        QList<QByteArray> lines;
        // Enough to fill the sink's block several times; every ASCII character.
        for (int i = 0; i < 20000; ++i) {
            QByteArray line;
            for (int n = int(random.bounded(80)); n > 0; --n)
                line += char(random.bounded(128));
            lines << line + '\n';
        }
        for (QIODevice::OpenMode mode : {QIODevice::NotOpen, QIODevice::Text}) {
            TextSink::Route taken;
            const QByteArray sunk = writeLines(dir.filePath(QStringLiteral("direct")), mode,
                                               lines, TextSink::Route::Direct, &taken);
            QCOMPARE(taken == TextSink::Route::Direct, direct);
            const QByteArray streamed = writeLines(dir.filePath(QStringLiteral("stream")), mode,
                                                   lines, TextSink::Route::Stream);
            QVERIFY(sunk.size() > 500000);
            QVERIFY(sunk == streamed);
        }
    }
};

QTEST_GUILESS_MAIN(TestTextSink)
#include "tst_textsink.moc"
