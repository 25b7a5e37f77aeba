#include <unistd.h>

#include <QSignalSpy>
#include <QtTest>

#include "candataexporter.h"
#include "exportcontext.h"
#include "testsupport.h"

using TestSupport::makeFrame;

namespace {

Vemi_CANFD_Data errorEntry(uint64_t timestamp)
{
    Vemi_CANFD_Data entry = makeFrame(0x1, 0, 0, false, false, false, timestamp);
    entry.errorFlags = Vemi_CANFD_Data::ErrorEntry;
    return entry;
}

// The frame lines of an ASC file, those that begin with their time: no
// header, no trigger-block lines.
QList<QByteArray> ascFrameLines(const QString &path)
{
    QList<QByteArray> lines;
    for (const QByteArray &line : TestSupport::readFile(path).split('\n')) {
        if (!line.isEmpty() && line.at(0) >= '0' && line.at(0) <= '9')
            lines << line;
    }
    return lines;
}

QStringList listing(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

} // namespace

Q_DECLARE_METATYPE(CanDataExporter::Failure)

class TestExporter : public QObject
{
    Q_OBJECT

private slots:
    void emptyInputTouchesNothing()
    {
        QTemporaryDir dir;
        const QString existing =
            TestSupport::writeFile(dir.path(), QStringLiteral("old.asc"), "keep");
        const QString missing = dir.filePath(QStringLiteral("new.csv"));
        CanDataExporter exporter;
        QVERIFY(!exporter.exportData({}, ExportFormat::Asc, SortOrder::Ascending, existing));
        QVERIFY(!exporter.exportData({}, ExportFormat::Csv, SortOrder::None, missing));
        QCOMPARE(exporter.lastFailure(), CanDataExporter::Failure::NoFrames);
        QCOMPARE(TestSupport::readFile(existing), QByteArray("keep"));
        QVERIFY(!QFile::exists(missing));
    }

    void sortOrder_data()
    {
        QTest::addColumn<quint8>("order");
        QTest::addColumn<QList<QByteArray>>("identifiers");
        // The standard and the extended 0x100 share one key; either may come first.
        const QList<QByteArray> input{"300", "100x", "200", "100", "7FF"};
        QTest::newRow("none") << quint8(0) << input;
        QTest::newRow("ascending")
            << quint8(1) << QList<QByteArray>{"100", "100", "200", "300", "7FF"};
        QTest::newRow("descending")
            << quint8(2) << QList<QByteArray>{"7FF", "300", "200", "100", "100"};
        QTest::newRow("code 3 keeps order") << quint8(3) << input;
        QTest::newRow("code 255 keeps order") << quint8(255) << input;
    }

    void sortOrder()
    {
        QFETCH(quint8, order);
        QFETCH(QList<QByteArray>, identifiers);
        const QVector<Vemi_CANFD_Data> frames{
            makeFrame(0x300, 1, 0, false, false, false, 40), makeFrame(0x100, 1, 0, true),
            makeFrame(0x200, 1, 0, false, false, false, 10), makeFrame(0x100, 1),
            makeFrame(0x7FF, 1, 0, false, true)};
        const QVector<Vemi_CANFD_Data> before = frames;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("sorted.asc"));
        CanDataExporter exporter;
        QVERIFY(exporter.exportData(frames, ExportFormat::Asc, SortOrder(order), path));

        QList<QByteArray> written;
        for (const QByteArray &line : ascFrameLines(path)) {
            QByteArray id = line.split('\t').value(2);
            written << (order == 1 || order == 2 ? id.replace('x', "") : id);
        }
        QCOMPARE(written, identifiers);
        for (int i = 0; i < frames.size(); ++i)
            QCOMPARE(frames[i].id, before[i].id);
    }

    void timeOriginIncludesErrorEntries()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("origin.asc"));
        CanDataExporter exporter;
        QVERIFY(exporter.exportData({makeFrame(0x5, 0, 0, false, false, false, 5000000),
                                     errorEntry(1000000)},
                                    ExportFormat::Asc, SortOrder::None, path));
        QCOMPARE(ascFrameLines(path), QList<QByteArray>{"4.000000\t1\t5\tRx\td\t0\t"});
    }

    void singleFrameCsvShowsStartTime()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("one.csv"));
        CanDataExporter exporter;
        const QTime before = QTime::currentTime();
        QVERIFY(exporter.exportData({makeFrame(0x1, 0, 0, false, false, false, 99)},
                                    ExportFormat::Csv, SortOrder::None, path));
        const QTime after = QTime::currentTime();
        if (after < before)
            QSKIP("the export crossed midnight");
        const QByteArray clock =
            TestSupport::readFile(path).split('\n').value(1).split(',').value(1);
        const QTime written =
            QTime::fromString(QString::fromLatin1(clock), QStringLiteral("HH:mm:ss:zzz"));
        QVERIFY2(before <= written && written <= after, clock.constData());
    }

    void unknownFormatLeavesEmptyFile()
    {
        QTemporaryDir dir;
        const QString path = TestSupport::writeFile(dir.path(), QStringLiteral("out.xyz"), "old");
        CanDataExporter exporter;
        // 3 is candump's: 4 is the first code of no format.
        QVERIFY(exporter.exportData({makeFrame(0x1, 8)}, ExportFormat(4), SortOrder::None, path));
        QVERIFY(QFile::exists(path));
        QCOMPARE(QFileInfo(path).size(), qint64(0));
    }

    void progress_data()
    {
        QTest::addColumn<quint8>("format");
        QTest::addColumn<QVector<Vemi_CANFD_Data>>("frames");
        QTest::addColumn<QList<int>>("expected");
        const Vemi_CANFD_Data frame = makeFrame(0x1, 1);
        const Vemi_CANFD_Data error = errorEntry(0);
        using Frames = QVector<Vemi_CANFD_Data>;
        const Frames three{frame, frame, frame};
        QTest::newRow("asc") << quint8(0) << three << QList<int>{33, 66, 100};
        QTest::newRow("csv") << quint8(1) << three << QList<int>{33, 66, 100};
        QTest::newRow("asc error first")
            << quint8(0) << Frames{error, frame, frame} << QList<int>{66, 100};
        QTest::newRow("asc error last")
            << quint8(0) << Frames{frame, frame, error} << QList<int>{33, 66};
        QTest::newRow("csv error first")
            << quint8(1) << Frames{error, frame, frame} << QList<int>{33, 66};
        QTest::newRow("candump error first")
            << quint8(3) << Frames{error, frame, frame} << QList<int>{66, 100};
    }

    void progress()
    {
        QFETCH(quint8, format);
        QFETCH(QVector<Vemi_CANFD_Data>, frames);
        QFETCH(QList<int>, expected);
        QTemporaryDir dir;
        CanDataExporter exporter;
        QSignalSpy spy(&exporter, &CanDataExporter::progressUpdated);
        QVERIFY(exporter.exportData(frames, ExportFormat(format), SortOrder::None,
                                    dir.filePath(QStringLiteral("progress.out"))));
        QList<int> values;
        for (const QList<QVariant> &arguments : qAsConst(spy))
            values << arguments.at(0).toInt();
        QCOMPARE(values, expected);
    }

    void progressOfMillionsDoesNotOverflow()
    {
        QList<int> values;
        ExportContext context;
        context.total = 30000000;
        context.progress = [&values](int percent) { values << percent; };
        context.reportProgress(25000000);
        context.reportProgress(context.total);
        QCOMPARE(values, (QList<int>{83, 100}));
    }

    // The percentage, worked out only where it changes, is counted * 100 /
    // total for every count, also when counts are skipped.
    void progressRuleForEveryCount()
    {
        for (int total : {1, 2, 3, 7, 99, 100, 101, 999, 30001}) {
            for (int step : {1, 3}) {
                QList<int> values;
                ExportContext context;
                context.total = total;
                context.progress = [&values](int percent) { values << percent; };
                QList<int> expected;
                for (int counted = 1; counted <= total; counted += step) {
                    context.reportProgress(counted);
                    expected << int(int64_t(counted) * 100 / total);
                }
                QCOMPARE(values, expected);
            }
        }
    }

    void unusablePath_data()
    {
        using Failure = CanDataExporter::Failure;
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("readOnlyFolder");
        QTest::addColumn<Failure>("failure");
        QTest::addColumn<QString>("reason"); // in English, as tavrix-convert says it
        QTest::newRow("missing folder") << "missing/out.asc" << false << Failure::FolderMissing
                                        << "the folder does not exist";
        QTest::newRow("path is a folder") << "folder" << false << Failure::WriteFailed
                                          << "the file could not be written (Is a directory)";
        QTest::newRow("read-only folder") << "locked/out.asc" << true << Failure::NoPermission
                                          << "no permission to write there";
        QTest::newRow("proc") << "/proc/tavrix-export.asc" << false << Failure::WriteFailed
                              << "the file could not be written (No such file or directory)";
        QTest::newRow("sysfs") << "/sys/tavrix-export.asc" << false << Failure::NoPermission
                               << "no permission to write there";
    }

    void unusablePath()
    {
        QFETCH(QString, name);
        QFETCH(bool, readOnlyFolder);
        QFETCH(CanDataExporter::Failure, failure);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("locked")));
        const QString locked = dir.filePath(QStringLiteral("locked"));
        QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
        if (readOnlyFolder && geteuid() == 0)
            QSKIP("permissions do not stop root");
        const QStringList before = listing(dir.path());
        const QString path = name.startsWith('/') ? name : dir.filePath(name);

        CanDataExporter exporter;
        for (const quint8 format : {0, 1, 2, 3}) {
            QVERIFY(!exporter.exportData({makeFrame(0x1, 8)}, ExportFormat(format),
                                         SortOrder::Ascending, path));
            QCOMPARE(exporter.lastFailure(), failure);
            QCOMPARE(CanDataExporter::failureText(failure, exporter.lastSystemError(), false),
                     reason);
        }
        QCOMPARE(listing(dir.path()), before);
        QVERIFY(listing(locked).isEmpty());
        QVERIFY(QFileInfo(dir.filePath(QStringLiteral("folder"))).isDir());
        QVERIFY(!QFile::exists(QStringLiteral("/proc/tavrix-export.asc")));
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void fullDiskFails_data()
    {
        QTest::addColumn<quint8>("format");
        QTest::addColumn<int>("count");
        QTest::newRow("asc, buffered until close") << quint8(0) << 1;
        QTest::newRow("asc, fails while writing") << quint8(0) << 5000;
        QTest::newRow("csv, buffered until close") << quint8(1) << 1;
        QTest::newRow("csv, fails while writing") << quint8(1) << 5000;
        QTest::newRow("blf, buffered until close") << quint8(2) << 1;
        QTest::newRow("blf, fails while writing") << quint8(2) << 5000;
        QTest::newRow("candump, fails while writing") << quint8(3) << 5000;
    }

    void fullDiskFails()
    {
        QFETCH(quint8, format);
        QFETCH(int, count);
        if (!QFileInfo(QStringLiteral("/dev/full")).isWritable())
            QSKIP("no /dev/full");
        const QVector<Vemi_CANFD_Data> frames(count, makeFrame(0x123, 64, 3));
        CanDataExporter exporter;
        QSignalSpy spy(&exporter, &CanDataExporter::progressUpdated);
        QVERIFY(!exporter.exportData(frames, ExportFormat(format), SortOrder::None,
                                     QStringLiteral("/dev/full")));
        QCOMPARE(exporter.lastFailure(), CanDataExporter::Failure::NoSpace);
        // A failed write stops the export instead of formatting the rest.
        QVERIFY(spy.size() < count || count == 1);
    }
};

QTEST_GUILESS_MAIN(TestExporter)
#include "tst_exporter.moc"
