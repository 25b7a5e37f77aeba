// The BLF branch of the exporter: the objects it hands to the library, read
// back byte for byte from the file, their times, the file's header fields,
// progress, and failures.

#include <csignal>

#include <QDateTime>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "binlog.h"
#include "blfbytes.h"
#include "candataexporter.h"
#include "testsupport.h"

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

using TestSupport::makeFrame;

namespace {

QByteArray counting(int first, int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += char(first + i);
    return bytes;
}

// The object as it must stand in the file, written out field by field.
QByteArray expectedObject(quint32 size, quint32 type, quint64 time)
{
    QByteArray bytes(int(size), '\0');
    bytes.replace(0, 4, "LOBJ");
    BlfBytes::put(bytes, 4, 32, 2);
    BlfBytes::put(bytes, 6, 1, 2);
    BlfBytes::put(bytes, 8, size, 4);
    BlfBytes::put(bytes, 12, type, 4);
    BlfBytes::put(bytes, 16, 2, 4); // nanoseconds
    BlfBytes::put(bytes, 24, time, 8);
    return bytes;
}

QByteArray canObject(quint8 flags, quint8 dlc, quint32 id, const QByteArray &data,
                     quint16 channel = 1)
{
    QByteArray bytes = expectedObject(48, 1, 0);
    BlfBytes::put(bytes, 32, channel, 2);
    bytes[34] = char(flags);
    bytes[35] = char(dlc);
    BlfBytes::put(bytes, 36, id, 4);
    bytes.replace(40, data.size(), data);
    return bytes;
}

// txCount at offset 35, the direction field mDir at 66.
QByteArray fdObject(quint8 dlc, quint8 valid, quint8 txCount, quint8 dir, quint32 id,
                    quint32 flags, const QByteArray &data, quint8 channel = 1)
{
    QByteArray bytes = expectedObject(136, 101, 0);
    bytes[32] = char(channel);
    bytes[33] = char(dlc);
    bytes[34] = char(valid);
    bytes[35] = char(txCount);
    BlfBytes::put(bytes, 36, id, 4);
    BlfBytes::put(bytes, 44, flags, 4);
    bytes[66] = char(dir);
    bytes.replace(72, data.size(), data);
    return bytes;
}

// The inner objects of a file exactly as stored, split by their size fields;
// empty when the file's containers are not well formed.
QList<QByteArray> objectsOnDisk(const QString &path)
{
    QList<BlfBytes::Container> containers;
    QString problem;
    if (!BlfBytes::walk(TestSupport::readFile(path), containers, problem)) {
        qWarning("%s", qPrintable(problem));
        return {};
    }
    QByteArray stream;
    for (const BlfBytes::Container &container : containers)
        stream += container.payload;
    QList<QByteArray> objects;
    for (int at = 0; at + 16 <= stream.size();) {
        const int size = int(BlfBytes::get(stream, at + 8, 4));
        objects << stream.mid(at, size);
        at += size;
    }
    return objects;
}

Vemi_CANFD_Data withDirection(Vemi_CANFD_Data frame, uint8_t direction)
{
    frame.setDirection(direction);
    return frame;
}

Vemi_CANFD_Data onChannel(Vemi_CANFD_Data frame, uint8_t channel)
{
    frame.channel = channel;
    return frame;
}

Vemi_CANFD_Data errorEntry(uint64_t timestamp)
{
    Vemi_CANFD_Data entry = makeFrame(0x1, 0, 0, false, false, false, timestamp);
    entry.errorFlags = Vemi_CANFD_Data::ErrorEntry;
    return entry;
}

#ifdef Q_OS_UNIX
// Files may not grow beyond max bytes while this lives; a write past it fails.
class FileSizeLimit final
{
public:
    explicit FileSizeLimit(rlim_t max)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limit = saved;
        limit.rlim_cur = max;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved); }

private:
    rlimit saved{};
};
#endif

} // namespace

class TestBlfWriter : public QObject
{
    Q_OBJECT

    QString exportFrames(const QVector<Vemi_CANFD_Data> &frames,
                         SortOrder order = SortOrder::None, QList<int> *progress = nullptr)
    {
        const QString path = dir.filePath(QStringLiteral("out.blf"));
        CanDataExporter exporter;
        QSignalSpy spy(&exporter, &CanDataExporter::progressUpdated);
        if (!exporter.exportData(frames, ExportFormat::Blf, order, path))
            return {};
        for (const QList<QVariant> &arguments : spy) {
            if (progress)
                *progress << arguments.at(0).toInt();
        }
        return path;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        registerFrameMetaTypes();
#ifdef Q_OS_UNIX
        // A write past the file size limit must fail, not end the process.
        std::signal(SIGXFSZ, SIG_IGN);
#endif
    }

    void objectBytes_data()
    {
        QTest::addColumn<Vemi_CANFD_Data>("frame");
        QTest::addColumn<QByteArray>("object");
        const QByteArray d8 = counting(0x11, 8);
        QTest::newRow("extended data frame, sent, 8 bytes")
            << makeFrame(0x1ABCDEF, 8, 0, true, false, true)
            << canObject(0x01, 8, 0x81ABCDEF, d8);
        QTest::newRow("remote frame, 4, received")
            << makeFrame(0x123, 4, 0, false, true, false) << canObject(0x80, 4, 0x123, {});
        QTest::newRow("direction value 3, remote")
            << withDirection(makeFrame(0x7FF, 1, 0, false, true), 3)
            << canObject(0x83, 1, 0x7FF, {});
        QTest::newRow("direction value 2") << withDirection(makeFrame(0x7FF, 2, 0), 2)
                                           << canObject(0x02, 2, 0x7FF, counting(0x11, 2));
        QTest::newRow("classic 12 bytes") << makeFrame(0x1, 12, 0) << canObject(0, 8, 1, d8);
        QTest::newRow("classic empty") << makeFrame(0x0, 0, 0) << canObject(0, 0, 0, {});

        QTest::newRow("CAN FD 32") << makeFrame(0x456, 32, 2)
                                   << fdObject(13, 32, 0, 0, 0x456, 0x1000, counting(0x11, 32));
        QTest::newRow("CAN FD 64, bit-rate switch")
            << makeFrame(0x456, 64, 3)
            << fdObject(15, 64, 0, 0, 0x456, 0x3000, counting(0x11, 64));
        QTest::newRow("protocol 1") << makeFrame(0x456, 12, 1)
                                    << fdObject(9, 12, 0, 0, 0x456, 0x1000, counting(0x11, 12));
        // Sent: mDir 1 for the peers, bit 0 of mTxCount for earlier versions.
        QTest::newRow("CAN FD sent") << makeFrame(0x456, 8, 2, false, false, true)
                                     << fdObject(8, 8, 1, 1, 0x456, 0x1000, d8);
        QTest::newRow("CAN FD direction value 2 is not sent")
            << withDirection(makeFrame(0x456, 1, 2), 2)
            << fdObject(1, 1, 0, 0, 0x456, 0x1000, counting(0x11, 1));
        QTest::newRow("CAN FD length 10 has no code")
            << makeFrame(0x456, 10, 2)
            << fdObject(15, 10, 0, 0, 0x456, 0x1000, counting(0x11, 10));
        // No reader makes such a record; the object still holds no more than 64.
        QTest::newRow("CAN FD length 200 written as 64")
            << makeFrame(0x456, 200, 2)
            << fdObject(15, 64, 0, 0, 0x456, 0x1000, counting(0x11, 64));
        QTest::newRow("CAN FD empty") << makeFrame(0x456, 0, 3)
                                      << fdObject(0, 0, 0, 0, 0x456, 0x3000, {});
        Vemi_CANFD_Data fdRemote = makeFrame(0x1ABCDEF, 8, 3, true, true, false);
        fdRemote.errorFlags = Vemi_CANFD_Data::EsiBit;
        QTest::newRow("CAN FD keeps no remote bit, but the ESI")
            << fdRemote << fdObject(8, 8, 0, 0, 0x81ABCDEF, 0x7000, d8);

        // Each frame keeps its bus; channel 0, a source without channels, is bus 1.
        QTest::newRow("classic on channel 3")
            << onChannel(makeFrame(0x7FF, 2, 0), 3)
            << canObject(0, 2, 0x7FF, counting(0x11, 2), 3);
        QTest::newRow("classic on channel 255")
            << onChannel(makeFrame(0x7FF, 0, 0), 255) << canObject(0, 0, 0x7FF, {}, 255);
        QTest::newRow("CAN FD on channel 4, sent")
            << onChannel(makeFrame(0x456, 12, 3, false, false, true), 4)
            << fdObject(9, 12, 1, 1, 0x456, 0x3000, counting(0x11, 12), 4);
        QTest::newRow("CAN FD on channel 0") << onChannel(makeFrame(0x456, 0, 2), 0)
                                             << fdObject(0, 0, 0, 0, 0x456, 0x1000, {}, 1);
    }

    void objectBytes()
    {
        QFETCH(Vemi_CANFD_Data, frame);
        QFETCH(QByteArray, object);
        const QString path = exportFrames({frame});
        QVERIFY(!path.isEmpty());
        const QList<QByteArray> objects = objectsOnDisk(path);
        QCOMPARE(objects.size(), 1);
        QCOMPARE(objects.first().toHex(' '), object.toHex(' '));
    }

    void objectTimes_data()
    {
        QTest::addColumn<QVector<Vemi_CANFD_Data>>("frames");
        QTest::addColumn<int>("order");
        QTest::addColumn<QList<quint64>>("times"); // nanoseconds, in file order
        const auto at = [](uint32_t id, uint64_t micros) {
            return makeFrame(id, 1, 0, false, false, false, 7000000 + micros);
        };
        QTest::newRow("earliest at 0, then 1.5 ms")
            << QVector<Vemi_CANFD_Data>{at(1, 0), at(2, 1500)} << int(SortOrder::None)
            << QList<quint64>{0, 1500000};
        // Relative times 4, 2, 8 and 0 ms once sorted: a running maximum.
        QTest::newRow("sorted by identifier")
            << QVector<Vemi_CANFD_Data>{at(3, 8000), at(1, 4000), at(4, 0), at(2, 2000)}
            << int(SortOrder::Ascending) << QList<quint64>{4000000, 4000000, 8000000, 8000000};
        QTest::newRow("an error entry sets the origin")
            << QVector<Vemi_CANFD_Data>{at(1, 5000), errorEntry(7000000), at(2, 6000)}
            << int(SortOrder::None) << QList<quint64>{5000000, 6000000};
    }

    void objectTimes()
    {
        QFETCH(QVector<Vemi_CANFD_Data>, frames);
        QFETCH(int, order);
        QFETCH(QList<quint64>, times);
        const QString path = exportFrames(frames, SortOrder(order));
        QVERIFY(!path.isEmpty());
        QList<quint64> written;
        for (const QByteArray &object : objectsOnDisk(path))
            written << BlfBytes::get(object, 24, 8);
        QCOMPARE(written, times);
    }

    void progressAndErrorEntries_data()
    {
        QTest::addColumn<QString>("pattern"); // f: frame, e: error entry
        QTest::addColumn<QList<int>>("progress");
        QTest::newRow("three frames") << "fff" << QList<int>{33, 66, 100};
        QTest::newRow("error entry inside") << "feff" << QList<int>{25, 75, 100};
        QTest::newRow("error entry last") << "ffe" << QList<int>{33, 66};
        QTest::newRow("only error entries") << "ee" << QList<int>{};
    }

    void progressAndErrorEntries()
    {
        QFETCH(QString, pattern);
        QFETCH(QList<int>, progress);
        QVector<Vemi_CANFD_Data> frames;
        for (int i = 0; i < pattern.size(); ++i) {
            frames << (pattern[i] == QLatin1Char('e') ? errorEntry(uint64_t(i))
                                                      : makeFrame(uint32_t(i), 1, 0, false, false,
                                                                  false, uint64_t(i)));
        }
        QList<int> emitted;
        const QString path = exportFrames(frames, SortOrder::None, &emitted);
        QVERIFY(!path.isEmpty());
        QCOMPARE(emitted, progress);
        QCOMPARE(objectsOnDisk(path).size(), pattern.size() - pattern.count(QLatin1Char('e')));
    }

    // Application 6 version 1.0 build 1, compression level 6, and as
    // measurement start the export's local wall-clock time in whole seconds.
    void fileHeader()
    {
        // time() reads a coarse clock that may lag QDateTime's by a few
        // milliseconds, and so name the second before.
        const QDateTime before = QDateTime::currentDateTime().addMSecs(-1999);
        const QString path = exportFrames({makeFrame(1, 8, 0)});
        const QDateTime after = QDateTime::currentDateTime();
        QVERIFY(!path.isEmpty());

        HANDLE handle = BLCreateFile(path.toLocal8Bit().constData(), BL_GENERIC_READ);
        QVERIFY(handle != BL_INVALID_HANDLE_VALUE);
        VBLFileStatisticsEx statistics;
        memset(&statistics, 0, sizeof statistics);
        statistics.mStatisticsSize = sizeof statistics;
        QVERIFY(BLGetFileStatisticsEx(handle, &statistics));
        BLCloseHandle(handle);

        QCOMPARE(int(statistics.mApplicationID), 6);
        QCOMPARE(int(statistics.mApplicationMajor), 1);
        QCOMPARE(int(statistics.mApplicationMinor), 0);
        QCOMPARE(int(statistics.mApplicationBuild), 1);
        QCOMPARE(int(statistics.mCompressionLevel), 6);
        QCOMPARE(statistics.mObjectCount, DWORD(1));
        const SYSTEMTIME &t = statistics.mMeasurementStartTime;
        QCOMPARE(int(t.wMilliseconds), 0);
        const QDateTime start(QDate(t.wYear, t.wMonth, t.wDay),
                              QTime(t.wHour, t.wMinute, t.wSecond));
        QVERIFY2(start >= before && start <= after, qPrintable(start.toString(Qt::ISODate)));
        QCOMPARE(int(t.wDayOfWeek), start.date().dayOfWeek() % 7);

        QList<BlfBytes::Container> containers;
        QString problem;
        QVERIFY2(BlfBytes::walk(TestSupport::readFile(path), containers, problem),
                 qPrintable(problem));
        QCOMPARE(containers.first().method, quint16(2)); // zlib
    }

    void deviceFull()
    {
        if (!QFile::exists(QStringLiteral("/dev/full")))
            QSKIP("no /dev/full");
        QVERIFY(!CanDataExporter().exportData({makeFrame(1, 8, 0)}, ExportFormat::Blf,
                                              SortOrder::None, QStringLiteral("/dev/full")));
    }

    // The library holds a small file's objects until it closes the file, so a
    // full disk shows only in the close: that must fail the export too.
    void closeFails()
    {
#ifndef Q_OS_UNIX
        QSKIP("needs a file size limit");
#else
        const QString path = dir.filePath(QStringLiteral("limited.blf"));
        const QVector<Vemi_CANFD_Data> frames{makeFrame(1, 8, 0), makeFrame(2, 64, 3)};
        bool result = true;
        {
            const FileSizeLimit limit(200); // the 144-byte file header fits, no more
            result = CanDataExporter().exportData(frames, ExportFormat::Blf, SortOrder::None,
                                                  path);
        }
        QVERIFY(!result);
        // The same export with room to write succeeds.
        QVERIFY(CanDataExporter().exportData(frames, ExportFormat::Blf, SortOrder::None, path));
#endif
    }

    // A write that fails in the middle ends the export there: the frame whose
    // write failed still reports progress, the later ones are not handed over.
    void writeFailsMidway()
    {
#ifndef Q_OS_UNIX
        QSKIP("needs a file size limit");
#else
        QVector<Vemi_CANFD_Data> frames;
        for (int i = 0; i < 5000; ++i)
            frames << makeFrame(uint32_t(i), 64, 3, false, false, false, uint64_t(i), uint8_t(i));
        const QString path = dir.filePath(QStringLiteral("midway.blf"));
        CanDataExporter exporter;
        QSignalSpy progress(&exporter, &CanDataExporter::progressUpdated);
        bool result = true;
        {
            const FileSizeLimit limit(200);
            result = exporter.exportData(frames, ExportFormat::Blf, SortOrder::None, path);
        }
        QVERIFY(!result);
        QVERIFY(progress.size() > 0);
        QVERIFY(progress.size() < frames.size());
        QCOMPARE(progress.last().at(0).toInt(), progress.size() * 100 / frames.size());
#endif
    }

private:
    QTemporaryDir dir;
};

QTEST_GUILESS_MAIN(TestBlfWriter)
#include "tst_blfwriter.moc"
