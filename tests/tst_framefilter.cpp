#include <functional>

#include <QTemporaryDir>
#include <QtTest>

#include "framefilter.h"
#include "frameoverview.h"
#include "messagedatabase.h"
#include "framestore.h"
#include "testsupport.h"

namespace {

// Frames of every kind the terms tell apart: identifiers around the edges of
// ranges, both types, channels 0 to 3, both directions, every protocol,
// remote frames, lengths 0 to 64, and times 1.5 ms apart from 7 s on.
QVector<Vemi_CANFD_Data> sampleFrames()
{
    static const uint32_t ids[] = {0x0, 0x7DF, 0x100, 0x150, 0x1FF, 0x200, 0x2FF,
                                   0x18DA00F1, 0x7FF, 0xFD, 0x1FFFFFFF};
    QVector<Vemi_CANFD_Data> frames;
    for (int i = 0; i < 600; ++i) {
        const uint8_t protocol = uint8_t(i % 4 == 1 ? 0 : i % 4);
        const uint8_t length = uint8_t(protocol == 0 ? i % 9 : (i * 7) % 65);
        Vemi_CANFD_Data frame = TestSupport::makeFrame(
            ids[i % 11], length, protocol, i % 3 == 0, protocol == 0 && i % 13 == 0, i % 5 == 0,
            7000000 + uint64_t(i) * 1500, uint8_t(i % 4 == 0 ? 0x02 : i));
        if (length > 1 && i % 8 == 0)
            frame.data[1] = 0x10;
        frame.channel = uint8_t(i % 4);
        frames << frame;
    }
    return frames;
}

using Reference = std::function<bool(const Vemi_CANFD_Data &f, uint64_t sinceFirst)>;

struct Row
{
    const char *name;
    const char *text;
    Reference reference; // null: the text does not parse
};

bool inRange(const Vemi_CANFD_Data &f, uint32_t low, uint32_t high)
{
    return f.identifier() >= low && f.identifier() <= high;
}

const std::vector<Row> &rows()
{
    static const std::vector<Row> all{
        {"empty", "  ", [](auto &, uint64_t) { return true; }},
        {"one identifier", "0x100", [](auto &f, uint64_t) { return f.identifier() == 0x100; }},
        {"range", "100-1FF", [](auto &f, uint64_t) { return inRange(f, 0x100, 0x1FF); }},
        {"extended only", "18DA00F1x",
         [](auto &f, uint64_t) { return f.identifier() == 0x18DA00F1 && f.isExtended(); }},
        {"list", "100,200-2FF",
         [](auto &f, uint64_t) { return f.identifier() == 0x100 || inRange(f, 0x200, 0x2FF); }},
        {"exclusion alone", "!7DF", [](auto &f, uint64_t) { return f.identifier() != 0x7DF; }},
        {"range less one", "100-1FF !150",
         [](auto &f, uint64_t) { return inRange(f, 0x100, 0x1FF) && f.identifier() != 0x150; }},
        {"channels", "ch 1,3", [](auto &f, uint64_t) { return f.channel == 1 || f.channel == 3; }},
        {"sent CAN FD", "tx FD", [](auto &f, uint64_t) { return f.isSent() && f.protocol() >= 2; }},
        {"received classic", "rx classic",
         [](auto &f, uint64_t) { return !f.isSent() && f.protocol() == 0; }},
        {"remote", "remote", [](auto &f, uint64_t) { return f.isRemote(); }},
        {"time range", "t 0.3-0.45",
         [](auto &, uint64_t t) { return t >= 300000 && t <= 450000; }},
        {"time from", "t 0.8-", [](auto &, uint64_t t) { return t >= 800000; }},
        {"time until", "t -0.0015", [](auto &, uint64_t t) { return t <= 1500; }},
        {"data with any byte", "data 02 10 ??",
         [](auto &f, uint64_t) {
             return f.length >= 3 && f.data[0] == 0x02 && f.data[1] == 0x10;
         }},
        {"identifier 0xFD, not the word fd", "0xfd",
         [](auto &f, uint64_t) { return f.identifier() == 0xFD; }},
        {"everything at once", "0x0-0x7FF !7DF ch 0,2 rx fd t 0.1-0.8 data ??",
         [](auto &f, uint64_t t) {
             return f.identifier() <= 0x7FF && f.identifier() != 0x7DF
                    && (f.channel == 0 || f.channel == 2) && !f.isSent() && f.protocol() >= 2
                    && t >= 100000 && t <= 800000 && f.length >= 1;
         }},
        {"bad identifier", "12G", nullptr},
        {"extended mark alone", "x", nullptr},
        {"identifier too large", "20000000", nullptr},
        {"reversed range", "200-100", nullptr},
        {"empty list item", "100,,200", nullptr},
        {"channel missing", "ch", nullptr},
        {"channel not a number", "ch two", nullptr},
        {"time without range", "t", nullptr},
        {"time backwards", "t 5-1", nullptr},
        {"data without bytes", "data rx", nullptr},
        {"name without a database", "name Brake*", nullptr},
    };
    return all;
}

} // namespace

class TestFrameFilter : public QObject
{
    Q_OBJECT

private slots:
    void language_data()
    {
        QTest::addColumn<int>("row");
        for (std::size_t i = 0; i < rows().size(); ++i)
            QTest::newRow(rows()[i].name) << int(i);
    }

    // Every frame, one by one, against the reference of the row; a text that
    // does not parse names its term and matches nothing, whatever the frames.
    void language()
    {
        QFETCH(int, row);
        const Row &r = rows()[std::size_t(row)];
        const FrameFilter filter = FrameFilter::parse(QString::fromLatin1(r.text));
        const QVector<Vemi_CANFD_Data> frames = sampleFrames();
        FrameStore store;
        store.append(frames);
        if (!r.reference) {
            QVERIFY(!filter.isValid());
            QVERIFY(!filter.error().isEmpty());
            return;
        }
        QVERIFY2(filter.isValid(), qPrintable(filter.error()));
        std::vector<uint32_t> expected;
        for (int i = 0; i < frames.size(); ++i) {
            if (r.reference(frames[i], frames[i].timestamp - frames.first().timestamp))
                expected.push_back(uint32_t(i));
        }
        QVERIFY(!expected.empty() || QByteArray(r.name) == "empty");
        QCOMPARE(filter.select(store.snapshot()), expected);
        QCOMPARE(filter.select(FrameSnapshot(frames)), expected);
    }

    // Per identifier and channel, against counts made by hand: a standard and
    // an extended frame with one identifier are two rows, and so are two
    // channels; periods are the gaps between frames after each other.
    void overview()
    {
        auto frame = [](uint32_t id, bool extended, int channel, uint8_t length, bool sent,
                        uint64_t time) {
            Vemi_CANFD_Data f = TestSupport::makeFrame(id, length, length > 8 ? 2 : 0, extended,
                                                       false, sent, time);
            f.channel = uint8_t(channel);
            return f;
        };
        FrameStore store;
        store.append({frame(0x100, false, 1, 8, false, 1000000),
                      frame(0x100, true, 1, 8, false, 1000500),
                      frame(0x100, false, 1, 2, true, 1010000),
                      frame(0x100, false, 2, 64, false, 1015000),
                      frame(0x100, false, 1, 8, false, 1040000)});
        const FrameOverview overview = FrameOverview::of(store.snapshot());
        const std::vector<OverviewRow> rows = overview.rows();
        QCOMPARE(int(rows.size()), 3);
        QCOMPARE(rows[0].identifierText(), QStringLiteral("100"));
        QCOMPARE(rows[0].channel, uint8_t(1));
        QCOMPARE(rows[0].count, int64_t(3));
        QCOMPARE(rows[0].lengthsText(), QStringLiteral("2, 8"));
        QCOMPARE(rows[0].minPeriod, int64_t(10000));
        QCOMPARE(rows[0].maxPeriod, int64_t(30000));
        QCOMPARE(rows[0].meanPeriod(), 20000.0);
        QCOMPARE(rows[0].received, int64_t(2));
        QCOMPARE(rows[0].sent, int64_t(1));
        QCOMPARE(rows[1].channel, uint8_t(2));
        QCOMPARE(rows[1].lengthsText(), QStringLiteral("64"));
        QCOMPARE(rows[2].identifierText(), QStringLiteral("100x"));
        QCOMPARE(overview.csv().split(QLatin1Char('\n')).at(1),
                 QStringLiteral("100,1,3,\"2, 8\",0.000000,0.040000,0.010000,0.020000,"
                                "0.030000,2,1"));
    }

    // Message names from a database: "name" matches the messages its pattern
    // names, by identifier and type; without a match it is an error.
    void names()
    {
        QTemporaryDir dir;
        const QString path = TestSupport::writeFile(dir.path(), QStringLiteral("car.dbc"),
            "VERSION \"\"\nBU_: ECU\n"
            "BO_ 2564423921 Brake_Status: 8 ECU\n"
            " SG_ Pressure : 0|16@1+ (0.1,0) [0|6553.5] \"bar\" ECU\n"
            " SG_ State : 16|2@1+ (1,0) [0|3] \"\" ECU\n"
            "BO_ 256 Br\xC3\xA4ke_Front: 2 ECU\n"
            "VAL_ 2564423921 State 0 \"off\" 1 \"on\" ;\n");
        MessageDatabase database;
        const MessageDatabase::Loaded loaded = database.load(path);
        QVERIFY2(loaded.ok, qPrintable(loaded.error));
        QCOMPARE(database.name(0x18DA00F1, true), QStringLiteral("Brake_Status"));
        QCOMPARE(database.name(0x18DA00F1, false), QString());
        QCOMPARE(database.name(0x100, false), QString::fromUtf8("Br\xC3\xA4ke_Front"));

        Vemi_CANFD_Data brake = TestSupport::makeFrame(0x18DA00F1, 8, 0, true);
        brake.data[0] = 0x10;
        brake.data[1] = 0x27; // 10000 * 0.1 bar
        brake.data[2] = 0x01;
        brake.channel = 1;
        const QVector<MessageDatabase::Signal> decoded = database.decode(brake);
        QCOMPARE(decoded.size(), 2);
        QCOMPARE(decoded[0].value, QStringLiteral("1000"));
        QCOMPARE(decoded[0].unit, QStringLiteral("bar"));
        QCOMPARE(decoded[0].raw, QStringLiteral("2710"));
        QCOMPARE(decoded[1].valueText, QStringLiteral("on"));

        const FrameFilter filter =
            FrameFilter::parse(QStringLiteral("name brake_* ch 1"), database.nameMatcher());
        QVERIFY2(filter.isValid(), qPrintable(filter.error()));
        QVERIFY(filter.matches(brake, 0));
        brake.id &= ~Vemi_CANFD_Data::ExtendedBit;
        QVERIFY(!filter.matches(brake, 0));
        QVERIFY(!FrameFilter::parse(QStringLiteral("name Door*"), database.nameMatcher())
                     .isValid());
        QVERIFY(!FrameFilter::parse(QStringLiteral("name Door*"), MessageDatabase().nameMatcher())
                     .isValid());
    }
};

QTEST_GUILESS_MAIN(TestFrameFilter)
#include "tst_framefilter.moc"
