#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include "framecapacity.h"
#include "framestore.h"
#include "testsupport.h"

namespace {

void setText(Vemi_CANFD_Data &frame, const QByteArray &text)
{
    frame.setTimeText(text.constData(), std::size_t(text.size()));
}

// count frames whose every field tells them apart; a lost, doubled or shifted
// record shows in its bytes. Their time texts take every form the store keeps:
// the seconds of the timestamp as our ASC writer writes them, the gap to the
// frame before as the BLF reader shows it, a clock as our CSV writer writes
// it, a text as written, none; and some records carry bytes beyond their
// payload, which the store keeps whole.
QVector<Vemi_CANFD_Data> framesFrom(int first, int count)
{
    QVector<Vemi_CANFD_Data> frames;
    uint64_t previous = first > 0 ? uint64_t(first - 1) * 997000 : 0;
    for (int i = first; i < first + count; ++i) {
        const uint64_t timestamp = uint64_t(i) * 997000;
        Vemi_CANFD_Data frame = TestSupport::makeFrame(
            uint32_t(i), uint8_t(i % 65), uint8_t(i % 4), i % 3 == 0, i % 5 == 0, i % 2,
            timestamp, uint8_t(i));
        frame.channel = uint8_t(i % 7);
        switch (i % 7) {
        case 0: setText(frame, QByteArray::number(double(timestamp) / 1e6, 'f', 6)); break;
        case 1: setText(frame, QByteArray::number(double(timestamp - previous) / 1e6, 'f', 6));
                break;
        case 2: setText(frame, QTime::fromMSecsSinceStartOfDay(int(timestamp / 1000))
                                   .toString(QStringLiteral("HH:mm:ss:zzz")).toLatin1());
                break;
        case 3: setText(frame, i % 2 ? QByteArray("1.5e3 as written")
                                      : QByteArray::number(double(timestamp) / 1e6, 'f', 6)
                                            .rightJustified(17, '0'));
                break;
        case 4: break;
        case 5: frame.data[63] = 0xEE; break; // past the payload of every length but 64
        default: frame.reserved1 = 0x33333333; break;
        }
        previous = timestamp;
        frames << frame;
    }
    return frames;
}

QByteArray bytesOf(const QVector<Vemi_CANFD_Data> &frames)
{
    return QByteArray(reinterpret_cast<const char *>(frames.constData()),
                      int(sizeof(Vemi_CANFD_Data)) * frames.size());
}

// Chunk size and limits lowered for one test, restored afterwards.
struct Lowered
{
    // memoryChunks: open chunks the memory limit allows, 0 for no limit.
    Lowered(int chunk, int limit, int memoryChunks = 0)
    {
        FrameStore::setChunkFramesForTesting(chunk);
        FrameCapacity::setLimitForTesting(limit);
        FrameCapacity::setMemoryLimitForTesting(std::size_t(memoryChunks)
                                                * FrameStore::openChunkBytes());
    }
    ~Lowered()
    {
        FrameStore::setChunkFramesForTesting(0);
        FrameCapacity::setLimitForTesting(0);
        FrameCapacity::setMemoryLimitForTesting(0);
    }
};

} // namespace

class TestFrameStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerFrameMetaTypes(); }

    void keepsFramesAcrossChunks_data()
    {
        QTest::addColumn<int>("chunk");
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("memoryChunks");
        QTest::addColumn<QList<int>>("batches");
        QTest::addColumn<int>("held");
        QTest::newRow("one chunk") << 8 << 0 << 0 << QList<int>{3, 4} << 7;
        QTest::newRow("chunk filled exactly") << 8 << 0 << 0 << QList<int>{8, 8} << 16;
        QTest::newRow("batch spans chunks") << 4 << 0 << 0 << QList<int>{3, 11, 1} << 15;
        QTest::newRow("reader batches") << 0 << 0 << 0 << QList<int>{2000, 2000, 2000, 7}
                                        << 6007;
        QTest::newRow("capacity inside a batch") << 4 << 10 << 0 << QList<int>{6, 6, 6} << 10;
        QTest::newRow("capacity at a batch end") << 4 << 12 << 0 << QList<int>{6, 6, 6} << 12;
        // Room for one open chunk: the batch is cut to what it holds.
        QTest::newRow("memory runs short") << 4 << 0 << 1 << QList<int>{6, 6, 6} << 3;
    }

    // Every frame comes back byte for byte, by index and through a snapshot;
    // rows are announced exactly as they arrive, and a full store says so once.
    void keepsFramesAcrossChunks()
    {
        QFETCH(int, chunk);
        QFETCH(int, limit);
        QFETCH(int, memoryChunks);
        QFETCH(QList<int>, batches);
        QFETCH(int, held);
        Lowered lowered(chunk, limit, memoryChunks);
        FrameStore store;
        QSignalSpy announced(&store, &FrameStore::framesAboutToBeAppended);
        QSignalSpy appended(&store, &FrameStore::framesAppended);
        QSignalSpy full(&store, &FrameStore::full);

        // Twice: a cleared store takes a new file and tells of it again.
        for (int file = 0; file < 2; ++file) {
            store.clear();
            announced.clear();
            appended.clear();
            full.clear();
            QVector<Vemi_CANFD_Data> all;
            int offered = 0;
            for (int size : batches) {
                const QVector<Vemi_CANFD_Data> batch = framesFrom(offered, size);
                offered += size;
                const int before = store.size();
                const int taken = store.append(batch);
                all += batch.mid(0, taken);
                QCOMPARE(store.size(), before + taken);
                if (taken > 0) {
                    QCOMPARE(announced.last().at(0).toInt(), before);
                    QCOMPARE(announced.last().at(1).toInt(), before + taken - 1);
                }
            }
            QCOMPARE(store.size(), held);
            QCOMPARE(appended.count(), announced.count());
            const bool limited = limit > 0 || memoryChunks > 0;
            QCOMPARE(full.count(), limited ? 1 : 0);
            if (limited)
                QCOMPARE(full.at(0).at(0).toInt(), held);
            QVector<Vemi_CANFD_Data> byIndex;
            for (int i = 0; i < store.size(); ++i)
                byIndex << store.at(i);
            QCOMPARE(bytesOf(byIndex), bytesOf(all));
            QCOMPARE(bytesOf(store.snapshot().toVector()), bytesOf(all));
        }
    }

    // A snapshot keeps its frames through a clear and ignores later appends,
    // also while another thread reads it and this one appends.
    void snapshotStandsAlone()
    {
        Lowered lowered(16, 0);
        FrameStore store;
        store.append(framesFrom(0, 40));
        const FrameSnapshot before = store.snapshot();
        const QByteArray expected = bytesOf(framesFrom(0, 40));

        QByteArray readThere;
        QThread *reader = QThread::create([&] {
            for (int round = 0; round < 50; ++round)
                readThere = bytesOf(before.toVector());
        });
        reader->start();
        for (int i = 0; i < 50; ++i)
            store.append(framesFrom(40 + i, 1));
        store.clear();
        store.append(framesFrom(1000, 30));
        reader->wait();
        delete reader;

        QCOMPARE(before.size(), 40);
        QCOMPARE(readThere, expected);
        QCOMPARE(bytesOf(before.toVector()), expected);
        Vemi_CANFD_Data scratch;
        QCOMPARE(before.frameAt(39, scratch).identifier(), 39u);
        QCOMPARE(before.identifierAt(7), 7u);
        QCOMPARE(before.timestampAt(7), 7u * 997000);
        QCOMPARE(store.snapshot().at(0).identifier(), 1000u);

        // A selection of it gives those frames whole, in the order asked, and
        // a selection of the selection maps through both.
        const auto rows = std::make_shared<const std::vector<uint32_t>>(
            std::vector<uint32_t>{39, 8, 1, 0});
        const FrameSnapshot some = before.selected(rows);
        const QVector<Vemi_CANFD_Data> all = framesFrom(0, 40);
        QCOMPARE(bytesOf(some.toVector()), bytesOf({all[39], all[8], all[1], all[0]}));
        QCOMPARE(some.identifierAt(1), 8u);
        const FrameSnapshot fewer =
            some.selected(std::make_shared<const std::vector<uint32_t>>(std::vector<uint32_t>{2}));
        QCOMPARE(bytesOf(fewer.toVector()), bytesOf({all[1]}));
    }
};

QTEST_GUILESS_MAIN(TestFrameStore)
#include "tst_framestore.moc"
