#include <memory>

#include <QDir>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include "datahub.h"
#include "idataparser.h"
#include "testsupport.h"

using TestSupport::HubEvent;
using TestSupport::ParseRun;

namespace {

struct Dispatch
{
    const char *row;
    const char *fileName;
    const char *suffix; // lower-cased, as the warning names it
    const char *reader; // empty: no reader for this suffix
};

// The reader each file name gets. A format whose reader arrives changes its
// row here and nothing else.
const Dispatch dispatchTable[] = {
    {"trace.ASC", "trace.ASC", "asc", "AscParser"},
    {"trace.Asc", "trace.Asc", "asc", "AscParser"},
    {"trace.asc", "trace.asc", "asc", "AscParser"},
    {"dotted folder", "run.v2/trace.asc", "asc", "AscParser"},
    {"no suffix", "trace", "", ""},
    {"trace.txt", "trace.txt", "txt", ""},
    {"trace.asc.bak", "trace.asc.bak", "bak", ""},
    {"trace.Csv", "trace.Csv", "csv", "CsvParser"},
    {"log.BLF", "log.BLF", "blf", "BlfParser"},
    {"candump.Log", "candump.Log", "log", "CandumpParser"},
    {"trace.trc", "trace.trc", "trc", "TrcParser"},
};

void ignoreUnsupportedWarning(const char *suffix)
{
    const QByteArray message = QByteArray("不支持的文件格式:") + suffix;
    QTest::ignoreMessage(QtWarningMsg, message.constData());
}

QByteArray frameLines(int count, int firstId = 1)
{
    QByteArray text;
    text.reserve(count * 24);
    for (int i = 0; i < count; ++i)
        text += "0.1 1 " + QByteArray::number(firstId + i, 16) + " Rx d 1 AA\n";
    return text;
}

const QString StartText = QStringLiteral("progress 0 开始解析ASC文件...");
const QString DoneText = QStringLiteral("progress 100 解析完成");
const QString SuccessText = QStringLiteral("finished 1 ASC文件解析成功");
const QString OpenFailureText = QStringLiteral("finished 0 无法打开文件");

} // namespace

class TestDataHub : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        registerFrameMetaTypes();
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("run.v2")));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("folder.asc")));
    }

    void createParser_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("suffix");
        QTest::addColumn<QByteArray>("reader");
        for (const Dispatch &d : dispatchTable)
            QTest::newRow(d.row) << QString::fromUtf8(d.fileName) << QByteArray(d.suffix)
                                 << QByteArray(d.reader);
    }

    void createParser()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, suffix);
        QFETCH(QByteArray, reader);
        DataHub hub;
        const int live = IDataParser::liveInstances();
        if (reader.isEmpty())
            ignoreUnsupportedWarning(suffix.constData());
        std::unique_ptr<IDataParser> parser(hub.createParser(dir.filePath(fileName)));
        if (reader.isEmpty()) {
            QVERIFY(!parser);
            QCOMPARE(IDataParser::liveInstances(), live);
            return;
        }
        QVERIFY(parser);
        QCOMPARE(QByteArray(parser->metaObject()->className()), reader);
        QCOMPARE(parser->parent(), nullptr);
        parser.reset();
        QCOMPARE(IDataParser::liveInstances(), live);
    }

    // Even a file with frames in it: the suffix alone decides, and an
    // unsupported one leaves the listeners without any signal.
    void unsupportedFileEmitsNothing_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("suffix");
        for (const Dispatch &d : dispatchTable) {
            if (!*d.reader)
                QTest::newRow(d.row) << QString::fromUtf8(d.fileName) << QByteArray(d.suffix);
        }
    }

    void unsupportedFileEmitsNothing()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, suffix);
        const QString path = TestSupport::writeFile(dir.path(), fileName, frameLines(3));
        ignoreUnsupportedWarning(suffix.constData());
        const ParseRun run = TestSupport::parseOnWorker(path);
        QVERIFY(!run.result);
        QCOMPARE(run.describe(), QStringList());
    }

    void openFailure_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing file") << dir.filePath(QStringLiteral("missing.asc"));
        // QFile refuses to open a directory for reading.
        QTest::newRow("directory") << dir.filePath(QStringLiteral("folder.asc"));
    }

    void openFailure()
    {
        QFETCH(QString, path);
        const int live = IDataParser::liveInstances();
        const ParseRun run = TestSupport::parseOnWorker(path);
        QVERIFY(!run.result);
        QCOMPARE(run.describe(), (QStringList{StartText, OpenFailureText}));
        QCOMPARE(IDataParser::liveInstances(), live);
    }

    void signalsArriveInGuiThreadInOrder()
    {
        const QString path = TestSupport::writeFile(dir.path(), "order.asc", frameLines(4001));
        DataHub hub;
        QList<QThread *> threads;
        const auto note = [&threads] { threads << QThread::currentThread(); };
        connect(&hub, &DataHub::progressUpdated, this, note);
        connect(&hub, &DataHub::dataParsed, this, note);
        connect(&hub, &DataHub::parsingFinished, this, note);
        std::atomic<bool> stop{false};
        const ParseRun run = TestSupport::parseOnWorker(hub, path, stop);

        QVERIFY(run.result);
        QCOMPARE(run.describe(), (QStringList{StartText, "data 2000", "data 2000", "data 1",
                                             DoneText, SuccessText}));
        QCOMPARE(threads.size(), run.events.size());
        for (QThread *thread : threads)
            QCOMPARE(thread, QCoreApplication::instance()->thread());
        const QVector<Vemi_CANFD_Data> frames = run.frames();
        for (int i = 0; i < frames.size(); ++i)
            QCOMPARE(frames.at(i).identifier(), uint32_t(i + 1));
    }

    // One hub, two files: each run has a reader of its own, released when
    // its worker thread ends, and nothing of the first run reaches the second.
    void filesOneAfterAnother()
    {
        const QString first = TestSupport::writeFile(dir.path(), "a.asc", frameLines(1, 0xA));
        const QString second = TestSupport::writeFile(dir.path(), "b.asc", frameLines(2, 0xB));
        const int live = IDataParser::liveInstances();
        DataHub hub;
        std::atomic<bool> stop{false};

        const ParseRun a = TestSupport::parseOnWorker(hub, first, stop);
        QCOMPARE(IDataParser::liveInstances(), live);
        const ParseRun b = TestSupport::parseOnWorker(hub, second, stop);
        QCOMPARE(IDataParser::liveInstances(), live);

        QCOMPARE(a.describe(), (QStringList{StartText, "data 1", DoneText, SuccessText}));
        QCOMPARE(b.describe(), (QStringList{StartText, "data 2", DoneText, SuccessText}));
        QCOMPARE(b.frames().at(0).identifier(), 0xBu);
        QCOMPARE(b.frames().at(1).identifier(), 0xCu);
    }

    // The GUI thread asks for the stop when the first batch reaches it; the
    // worker still has most of the 300 000 lines ahead of it then.
    void stopInTheMiddle()
    {
        constexpr int Lines = 300000;
        const QString path = TestSupport::writeFile(dir.path(), "big.asc", frameLines(Lines));
        const int live = IDataParser::liveInstances();
        DataHub hub;
        std::atomic<bool> stop{false};
        connect(&hub, &DataHub::dataParsed, this, [&stop] { stop.store(true); });
        QTest::ignoreMessage(QtDebugMsg, "检测到停止信号，线程正在退出...");
        const ParseRun run = TestSupport::parseOnWorker(hub, path, stop);

        QVERIFY(!run.result);
        QCOMPARE(run.count(HubEvent::Finished), 0);
        QVERIFY(!run.progressValues().contains(100));
        QVERIFY(run.count(HubEvent::Data) >= 1);
        // Batches handed over before the stop stay delivered, whole and in order.
        const QVector<Vemi_CANFD_Data> frames = run.frames();
        QVERIFY(frames.size() < Lines);
        QCOMPARE(frames.size() % 2000, 0);
        for (int i = 0; i < frames.size(); ++i)
            QCOMPARE(frames.at(i).identifier(), uint32_t(i + 1));
        QCOMPARE(IDataParser::liveInstances(), live);
    }

    void stopBeforeTheFirstLine()
    {
        const QString path = TestSupport::writeFile(dir.path(), "stopped.asc", frameLines(5));
        const int live = IDataParser::liveInstances();
        DataHub hub;
        std::atomic<bool> stop{true};
        QTest::ignoreMessage(QtDebugMsg, "检测到停止信号，线程正在退出...");
        const ParseRun run = TestSupport::parseOnWorker(hub, path, stop);
        QVERIFY(!run.result);
        QCOMPARE(run.describe(), QStringList{StartText});
        QCOMPARE(IDataParser::liveInstances(), live);
    }
};

QTEST_GUILESS_MAIN(TestDataHub)
#include "tst_datahub.moc"
