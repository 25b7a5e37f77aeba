#include <cstring>

#include <QTemporaryDir>
#include <QtTest>

#include "binlog.h"
#include "blfbytes.h"
#include "testsupport.h"

namespace {

using Times = QList<quint64>;

// Three classic messages with times 1, 2 and 3.
QByteArray obj(int n)
{
    return BlfBytes::canMessage(0x100 + quint32(n), 8, quint64(n));
}

QByteArray threeObjects()
{
    return obj(1) + obj(2) + obj(3);
}

QByteArray junkObject(quint32 objectSize, quint16 headerSize = 32)
{
    QByteArray bytes = BlfBytes::canMessage(0x7FF, 8, 99);
    bytes[4] = char(headerSize);
    bytes[5] = char(headerSize >> 8);
    for (int i = 0; i < 4; ++i)
        bytes[8 + i] = char(objectSize >> (8 * i));
    return bytes;
}

QByteArray withStatedSize(qint64 stated)
{
    return BlfBytes::header() + BlfBytes::container(threeObjects(), 2, stated);
}

// A compressed container of payload whose zlib stream is followed by tail
// inside the container.
QByteArray withTailAfterZlib(const QByteArray &payload, const QByteArray &tail)
{
    QByteArray container = BlfBytes::container(payload);
    const auto objectSize = quint32(BlfBytes::get(container, 8, 4)) + quint32(tail.size());
    container = container.left(int(objectSize) - tail.size()) + tail;
    BlfBytes::put(container, 8, objectSize, 4);
    return container + QByteArray(int(objectSize % 4), '\0');
}

// 200 objects cut into containers of about 1000 bytes, the stated size of
// every other one wrong: both ways of inflating take turns.
QByteArray alternatingStatedSizes(QByteArray &stream)
{
    for (int n = 1; n <= 200; ++n)
        stream += obj(n);
    QByteArray file = BlfBytes::header();
    for (int at = 0, i = 0; at < stream.size(); at += 1000, ++i) {
        const QByteArray piece = stream.mid(at, 1000);
        file += BlfBytes::container(piece, 2, i % 2 ? piece.size() + 8 * (i % 4 - 2) : -1);
    }
    return file;
}

} // namespace

class TestBinlogRobust : public QObject
{
    Q_OBJECT

    Times timesOf(const QByteArray &file, size_t structSize = 48)
    {
        const QString path = TestSupport::writeFile(dir.path(), QStringLiteral("c.blf"), file);
        Times times;
        for (const BlfBytes::Read &read : BlfBytes::readAll(path, structSize))
            times << read.as<VBLObjectHeader>().mObjectTimeStamp;
        return times;
    }

private slots:
    void framing_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<Times>("times");
        const QByteArray stream = threeObjects();
        const QByteArray header = BlfBytes::header();
        const Times all{1, 2, 3};
        const QByteArray emptyZlib = BlfBytes::container({}, 2);
        QCOMPARE(emptyZlib.size(), 32 + 8);

        QTest::newRow("stored") << BlfBytes::file(stream, {}, 0) << all;
        QTest::newRow("compressed") << BlfBytes::file(stream, {}, 2) << all;
        QTest::newRow("stored then compressed")
            << header + BlfBytes::container(stream.left(70), 0)
                   + BlfBytes::container(stream.mid(70), 2) << all;
        // The second object spans three containers and its signature is split.
        QTest::newRow("split across three")
            << header + BlfBytes::container(stream.left(50), 2)
                   + BlfBytes::container(stream.mid(50, 20), 0)
                   + BlfBytes::container(stream.mid(70), 2) << all;
        QTest::newRow("one byte per container")
            << BlfBytes::file(stream, QVector<int>(stream.size(), 1).toList()) << all;
        QTest::newRow("empty containers")
            << header + BlfBytes::container({}, 0) + BlfBytes::container(stream.left(60), 2)
                   + emptyZlib + BlfBytes::container({}, 0) + BlfBytes::container(stream.mid(60))
            << all;
        QTest::newRow("unknown method skipped")
            << header + BlfBytes::container(obj(1)) + BlfBytes::container(obj(2), 5)
                   + BlfBytes::container(obj(3)) << Times{1, 3};
        // The skipped container held the tail of object 2: its head must not
        // be completed with bytes from the next container.
        QTest::newRow("unknown method inside an object")
            << header + BlfBytes::container(obj(1) + obj(2).left(20))
                   + BlfBytes::container(obj(2).mid(20, 10), 7)
                   + BlfBytes::container(obj(2).mid(30) + obj(3)) << Times{1, 3};
        QTest::newRow("padding between objects")
            << BlfBytes::file(obj(1) + QByteArray(3, '\0') + obj(2) + QByteArray(9, 'x') + obj(3))
            << all;
        QByteArray noPadding = header;
        for (int n = 1; n <= 3; ++n) {
            const QByteArray container = BlfBytes::container(obj(n));
            const int objectSize = quint8(container[8]) | quint8(container[9]) << 8;
            noPadding += container.left(objectSize) + "junkLOB";
        }
        QTest::newRow("junk between containers") << noPadding << all;
        QTest::newRow("trailing junk") << BlfBytes::file(stream) + "trailing junk!!!!!" << all;
        QTest::newRow("header size 72")
            << header.left(4) + QByteArray("\x48\0\0\0", 4) + header.mid(8, 64)
                   + BlfBytes::container(stream) << all;
        QTest::newRow("object outside containers")
            << header + obj(9) + BlfBytes::container(stream) << all;
        QTest::newRow("version-2 headers")
            << BlfBytes::file(BlfBytes::canMessage(1, 8, 1, 0, 2) + obj(2)
                              + BlfBytes::canMessage(3, 8, 3, 0, 2)) << all;
        QTest::newRow("header version 3 skipped")
            << BlfBytes::file(obj(1) + BlfBytes::canMessage(2, 8, 2, 0, 3) + obj(3))
            << Times{1, 3};
        QTest::newRow("object size 0") << BlfBytes::file(obj(1) + junkObject(0) + obj(3))
                                       << Times{1, 3};
        QTest::newRow("object size 4 GB")
            << BlfBytes::file(obj(1) + junkObject(0xFFFFFFFF) + obj(3)) << Times{1, 3};
        QTest::newRow("object size below header size")
            << BlfBytes::file(obj(1) + junkObject(20) + obj(3)) << Times{1, 3};
        QTest::newRow("header size below 16")
            << BlfBytes::file(obj(1) + junkObject(48, 4) + obj(3)) << Times{1, 3};
        QTest::newRow("object size beyond the end")
            << BlfBytes::file(obj(1) + obj(2) + junkObject(1000)) << Times{1, 2};
        QTest::newRow("incomplete trailing object")
            << BlfBytes::file(obj(1) + obj(2) + obj(3).left(47)) << Times{1, 2};
        QTest::newRow("stated size too small") << withStatedSize(stream.size() - 8) << all;
        QTest::newRow("stated size too large") << withStatedSize(stream.size() + 8) << all;
        QTest::newRow("stated size 0") << withStatedSize(0) << all;
        QTest::newRow("stated size 4 GB") << withStatedSize(0xFFFFFFFF) << all;
        QByteArray alternating;
        const QByteArray alternatingFile = alternatingStatedSizes(alternating);
        Times counted;
        for (quint64 n = 1; n <= 200; ++n)
            counted << n;
        QTest::newRow("stated sizes wrong in every other container")
            << alternatingFile << counted;
        QTest::newRow("bytes after the zlib stream")
            << header + withTailAfterZlib(obj(1), "tail") + BlfBytes::container(obj(2) + obj(3))
            << all;
        QTest::newRow("container size 4 GB")
            << header + BlfBytes::container(stream).replace(8, 4, "\xff\xff\xff\xff") << all;
        QTest::newRow("inflates to 16 MiB of zeros")
            << header + BlfBytes::container(QByteArray(16 << 20, '\0'))
                   + BlfBytes::container(obj(4)) << Times{4};
        QTest::newRow("header only") << header << Times{};
        QTest::newRow("signature only") << QByteArray("LOGG") << Times{};
    }

    void framing()
    {
        QFETCH(QByteArray, file);
        QFETCH(Times, times);
        QCOMPARE(timesOf(file), times);
    }

    // What the file left for BLIsDamaged and how far BLGetReadPosition got,
    // after every object was read.
    void damageAndEndPosition_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<bool>("reachesEnd"); // the position is the file's end, bar padding
        const QByteArray header = BlfBytes::header();
        QByteArray stream;
        const QByteArray alternating = alternatingStatedSizes(stream);
        const QByteArray compressed = BlfBytes::file(stream, {1000, 3000});
        QTest::newRow("compressed") << compressed << false << true;
        QTest::newRow("stored") << BlfBytes::file(stream, {1000, 3000}, 0) << false << true;
        QTest::newRow("stated sizes wrong") << alternating << false << true;
        QTest::newRow("stated size 0") << withStatedSize(0) << false << true;
        QTest::newRow("bytes after the zlib stream")
            << header + withTailAfterZlib(threeObjects(), "tail") << false << true;
        QTest::newRow("cut in the last payload")
            << compressed.left(compressed.size() - 100) << true << true;
        QTest::newRow("cut in the last container's header")
            << compressed + BlfBytes::container(obj(9)).left(20) << true << true;
        QByteArray damaged = compressed;
        const int middle = 144 + 32 + 200;
        for (int i = middle; i < middle + 16; ++i)
            damaged[i] = char(damaged[i] ^ 0x5A);
        QTest::newRow("damaged deflate data") << damaged << true << false;
        QTest::newRow("unknown method")
            << header + BlfBytes::container(obj(1), 5) + BlfBytes::container(obj(2)) << true
            << true;
    }

    void damageAndEndPosition()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, damaged);
        QFETCH(bool, reachesEnd);
        const QString path = TestSupport::writeFile(dir.path(), QStringLiteral("d.blf"), file);
        HANDLE handle = BLCreateFile(qPrintable(path), BL_GENERIC_READ);
        QVERIFY(handle != BL_INVALID_HANDLE_VALUE);
        VBLObjectHeaderBase base{};
        while (BLSkipObject(handle, &base)) {
        }
        ULONGLONG position = 0, size = 0;
        QVERIFY(BLGetReadPosition(handle, &position, &size));
        const BOOL isDamaged = BLIsDamaged(handle);
        QVERIFY(BLCloseHandle(handle));
        QCOMPARE(size, ULONGLONG(file.size()));
        QCOMPARE(isDamaged, damaged ? TRUE : FALSE);
        QVERIFY(position <= size);
        QCOMPARE(position + 3 >= size, reachesEnd);
    }

    void unreadableFiles_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("text") << QByteArray("date Tue Mar 5 06:07:08 2024\nbase hex\n");
        QTest::newRow("three bytes") << QByteArray("LOG");
    }

    void unreadableFiles()
    {
        QFETCH(QByteArray, file);
        bool opened = true;
        const QString path = TestSupport::writeFile(dir.path(), QStringLiteral("u.blf"), file);
        QVERIFY(BlfBytes::readAll(path, 48, &opened).isEmpty());
        QVERIFY(!opened);
    }

    void presentedHeader_data()
    {
        QTest::addColumn<int>("headerVersion");
        QTest::addColumn<quint32>("timeFlags");
        QTest::newRow("version 1, nanoseconds") << 1 << 2u;
        QTest::newRow("version 1, 10 us") << 1 << 1u;
        QTest::newRow("version 2, 10 us") << 2 << 1u;
        QTest::newRow("version 2, flags 0") << 2 << 0u;
    }

    void presentedHeader()
    {
        QFETCH(int, headerVersion);
        QFETCH(quint32, timeFlags);
        const QByteArray object = BlfBytes::canMessage(0x80000123, 5, 150, 0x81, headerVersion,
                                                       timeFlags, 0xB0);
        const QString path = TestSupport::writeFile(dir.path(), QStringLiteral("h.blf"),
                                                    BlfBytes::file(object));
        const auto read = BlfBytes::readAll(path, sizeof(VBLCANMessage));
        QCOMPARE(read.size(), 1);
        const auto m = read[0].as<VBLCANMessage>();
        QCOMPARE(read[0].peeked.mObjectSize, DWORD(48));
        QCOMPARE(m.mHeader.mBase.mSignature, BL_OBJ_SIGNATURE);
        QCOMPARE(m.mHeader.mBase.mHeaderSize, WORD(32));
        QCOMPARE(m.mHeader.mBase.mHeaderVersion, WORD(1));
        QCOMPARE(m.mHeader.mBase.mObjectSize, DWORD(48));
        QCOMPARE(m.mHeader.mBase.mObjectType, DWORD(1));
        QCOMPARE(m.mHeader.mObjectFlags, DWORD(timeFlags)); // no unit conversion
        QCOMPARE(m.mHeader.mClientIndex, WORD(0));
        QCOMPARE(m.mHeader.mObjectTimeStamp, ULONGLONG(150));
        QCOMPARE(m.mChannel, WORD(1));
        QCOMPARE(m.mFlags, BYTE(0x81));
        QCOMPARE(m.mDLC, BYTE(5));
        QCOMPARE(m.mID, DWORD(0x80000123));
        const BYTE data[8] = {0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0, 0, 0};
        QVERIFY(memcmp(m.mData, data, 8) == 0);
    }

    void bodyShorterOrLongerThanStructure()
    {
        // A 75-byte CAN FD object with 3 data bytes, one with 64 data bytes and an
        // 8-byte extension (144 bytes), and a classic message after them.
        QByteArray extended = BlfBytes::canFd64(0x22, 64, 2) + QByteArray(8, '\x77');
        extended[8] = char(144);
        const QByteArray stream = BlfBytes::canFd64(0x11, 3, 1) + extended + obj(3);
        const QString path = TestSupport::writeFile(dir.path(), QStringLiteral("s.blf"),
                                                    BlfBytes::file(stream));
        const auto read = BlfBytes::readAll(path, sizeof(VBLCANFDMessage64));
        QCOMPARE(read.size(), 3);

        const auto shortFd = read[0].as<VBLCANFDMessage64>();
        QCOMPARE(shortFd.mHeader.mBase.mObjectSize, DWORD(75));
        QCOMPARE(shortFd.mValidDataBytes, BYTE(3));
        QCOMPARE(shortFd.mData[2], BYTE(0x23));
        QCOMPARE(read[0].bytes.mid(75), QByteArray(136 - 75, '\0'));

        const auto longFd = read[1].as<VBLCANFDMessage64>();
        QCOMPARE(longFd.mHeader.mBase.mObjectSize, DWORD(144));
        QCOMPARE(longFd.mID, DWORD(0x22));
        QCOMPARE(longFd.mData[63], BYTE(0x21 + 63));

        // The classic message read into a 136-byte structure: the rest stays zero.
        QCOMPARE(read[2].as<VBLCANMessage>().mID, DWORD(0x103));
        QCOMPARE(read[2].bytes.mid(48), QByteArray(136 - 48, '\0'));

        // And the FD objects read into a classic structure are cut at 48 bytes.
        const auto cut = BlfBytes::readAll(path, sizeof(VBLCANMessage));
        QCOMPARE(cut.size(), 3);
        QCOMPARE(cut[1].bytes.size(), 48);
        QCOMPARE(cut[1].as<VBLCANFDMessage64>().mID, DWORD(0x22));
    }

    void skipStepsOverThePeekedObject()
    {
        const QString path = TestSupport::writeFile(dir.path(), QStringLiteral("k.blf"),
                                                    BlfBytes::file(threeObjects(), {60}));
        HANDLE handle = BLCreateFile(qPrintable(path), BL_GENERIC_READ);
        QVERIFY(handle != BL_INVALID_HANDLE_VALUE);
        VBLObjectHeaderBase base{};
        QVERIFY(BLPeekObject(handle, &base));
        QVERIFY(BLPeekObject(handle, &base)); // peeking twice does not advance
        QVERIFY(BLSkipObject(handle, &base));
        QVERIFY(BLSkipObject(handle, &base));
        VBLCANMessage m{};
        QCOMPARE(BLReadObjectSecure(handle, &m.mHeader.mBase, sizeof m), 1);
        QCOMPARE(m.mHeader.mObjectTimeStamp, ULONGLONG(3));
        QCOMPARE(BLPeekObject(handle, &base), FALSE);
        QCOMPARE(BLSkipObject(handle, &base), FALSE);
        QCOMPARE(BLReadObjectSecure(handle, &m.mHeader.mBase, sizeof m), 0);
        QVERIFY(BLCloseHandle(handle));
    }

    void truncatedAtEveryOffset_data()
    {
        QTest::addColumn<int>("method");
        QTest::newRow("stored") << 0;
        QTest::newRow("compressed") << 2;
    }

    void truncatedAtEveryOffset()
    {
        QFETCH(int, method);
        QByteArray stream;
        for (int n = 1; n <= 6; ++n)
            stream += n % 2 ? obj(n) : BlfBytes::canFd64(quint32(n), quint8(n * 10), quint64(n));
        const QByteArray file = BlfBytes::file(stream, {100, 152}, quint16(method));
        const Times all{1, 2, 3, 4, 5, 6};
        QCOMPARE(timesOf(file), all);

        int previous = 0;
        for (int cut = 0; cut < file.size(); ++cut) {
            const Times times = timesOf(file.left(cut));
            QVERIFY2(times == all.mid(0, times.size()), qPrintable(QString::number(cut)));
            if (method == 0) {
                // Stored: every object that ends before the cut is delivered.
                int complete = 0;
                for (int end = 0, n = 0; n < 6; ++n) {
                    end += n % 2 ? BlfBytes::canFd64(0, quint8((n + 1) * 10)).size() : 48;
                    const int containersBefore = end <= 100 ? 1 : end <= 252 ? 2 : 3;
                    if (144 + 32 * containersBefore + end <= cut)
                        complete = n + 1;
                }
                QCOMPARE(times.size(), complete);
            }
            QVERIFY(times.size() >= previous);
            previous = times.size();
        }
    }

    void damagedZlibEndsTheStream()
    {
        QByteArray stream;
        for (int n = 1; n <= 200; ++n)
            stream += obj(n);
        QByteArray damaged = BlfBytes::container(stream);
        for (int i = damaged.size() / 2; i < damaged.size() / 2 + 16; ++i)
            damaged[i] = char(damaged[i] ^ 0x5A);
        const QByteArray file = BlfBytes::header() + BlfBytes::container(obj(0)) + damaged
                                + BlfBytes::container(obj(500));
        // Damaged deflate data may inflate to garbage before zlib notices, so
        // only the objects well before the damaged bytes are certain.
        const Times times = timesOf(file);
        QVERIFY(times.size() > 50);
        for (int i = 0; i <= 50; ++i)
            QCOMPARE(times[i], quint64(i));
        QVERIFY(!times.contains(500)); // the stream ends at the damage
    }

    void misuseFailsQuietly()
    {
        const QString path = dir.filePath(QStringLiteral("misuse.blf"));
        QVERIFY(BlfBytes::writeAll(path, {BlfBytes::bytesOf(BlfBytes::canStruct(1, 8, 0))}, 6));
        const QByteArray local = path.toLocal8Bit();
        VBLObjectHeaderBase base{};
        VBLFileStatisticsEx statistics{};
        statistics.mStatisticsSize = sizeof statistics;
        SYSTEMTIME start = BlfBytes::startTime();

        for (HANDLE bad : {HANDLE(nullptr), BL_INVALID_HANDLE_VALUE}) {
            QCOMPARE(BLPeekObject(bad, &base), FALSE);
            QCOMPARE(BLSkipObject(bad, &base), FALSE);
            QCOMPARE(BLWriteObject(bad, &base), FALSE);
            QCOMPARE(BLCloseHandle(bad), FALSE);
        }
        QCOMPARE(BLCreateFile(nullptr, BL_GENERIC_READ), BL_INVALID_HANDLE_VALUE);
        QCOMPARE(BLCreateFile(local.constData(), 0), BL_INVALID_HANDLE_VALUE);
        QCOMPARE(BLCreateFile(local.constData(), BL_GENERIC_READ | BL_GENERIC_WRITE),
                 BL_INVALID_HANDLE_VALUE);
        QCOMPARE(BLCreateFile(qPrintable(dir.filePath(QStringLiteral("none.blf"))),
                              BL_GENERIC_READ), BL_INVALID_HANDLE_VALUE);
        QCOMPARE(BLCreateFile(qPrintable(dir.path()), BL_GENERIC_WRITE), BL_INVALID_HANDLE_VALUE);
        QCOMPARE(BLCreateFile(qPrintable(dir.path()), BL_GENERIC_READ), BL_INVALID_HANDLE_VALUE);

        HANDLE reader = BLCreateFile(local.constData(), BL_GENERIC_READ);
        QVERIFY(reader != BL_INVALID_HANDLE_VALUE);
        QCOMPARE(BLWriteObject(reader, &base), FALSE);
        QCOMPARE(BLSetApplication(reader, 1, 2, 3, 4), FALSE);
        QCOMPARE(BLSetMeasurementStartTime(reader, &start), FALSE);
        QCOMPARE(BLSetWriteOptions(reader, 6, 0), FALSE);
        QCOMPARE(BLPeekObject(reader, nullptr), FALSE);
        QCOMPARE(BLGetFileStatisticsEx(reader, nullptr), FALSE);
        QCOMPARE(BLReadObjectSecure(reader, nullptr, 48), FALSE);
        // Too small for the header: refused, and the object is still there.
        VBLCANMessage message{};
        QCOMPARE(BLReadObjectSecure(reader, &message.mHeader.mBase, 16), FALSE);
        QCOMPARE(BLReadObjectSecure(reader, &message.mHeader.mBase, sizeof message), TRUE);
        QCOMPARE(message.mHeader.mBase.mObjectType, DWORD(BL_OBJ_TYPE_CAN_MESSAGE));
        QVERIFY(BLCloseHandle(reader));

        HANDLE writer = BLCreateFile(local.constData(), BL_GENERIC_WRITE);
        QVERIFY(writer != BL_INVALID_HANDLE_VALUE);
        QCOMPARE(BLPeekObject(writer, &base), FALSE);
        QCOMPARE(BLGetFileStatisticsEx(writer, &statistics), FALSE);
        QCOMPARE(BLSetMeasurementStartTime(writer, nullptr), FALSE);
        QCOMPARE(BLWriteObject(writer, nullptr), FALSE);
        QCOMPARE(BLSetWriteOptions(writer, 10, 0), FALSE);
        QVERIFY(BLSetWriteOptions(writer, 0, 0));
        VBLCANMessage good = BlfBytes::canStruct(1, 8, 0);
        for (auto damage : {+[](VBLCANMessage &m) { m.mHeader.mBase.mSignature = 0; },
                            +[](VBLCANMessage &m) { m.mHeader.mBase.mHeaderSize = 16; },
                            +[](VBLCANMessage &m) { m.mHeader.mBase.mHeaderVersion = 2; },
                            +[](VBLCANMessage &m) { m.mHeader.mBase.mObjectSize = 31; },
                            +[](VBLCANMessage &m) { m.mHeader.mBase.mObjectSize = 0xFFFFFFFF; },
                            +[](VBLCANMessage &m) { m.mHeader.mBase.mObjectType = 10; }}) {
            VBLCANMessage bad = good;
            damage(bad);
            QCOMPARE(BLWriteObject(writer, &bad.mHeader.mBase), FALSE);
        }
        QVERIFY(BLWriteObject(writer, &good.mHeader.mBase));
        QCOMPARE(BLSetWriteOptions(writer, 6, 0), FALSE); // one method per file
        QVERIFY(BLCloseHandle(writer));
        QCOMPARE(BlfBytes::readAll(path).size(), 1);
    }

private:
    QTemporaryDir dir;
};

QTEST_GUILESS_MAIN(TestBinlogRobust)
#include "tst_binlog_robust.moc"
