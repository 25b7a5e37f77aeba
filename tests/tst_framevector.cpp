#include <QtTest>

#include "framevector.h"
#include "testsupport.h"

namespace {

// count frames whose identifiers count up from first; every byte distinct
// enough that a lost or shifted record shows.
QVector<Vemi_CANFD_Data> batchOf(int count, uint32_t first)
{
    QVector<Vemi_CANFD_Data> batch;
    for (int i = 0; i < count; ++i) {
        batch << TestSupport::makeFrame(first + uint32_t(i), uint8_t(i % 65), uint8_t(i % 4),
                                        false, false, i % 2, first + uint64_t(i),
                                        uint8_t(first + uint32_t(i)));
    }
    return batch;
}

bool sameBytes(const QVector<Vemi_CANFD_Data> &a, const QVector<Vemi_CANFD_Data> &b)
{
    return a.size() == b.size()
           && std::memcmp(a.constData(), b.constData(), sizeof(Vemi_CANFD_Data) * a.size()) == 0;
}

} // namespace

class TestFrameVector : public QObject
{
    Q_OBJECT

private slots:
    void appendKeepsEveryRecord_data()
    {
        QTest::addColumn<QList<int>>("batches");
        QTest::newRow("one batch") << QList<int>{5};
        QTest::newRow("reader batches") << QList<int>{2000, 2000, 2000, 1};
        // Past the C library's mmap threshold, where realloc remaps pages.
        QTest::newRow("large blocks") << QList<int>{1, 150000, 300000, 7};
        QTest::newRow("single frames") << QList<int>{1, 1, 1, 1, 1, 1, 1, 1, 1};
    }

    void appendKeepsEveryRecord()
    {
        QFETCH(QList<int>, batches);
        QVector<Vemi_CANFD_Data> frames;
        QVector<Vemi_CANFD_Data> expected;
        uint32_t next = 0;
        for (int size : batches) {
            const QVector<Vemi_CANFD_Data> batch = batchOf(size, next);
            next += uint32_t(size);
            FrameVector::append(frames, batch);
            expected += batch;
            QVERIFY(sameBytes(frames, expected));
        }
    }

    void emptyVectorTakesTheBatchWithoutCopy()
    {
        const QVector<Vemi_CANFD_Data> batch = batchOf(10, 0);
        QVector<Vemi_CANFD_Data> frames;
        FrameVector::append(frames, batch);
        QCOMPARE(frames.constData(), batch.constData());
    }

    // A copy handed out (the window's copy for an export) keeps what it held.
    void sharedCopyStaysUntouched()
    {
        QVector<Vemi_CANFD_Data> frames = batchOf(3000, 0);
        const QVector<Vemi_CANFD_Data> copy = frames;
        const QVector<Vemi_CANFD_Data> before = batchOf(3000, 0);
        FrameVector::reserveForAppend(frames, 100000);
        FrameVector::append(frames, batchOf(100000, 3000));
        QVERIFY(sameBytes(copy, before));
        QCOMPARE(frames.size(), 103000);
        QVERIFY(std::memcmp(frames.constData(), before.constData(),
                            sizeof(Vemi_CANFD_Data) * 3000) == 0);
    }

    void reserveMakesRoom()
    {
        QVector<Vemi_CANFD_Data> frames = batchOf(10, 0);
        frames.squeeze();
        FrameVector::reserveForAppend(frames, 5000);
        QVERIFY(frames.capacity() >= 5010);
        QVERIFY(sameBytes(frames, batchOf(10, 0)));
    }
};

QTEST_GUILESS_MAIN(TestFrameVector)
#include "tst_framevector.moc"
