#include <csignal>
#include <cstring>

#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include "binlog.h"
#include "blfbytes.h"
#include "logfilewriter.h"
#include "testsupport.h"

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace {

quint64 le(const QByteArray &bytes, int offset, int width)
{
    quint64 value = 0;
    for (int i = width; i-- > 0;)
        value = (value << 8) | quint8(bytes.at(offset + i));
    return value;
}

// An object of a type without a layout, 32 + bodySize bytes.
QByteArray plainObject(int bodySize, quint64 time)
{
    VBLObjectHeader header{};
    header.mBase = {BL_OBJ_SIGNATURE, 32, 1, DWORD(32 + bodySize), 65};
    header.mObjectFlags = BL_OBJ_FLAG_TIME_ONE_NANS;
    header.mObjectTimeStamp = time;
    QByteArray bytes = BlfBytes::bytesOf(header);
    for (int i = 0; i < bodySize; ++i)
        bytes += char(i);
    return bytes;
}

QList<QByteArray> mixedObjects(int count)
{
    QList<QByteArray> objects;
    for (int i = 0; i < count; ++i) {
        const quint64 time = quint64(i) * 1000;
        if (i % 2)
            objects << BlfBytes::bytesOf(BlfBytes::fdStruct(quint32(i), quint8(i % 65), time,
                                                            i % 3 == 0, i % 4 == 1));
        else
            objects << BlfBytes::bytesOf(BlfBytes::canStruct(quint32(i) | 0x80000000u,
                                                             quint8(i % 9), time));
    }
    return objects;
}

} // namespace

class TestBinlog : public QObject
{
    Q_OBJECT

private slots:
    void sentinelsRoundTrip_data()
    {
        BlfBytes::addLevelRows();
    }

    void sentinelsRoundTrip()
    {
        QFETCH(int, level);
        const QString path = dir.filePath(QStringLiteral("sentinels.blf"));
        const QList<QByteArray> objects = BlfBytes::sentinelObjects();
        QVERIFY(BlfBytes::writeAll(path, objects, level));
        const auto read = BlfBytes::readAll(path, 136);
        QCOMPARE(read.size(), objects.size());
        for (int i = 0; i < objects.size(); ++i) {
            // Structures shorter than the 136 bytes read into come back zero-filled.
            const QByteArray expected = objects[i] + QByteArray(136 - objects[i].size(), '\0');
            QCOMPARE(read[i].bytes.toHex(), expected.toHex());
            QCOMPARE(read[i].peeked.mObjectSize, DWORD(objects[i].size()));
        }
    }

    void fieldsAtFileOffsets_data()
    {
        QTest::addColumn<int>("object");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("width");
        QTest::addColumn<quint64>("value");
        QTest::newRow("signature") << 0 << 0 << 4 << quint64(0x4A424F4C);
        QTest::newRow("header size") << 0 << 4 << 2 << quint64(32);
        QTest::newRow("header version") << 0 << 6 << 2 << quint64(1);
        QTest::newRow("object size") << 0 << 8 << 4 << quint64(48);
        QTest::newRow("object type") << 0 << 12 << 4 << quint64(1);
        QTest::newRow("object flags") << 0 << 16 << 4 << quint64(2);
        QTest::newRow("client index") << 0 << 20 << 2 << quint64(0x2222);
        QTest::newRow("object version") << 0 << 22 << 2 << quint64(0x3333);
        QTest::newRow("time stamp") << 0 << 24 << 8 << quint64(0x0102030405060708);
        QTest::newRow("1 channel") << 0 << 32 << 2 << quint64(0x2211);
        QTest::newRow("1 flags") << 0 << 34 << 1 << quint64(0x33);
        QTest::newRow("1 dlc") << 0 << 35 << 1 << quint64(0x44);
        QTest::newRow("1 id") << 0 << 36 << 4 << quint64(0x88776655);
        QTest::newRow("1 data") << 0 << 40 << 8 << quint64(0xA09F9E9D9C9B9A99);
        QTest::newRow("86 id") << 1 << 36 << 4 << quint64(0x18171615);
        QTest::newRow("86 frame length") << 1 << 48 << 4 << quint64(0x24232221);
        QTest::newRow("86 bit count") << 1 << 52 << 1 << quint64(0x25);
        QTest::newRow("86 reserved") << 1 << 53 << 3 << quint64(0x282726);
        QTest::newRow("100 dlc") << 2 << 35 << 1 << quint64(0x14);
        QTest::newRow("100 id") << 2 << 36 << 4 << quint64(0x18171615);
        QTest::newRow("100 frame length") << 2 << 40 << 4 << quint64(0x1C1B1A19);
        QTest::newRow("100 bit count") << 2 << 44 << 1 << quint64(0x1D);
        QTest::newRow("100 fd flags") << 2 << 45 << 1 << quint64(0x1E);
        QTest::newRow("100 valid bytes") << 2 << 46 << 1 << quint64(0x1F);
        QTest::newRow("100 reserved") << 2 << 48 << 4 << quint64(0x24232221);
        QTest::newRow("100 data") << 2 << 52 << 2 << quint64(0x3130);
        QTest::newRow("100 trailing reserved") << 2 << 116 << 4 << quint64(0x7C7B7A79);
        QTest::newRow("101 channel dlc valid tx") << 3 << 32 << 4 << quint64(0x14131211);
        QTest::newRow("101 id") << 3 << 36 << 4 << quint64(0x18171615);
        QTest::newRow("101 frame length") << 3 << 40 << 4 << quint64(0x1C1B1A19);
        QTest::newRow("101 flags") << 3 << 44 << 4 << quint64(0x201F1E1D);
        QTest::newRow("101 bit timings") << 3 << 48 << 8 << quint64(0x2827262524232221);
        QTest::newRow("101 brs offset") << 3 << 56 << 4 << quint64(0x2C2B2A29);
        QTest::newRow("101 crc delimiter") << 3 << 60 << 4 << quint64(0x302F2E2D);
        QTest::newRow("101 bit count") << 3 << 64 << 2 << quint64(0x3231);
        QTest::newRow("101 direction") << 3 << 66 << 1 << quint64(0x33);
        QTest::newRow("101 ext offset") << 3 << 67 << 1 << quint64(0x34);
        QTest::newRow("101 crc") << 3 << 68 << 4 << quint64(0x38373635);
        QTest::newRow("101 data") << 3 << 72 << 1 << quint64(0x40);
        QTest::newRow("101 last data") << 3 << 135 << 1 << quint64(0x7F);
        QTest::newRow("73 length") << 4 << 34 << 2 << quint64(0x1413);
        QTest::newRow("73 flags") << 4 << 36 << 4 << quint64(0x18171615);
        QTest::newRow("73 ecc pos dlc") << 4 << 40 << 3 << quint64(0x1B1A19);
        QTest::newRow("73 frame length") << 4 << 44 << 4 << quint64(0x201F1E1D);
        QTest::newRow("73 id") << 4 << 48 << 4 << quint64(0x24232221);
        QTest::newRow("73 ext flags") << 4 << 52 << 2 << quint64(0x2625);
        QTest::newRow("73 data") << 4 << 56 << 1 << quint64(0x30);
    }

    void fieldsAtFileOffsets()
    {
        QFETCH(int, object);
        QFETCH(int, offset);
        QFETCH(int, width);
        QFETCH(quint64, value);
        const QString path = dir.filePath(QStringLiteral("offsets.blf"));
        const QList<QByteArray> objects = BlfBytes::sentinelObjects();
        QVERIFY(BlfBytes::writeAll(path, objects, 0));
        const QByteArray file = TestSupport::readFile(path);
        int start = 144 + 32; // one stored container
        for (int i = 0; i < object; ++i)
            start += objects[i].size();
        QCOMPARE(QByteArray::number(le(file, start + offset, width), 16),
                 QByteArray::number(value, 16));
    }

    void headerAndStatistics()
    {
        const QString path = dir.filePath(QStringLiteral("header.blf"));
        QList<QByteArray> objects = mixedObjects(3000);
        // The last object ends 1.5 s and 2 ms after the start.
        objects << BlfBytes::bytesOf(BlfBytes::canStruct(7, 0, 1502000000));
        QVERIFY(BlfBytes::writeAll(path, objects, 6));
        const QByteArray file = TestSupport::readFile(path);
        QList<BlfBytes::Container> containers;
        QString problem;
        QVERIFY2(BlfBytes::walk(file, containers, problem), qPrintable(problem));
        quint64 uncompressed = 144;
        for (const BlfBytes::Container &c : containers)
            uncompressed += 32 + quint64(c.payload.size());

        QCOMPARE(file.left(4), QByteArray("LOGG"));
        QCOMPARE(le(file, 4, 4), quint64(144));
        QCOMPARE(file.mid(12, 4).toHex(), QByteArray("06060100")); // id, level, major, minor
        QCOMPARE(le(file, 16, 8), quint64(file.size()));
        QCOMPARE(le(file, 24, 8), uncompressed);
        QCOMPARE(le(file, 32, 4), quint64(objects.size()));
        QCOMPARE(le(file, 36, 4), quint64(1)); // build
        QCOMPARE(file.mid(40, 16).toHex(), QByteArray("e8070300020005000600070008000900"));
        QCOMPARE(file.mid(56, 16).toHex(), QByteArray("e807030002000500060007000900ff01"));
        QCOMPARE(file.mid(72).left(72), QByteArray(72, '\0'));

        HANDLE handle = BLCreateFile(path.toLocal8Bit().constData(), BL_GENERIC_READ);
        QVERIFY(handle != BL_INVALID_HANDLE_VALUE);
        VBLFileStatisticsEx statistics;
        memset(&statistics, 0, sizeof statistics);
        statistics.mStatisticsSize = sizeof statistics;
        QVERIFY(BLGetFileStatisticsEx(handle, &statistics));
        QCOMPARE(statistics.mStatisticsSize, DWORD(136));
        QCOMPARE(statistics.mApplicationID, BYTE(6));
        QCOMPARE(statistics.mCompressionLevel, BYTE(6));
        QCOMPARE(statistics.mApplicationBuild, DWORD(1));
        QCOMPARE(statistics.mFileSize, ULONGLONG(file.size()));
        QCOMPARE(statistics.mUncompressedFileSize, ULONGLONG(uncompressed));
        QCOMPARE(statistics.mObjectCount, DWORD(objects.size()));
        QCOMPARE(statistics.mMeasurementStartTime.wMilliseconds, WORD(9));
        QCOMPARE(statistics.mLastObjectTime.wMilliseconds, WORD(511));

        // A caller that knows only the first 24 bytes gets only those.
        VBLFileStatisticsEx partial;
        memset(&partial, 0xCC, sizeof partial);
        partial.mStatisticsSize = 24;
        QVERIFY(BLGetFileStatisticsEx(handle, &partial));
        QCOMPARE(partial.mFileSize, ULONGLONG(file.size()));
        QCOMPARE(partial.mUncompressedFileSize, ULONGLONG(0xCCCCCCCCCCCCCCCC));
        QVERIFY(BLCloseHandle(handle));
    }

    void lastObjectTime_data()
    {
        QTest::addColumn<QList<int>>("start");
        QTest::addColumn<quint64>("nanoseconds");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("same second") << QList<int>{2024, 3, 2, 5, 6, 7, 8, 9} << quint64(999999)
                                     << QList<int>{2024, 3, 2, 5, 6, 7, 8, 9};
        QTest::newRow("leap day") << QList<int>{2024, 2, 3, 28, 23, 59, 59, 999}
                                  << quint64(2000000) << QList<int>{2024, 2, 4, 29, 0, 0, 0, 1};
        QTest::newRow("new year") << QList<int>{2023, 12, 0, 31, 23, 0, 0, 0}
                                  << quint64(3600) * 1000000000
                                  << QList<int>{2024, 1, 1, 1, 0, 0, 0, 0};
        QTest::newRow("no start time") << QList<int>{0, 0, 0, 0, 0, 0, 0, 0} << quint64(5)
                                       << QList<int>{0, 0, 0, 0, 0, 0, 0, 0};
    }

    void lastObjectTime()
    {
        QFETCH(QList<int>, start);
        QFETCH(quint64, nanoseconds);
        QFETCH(QList<int>, expected);
        const SYSTEMTIME begin{WORD(start[0]), WORD(start[1]), WORD(start[2]), WORD(start[3]),
                               WORD(start[4]), WORD(start[5]), WORD(start[6]), WORD(start[7])};
        const QString path = dir.filePath(QStringLiteral("last.blf"));
        const QByteArray object = BlfBytes::bytesOf(BlfBytes::canStruct(1, 0, nanoseconds));
        QVERIFY(BlfBytes::writeAll(path, {object}, 6, &begin));
        const QByteArray file = TestSupport::readFile(path);
        QList<int> last;
        for (int i = 0; i < 8; ++i)
            last << int(le(file, 56 + 2 * i, 2));
        QCOMPARE(last, expected);
    }

    void paddingIsSizeModFour_data()
    {
        QTest::addColumn<int>("extra");
        for (int extra = 0; extra < 4; ++extra)
            QTest::addRow("remainder %d", extra) << extra;
    }

    void paddingIsSizeModFour()
    {
        QFETCH(int, extra);
        const QString path = dir.filePath(QStringLiteral("pad.blf"));
        // Stored: two full containers, then one of 32 + 32 + extra bytes.
        QList<QByteArray> objects;
        for (int i = 0; i < 2 * 131072 / 32; ++i)
            objects << plainObject(0, quint64(i));
        objects << plainObject(extra, 99999);
        QVERIFY(BlfBytes::writeAll(path, objects, 0));
        QList<BlfBytes::Container> containers;
        QString problem;
        QVERIFY2(BlfBytes::walk(TestSupport::readFile(path), containers, problem),
                 qPrintable(problem));
        QCOMPARE(containers.size(), 3);
        QCOMPARE(containers.last().objectSize % 4, quint32(extra));
        QCOMPARE(BlfBytes::readAll(path).size(), objects.size());
    }

    void compressedContainersHaveEveryRemainder()
    {
        // Compressed sizes fall on every remainder; each must be padded by it.
        const QString path = dir.filePath(QStringLiteral("zpad.blf"));
        QSet<quint32> remainders;
        for (int count = 1; count < 40 && remainders.size() < 4; ++count) {
            QVERIFY(BlfBytes::writeAll(path, mixedObjects(count), 6));
            QList<BlfBytes::Container> containers;
            QString problem;
            QVERIFY2(BlfBytes::walk(TestSupport::readFile(path), containers, problem),
                     qPrintable(problem));
            remainders << containers.last().objectSize % 4;
        }
        QCOMPARE(remainders.size(), 4);
    }

    void manyObjectsSpanContainers_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("method");
        QTest::addColumn<QByteArray>("zlibHeader"); // the level's hint, as zlib writes it
        QTest::newRow("level 0") << 0 << 0 << QByteArray();
        QTest::newRow("level 1") << 1 << 2 << QByteArray("\x78\x01");
        QTest::newRow("level 6") << 6 << 2 << QByteArray("\x78\x9c");
        QTest::newRow("level 9") << 9 << 2 << QByteArray("\x78\xda");
    }

    void manyObjectsSpanContainers()
    {
        QFETCH(int, level);
        QFETCH(int, method);
        QFETCH(QByteArray, zlibHeader);
        const QString path = dir.filePath(QStringLiteral("many%1.blf").arg(level));
        const QList<QByteArray> objects = mixedObjects(10000);
        QVERIFY(BlfBytes::writeAll(path, objects, level));
        QList<BlfBytes::Container> containers;
        QString problem;
        const QByteArray file = TestSupport::readFile(path);
        QVERIFY2(BlfBytes::walk(file, containers, problem), qPrintable(problem));
        QByteArray stream;
        for (int i = 0; i < containers.size(); ++i) {
            QCOMPARE(int(containers[i].method), method);
            QCOMPARE(int(containers[i].statedSize), containers[i].payload.size());
            if (method == 2)
                QCOMPARE(file.mid(int(containers[i].offset) + 32, 2), zlibHeader);
            if (i + 1 < containers.size())
                QCOMPARE(containers[i].payload.size(), 131072);
            stream += containers[i].payload;
        }
        QCOMPARE(stream, objects.join());
        QCOMPARE(containers.size(), stream.size() / 131072 + 1);
        if (level > 0)
            QVERIFY(file.size() < stream.size() / 2);
        QCOMPARE(int(le(file, 13, 1)), level);

        const auto read = BlfBytes::readAll(path, 136);
        QCOMPARE(read.size(), objects.size());
        for (int i = 0; i < objects.size(); ++i)
            QCOMPARE(read[i].bytes.left(objects[i].size()), objects[i]);
    }

    // Containers compressed on worker threads make the file a single thread
    // makes, byte for byte.
    void compressionThreadsWriteTheSameFile()
    {
        const QList<QByteArray> objects = mixedObjects(30000);
        auto writeWith = [&](unsigned threads) {
            const QString path = dir.filePath(QStringLiteral("threads%1.blf").arg(threads));
            binlog::LogFileWriter writer;
            writer.setCompressionThreads(threads);
            if (!writer.open(path.toLocal8Bit().constData()))
                return QByteArray();
            writer.setMeasurementStartTime(BlfBytes::startTime());
            for (const QByteArray &object : objects) {
                const auto *base = reinterpret_cast<const VBLObjectHeaderBase *>(object.constData());
                if (!writer.write(*base))
                    return QByteArray();
            }
            return writer.close() ? TestSupport::readFile(path) : QByteArray();
        };
        const QByteArray single = writeWith(0);
        QList<BlfBytes::Container> containers;
        QString problem;
        QVERIFY2(BlfBytes::walk(single, containers, problem), qPrintable(problem));
        QVERIFY(containers.size() > 10);
        for (unsigned threads : {1u, 2u, 5u})
            QVERIFY2(writeWith(threads) == single, QByteArray::number(threads));
    }

    void fileWithoutObjectsIsTheHeader()
    {
        const QString path = dir.filePath(QStringLiteral("empty.blf"));
        QVERIFY(BlfBytes::writeAll(path, {}, 6));
        const QByteArray file = TestSupport::readFile(path);
        QCOMPARE(file.size(), 144);
        QCOMPARE(le(file, 16, 8), quint64(144));
        QCOMPARE(le(file, 24, 8), quint64(144));
        QCOMPARE(le(file, 32, 4), quint64(0));
        QCOMPARE(le(file, 40, 2), quint64(2024));
        QCOMPARE(file.mid(56, 16), QByteArray(16, '\0'));
        bool opened = false;
        QVERIFY(BlfBytes::readAll(path, 136, &opened).isEmpty());
        QVERIFY(opened);
    }

    void writeErrorsAreReported_data()
    {
        QTest::addColumn<bool>("sizeLimit");
        QTest::addColumn<int>("level");
        QTest::newRow("device full from the start") << false << 0;
        QTest::newRow("file size limit after the first container") << true << 0;
        // Compressed on worker threads, a container is written some objects
        // after the one that filled it: the failure may show only at the close.
        QTest::newRow("compressed, device full") << false << 6;
        QTest::newRow("compressed, file size limit") << true << 6;
    }

    void writeErrorsAreReported()
    {
        QFETCH(bool, sizeLimit);
        QFETCH(int, level);
#ifdef Q_OS_UNIX
        const QString path = sizeLimit ? dir.filePath(QStringLiteral("limited.blf"))
                                       : QStringLiteral("/dev/full");
        if (!sizeLimit && !QFileInfo::exists(path))
            QSKIP("no /dev/full");
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        if (sizeLimit) {
            // Past the limit a write fails with EFBIG instead of raising SIGXFSZ.
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limited = saved;
            limited.rlim_cur = level > 0 ? 4000 : 200000;
            QVERIFY(setrlimit(RLIMIT_FSIZE, &limited) == 0);
        }
        HANDLE handle = BLCreateFile(path.toLocal8Bit().constData(), BL_GENERIC_WRITE);
        BLSetWriteOptions(handle, DWORD(level), 0);
        int written = 0;
        for (QByteArray object : mixedObjects(10000)) {
            if (!BLWriteObject(handle, reinterpret_cast<VBLObjectHeaderBase *>(object.data())))
                break;
            ++written;
        }
        const BOOL closed = BLCloseHandle(handle);
        setrlimit(RLIMIT_FSIZE, &saved);
        QVERIFY(handle != BL_INVALID_HANDLE_VALUE);
        QCOMPARE(closed, FALSE);
        if (level > 0)
            return;
        QVERIFY(written < 10000);
        if (sizeLimit) {
            // The first container went out; the objects of the second fail with it.
            QVERIFY(written > 1000);
            QVERIFY(QFileInfo(path).size() >= 144 + 32 + 131072);
        }
#else
        Q_UNUSED(sizeLimit)
        Q_UNUSED(level)
        QSKIP("needs a POSIX system");
#endif
    }

private:
    QTemporaryDir dir;
};

QTEST_GUILESS_MAIN(TestBinlog)
#include "tst_binlog.moc"
