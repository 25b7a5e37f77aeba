#include <algorithm>
#include <cstring>

#include <QRandomGenerator>
#include <QtTest>

#include "identifiersort.h"
#include "testsupport.h"

namespace {

// The mechanism the index sort replaces: the records themselves sorted by
// std::sort, moved by assignment.
QVector<Vemi_CANFD_Data> referenceSort(QVector<Vemi_CANFD_Data> frames, SortOrder order)
{
    if (order == SortOrder::Ascending)
        std::sort(frames.begin(), frames.end(),
                  [](const Vemi_CANFD_Data &a, const Vemi_CANFD_Data &b) {
                      return a.identifier() < b.identifier();
                  });
    else if (order == SortOrder::Descending)
        std::sort(frames.begin(), frames.end(),
                  [](const Vemi_CANFD_Data &a, const Vemi_CANFD_Data &b) {
                      return a.identifier() > b.identifier();
                  });
    return frames;
}

// Every byte a writer reads: all but the data bytes beyond length, which
// assignment leaves stale.
bool sameFrame(const Vemi_CANFD_Data &a, const Vemi_CANFD_Data &b)
{
    return a.id == b.id && a.length == b.length && a.errorFlags == b.errorFlags
           && a.channel == b.channel && a.flags == b.flags && a.timestamp == b.timestamp
           && std::memcmp(a.data, b.data, std::min<int>(a.length, 64)) == 0
           && std::memcmp(a.timeText, b.timeText, sizeof a.timeText) == 0;
}

} // namespace

class TestIdentifierSort : public QObject
{
    Q_OBJECT

private slots:
    // Equal identifiers end in the order std::sort leaves them in; the
    // timestamps, distinct for every frame, show any difference.
    void sameOrderAsSortingTheRecords_data()
    {
        QTest::addColumn<int>("order");
        QTest::addColumn<int>("identifiers"); // how many distinct ones
        for (int order : {0, 1, 2, 3}) {
            for (int identifiers : {1, 7, 1000, 1 << 29}) {
                QTest::addRow("order %d, %d identifiers", order, identifiers)
                    << order << identifiers;
            }
        }
    }

    void sameOrderAsSortingTheRecords()
    {
        QFETCH(int, order);
        QFETCH(int, identifiers);
        QRandomGenerator random(uint(order * 31 + identifiers));
        for (int count : {0, 1, 2, 15, 16, 17, 100, 5000}) {
            QVector<Vemi_CANFD_Data> frames;
            for (int i = 0; i < count; ++i) {
                const uint32_t id = random.bounded(uint(identifiers));
                frames << TestSupport::makeFrame(id, uint8_t(random.bounded(65)),
                                                 uint8_t(random.bounded(4)), random.bounded(2),
                                                 random.bounded(2), random.bounded(2),
                                                 uint64_t(i), uint8_t(i));
            }
            const QVector<Vemi_CANFD_Data> expected =
                referenceSort(frames, SortOrder(order));
            const std::vector<uint32_t> positions =
                IdentifierSort::positions(frames, SortOrder(order));
            // No order: the frames stay as they are.
            QCOMPARE(positions.empty(), count == 0 || (order != 1 && order != 2));
            for (int i = 0; i < count; ++i) {
                const Vemi_CANFD_Data &actual = positions.empty() ? frames[i]
                                                                  : frames[int(positions[i])];
                QVERIFY2(sameFrame(actual, expected[i]), QByteArray::number(i));
            }
            QVERIFY(positions.empty() || int(positions.size()) == count);
        }
    }
};

QTEST_GUILESS_MAIN(TestIdentifierSort)
#include "tst_identifiersort.moc"
