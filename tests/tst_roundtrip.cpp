// Every writer's output read back through our own reader, and through peers:
// one varied frame set, each format judged by what it can carry.

#include <QTemporaryDir>
#include <QtTest>

#include "candataexporter.h"
#include "testsupport.h"

namespace {

// What a format keeps of a frame when written and read back.
struct FormatTraits
{
    const char *name;
    ExportFormat format;
    const char *suffix;
    // Data bytes of remote frames survive (the ASC and BLF layouts drop them).
    bool keepsRemoteData;
    enum TimeKind {
        Relative,          // microseconds since the earliest frame
        RelativeMonotonic, // the same, but never decreasing in file order
        ClockMilliseconds, // clock time of day, whole milliseconds
        Own                // each frame's own time, as it was
    } time;
    // The channel every frame reads back with.
    uint8_t channel;
    // The error state indicator of CAN FD frames survives.
    bool keepsEsi;
};

const FormatTraits asc{"ASC", ExportFormat::Asc, ".asc", false, FormatTraits::Relative, 1,
                       true};
const FormatTraits csv{"CSV", ExportFormat::Csv, ".csv", true, FormatTraits::ClockMilliseconds, 0,
                       false};
const FormatTraits blf{"BLF", ExportFormat::Blf, ".blf", false, FormatTraits::RelativeMonotonic,
                       1, true};
const FormatTraits candump{"candump", ExportFormat::Candump, ".log", false, FormatTraits::Own, 1,
                           true};
const FormatTraits *const allFormats[] = {&asc, &csv, &blf, &candump};

constexpr uint64_t microsPerDay = 86400000000ull;

// Classic data and remote frames of every length, CAN FD frames of every size
// with and without bit-rate switch, standard and extended, Rx and Tx, at
// irregular times. Identifiers are unique, so sorting has one right answer.
// No protocol 1: no reader produces it, and BLF writes it as plain CAN FD.
QVector<Vemi_CANFD_Data> variedFrames()
{
    QVector<Vemi_CANFD_Data> frames;
    uint32_t nextStandard = 0x7FF;
    uint32_t nextExtended = 0x800;
    uint64_t time = 5000000;
    int n = 0;
    auto add = [&](uint8_t length, uint8_t protocol, bool remote) {
        const bool extended = n % 3 == 1;
        const uint32_t identifier = extended ? (nextExtended += 0x10F3) : (nextStandard -= 0x13);
        time += 137 + uint64_t(n % 7) * 1001;
        frames << TestSupport::makeFrame(identifier, length, protocol, extended, remote,
                                         n % 2 == 1, time, uint8_t(n * 7));
        ++n;
    };
    for (uint8_t length = 0; length <= 8; ++length) {
        add(length, Vemi_CANFD_Data::ProtocolCan, false);
        add(length, Vemi_CANFD_Data::ProtocolCan, false);
    }
    for (uint8_t length : {0, 1, 4, 8})
        add(length, Vemi_CANFD_Data::ProtocolCan, true);
    for (uint8_t length : {0, 1, 5, 8, 12, 16, 20, 24, 32, 48, 64}) {
        add(length, Vemi_CANFD_Data::ProtocolCanFd, false);
        add(length, Vemi_CANFD_Data::ProtocolCanFdBrs, false);
    }
    return frames;
}

QVector<Vemi_CANFD_Data> inExportOrder(QVector<Vemi_CANFD_Data> frames, SortOrder order)
{
    if (order == SortOrder::Ascending || order == SortOrder::Descending) {
        std::stable_sort(frames.begin(), frames.end(),
                         [order](const Vemi_CANFD_Data &a, const Vemi_CANFD_Data &b) {
                             return order == SortOrder::Ascending
                                        ? a.identifier() < b.identifier()
                                        : a.identifier() > b.identifier();
                         });
    }
    return frames;
}

QByteArray payload(const Vemi_CANFD_Data &frame)
{
    return QByteArray(reinterpret_cast<const char *>(frame.data), frame.length);
}

void verifySameFrames(const QVector<Vemi_CANFD_Data> &read,
                      const QVector<Vemi_CANFD_Data> &expected, const FormatTraits &traits)
{
    QCOMPARE(read.size(), expected.size());
    uint64_t base = expected.first().timestamp;
    for (const Vemi_CANFD_Data &frame : expected)
        base = std::min(base, frame.timestamp);

    uint64_t runningMax = 0;
    for (int i = 0; i < expected.size(); ++i) {
        const Vemi_CANFD_Data &want = expected.at(i);
        const Vemi_CANFD_Data &got = read.at(i);
        const QByteArray where = QByteArray(traits.name) + " frame " + QByteArray::number(i);
        QVERIFY2(got.id == want.id, where);
        QVERIFY2(got.flags == want.flags, where);
        QVERIFY2(got.length == want.length, where);
        QVERIFY2(got.channel == traits.channel, where);
        QVERIFY2(got.errorFlags == (traits.keepsEsi ? want.errorFlags & Vemi_CANFD_Data::EsiBit
                                                    : 0),
                 where);
        if (want.isRemote() && !traits.keepsRemoteData)
            QVERIFY2(payload(got) == QByteArray(want.length, '\0'), where);
        else
            QVERIFY2(payload(got) == payload(want), where);

        const uint64_t relative = want.timestamp - base;
        switch (traits.time) {
        case FormatTraits::Relative:
            QVERIFY2(got.timestamp == relative, where);
            break;
        case FormatTraits::Own:
            QVERIFY2(got.timestamp == want.timestamp, where);
            break;
        case FormatTraits::RelativeMonotonic:
            runningMax = std::max(runningMax, relative);
            QVERIFY2(got.timestamp == runningMax, where);
            break;
        case FormatTraits::ClockMilliseconds: {
            // The clock starts anywhere in the day; what must hold is the
            // distance from the first frame written, in whole milliseconds.
            const auto day = int64_t(microsPerDay);
            const int64_t firstMs = int64_t((expected.first().timestamp - base) / 1000);
            const int64_t wantMicros = (int64_t(relative / 1000) - firstMs) * 1000;
            const int64_t gotMicros = int64_t(got.timestamp) - int64_t(read.first().timestamp);
            QVERIFY2(((gotMicros - wantMicros) % day + day) % day == 0, where);
            break;
        }
        }
    }
}

using FormatTraitsPtr = const FormatTraits *;

} // namespace

Q_DECLARE_METATYPE(FormatTraitsPtr)

class TestRoundTrip : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Clock times in CSV follow the local zone; keep daylight saving out.
        qputenv("TZ", "UTC");
        registerFrameMetaTypes();
    }

    void throughOwnReader_data()
    {
        QTest::addColumn<FormatTraitsPtr>("traits");
        QTest::addColumn<int>("order");
        for (const FormatTraits *traits : allFormats) {
            for (const auto &[name, order] : {std::pair{"unsorted", SortOrder::None},
                                              std::pair{"ascending", SortOrder::Ascending},
                                              std::pair{"descending", SortOrder::Descending}}) {
                QTest::addRow("%s %s", traits->name, name) << traits << int(order);
            }
        }
    }

    void throughOwnReader()
    {
        QFETCH(FormatTraitsPtr, traits);
        QFETCH(int, order);
        const QVector<Vemi_CANFD_Data> frames = variedFrames();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out") + QLatin1String(traits->suffix));
        QVERIFY(CanDataExporter().exportData(frames, traits->format, SortOrder(order), path));

        const TestSupport::ParseRun run = TestSupport::parseOnWorker(path);
        QVERIFY(run.result);
        verifySameFrames(run.frames(), inExportOrder(frames, SortOrder(order)), *traits);
    }

    // Reading a file we wrote, writing it again and reading that back must
    // give the same frames once the first trip's losses are taken.
    void secondTripIsStable_data()
    {
        QTest::addColumn<FormatTraitsPtr>("first");
        QTest::addColumn<FormatTraitsPtr>("second");
        for (const FormatTraits *first : allFormats) {
            for (const FormatTraits *second : allFormats)
                QTest::addRow("%s to %s", first->name, second->name) << first << second;
        }
    }

    void secondTripIsStable()
    {
        QFETCH(FormatTraitsPtr, first);
        QFETCH(FormatTraitsPtr, second);
        QTemporaryDir dir;
        const QString firstPath = dir.filePath(QStringLiteral("a") + QLatin1String(first->suffix));
        QVERIFY(CanDataExporter().exportData(variedFrames(), first->format, SortOrder::None,
                                             firstPath));
        const QVector<Vemi_CANFD_Data> once = TestSupport::parseOnWorker(firstPath).frames();

        const QString secondPath =
            dir.filePath(QStringLiteral("b") + QLatin1String(second->suffix));
        QVERIFY(CanDataExporter().exportData(once, second->format, SortOrder::None, secondPath));
        QVector<Vemi_CANFD_Data> expected = once;
        for (Vemi_CANFD_Data &frame : expected)
            frame.channel = second->channel;
        verifySameFrames(TestSupport::parseOnWorker(secondPath).frames(), expected, *second);
    }

    // The bus log through our own reader: ASC and BLF keep each frame's
    // channel and ESI; the CSV layout has neither (frames read back on
    // channel 0). candump numbers the interfaces in the order the file names
    // them, which in this log is the order of the channels.
    void busLogThroughOwnReader_data()
    {
        QTest::addColumn<FormatTraitsPtr>("traits");
        QTest::addColumn<bool>("keepsChannel");
        QTest::newRow("ASC") << &asc << true;
        QTest::newRow("CSV") << &csv << false;
        QTest::newRow("BLF") << &blf << true;
        QTest::newRow("candump") << &candump << true;
    }

    void busLogThroughOwnReader()
    {
        QFETCH(FormatTraitsPtr, traits);
        QFETCH(bool, keepsChannel);
        const QVector<Vemi_CANFD_Data> frames = TestSupport::busLog();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bus") + QLatin1String(traits->suffix));
        QVERIFY(CanDataExporter().exportData(frames, traits->format, SortOrder::None, path));

        QVector<Vemi_CANFD_Data> read = TestSupport::parseOnWorker(path).frames();
        QCOMPARE(read.size(), frames.size());
        for (int i = 0; i < frames.size(); ++i) {
            QCOMPARE(read[i].channel, keepsChannel ? frames[i].channel : uint8_t(0));
            // Everything else as any log's round trip.
            read[i].channel = traits->channel;
        }
        verifySameFrames(read, frames, *traits);
    }

    // Each of our files cut at every byte: the frames read are the first ones
    // of the whole file, and a file that gives fewer frames than its whole
    // lines hold, or ends inside a frame, says that it ended early. A cut in
    // the middle of a frame's data bytes always does.
    void cutAtEveryByte_data()
    {
        QTest::addColumn<FormatTraitsPtr>("traits");
        for (const FormatTraits *traits : {&asc, &csv, &blf})
            QTest::newRow(traits->name) << traits;
    }

    void cutAtEveryByte()
    {
        QFETCH(FormatTraitsPtr, traits);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("whole") + QLatin1String(traits->suffix));
        QVERIFY(CanDataExporter().exportData(variedFrames(), traits->format, SortOrder::None,
                                             path));
        const TestSupport::ParseRun whole = TestSupport::parseOnWorker(path);
        QCOMPARE(whole.count(TestSupport::HubEvent::EndedEarly), 0);
        const QVector<Vemi_CANFD_Data> frames = whole.frames();
        const QByteArray bytes = TestSupport::readFile(path);
        const bool text = traits->format != ExportFormat::Blf;

        // Where the payload of each frame with two bytes or more starts in a
        // text file.
        QList<int> payloads;
        for (int i = 0, from = 0; text && i < frames.size(); ++i) {
            if (frames[i].length < 2 || frames[i].isRemote())
                continue;
            const QByteArray hex =
                payload(frames[i]).toHex(' ').toUpper() + (frames[i].length < 8 ? " " : "");
            from = bytes.indexOf(hex, from);
            QVERIFY(from > 0);
            payloads << from;
        }
        const QString cutPath =
            dir.filePath(QStringLiteral("cut") + QLatin1String(traits->suffix));
        int early = 0;
        for (int cut = 1; cut < bytes.size(); ++cut) {
            const QByteArray where = "cut at " + QByteArray::number(cut);
            TestSupport::writeFile(dir.path(), QFileInfo(cutPath).fileName(), bytes.left(cut));
            const TestSupport::ParseRun run = TestSupport::parseOnWorker(cutPath);
            const QVector<Vemi_CANFD_Data> read = run.frames();
            const bool endedEarly = run.count(TestSupport::HubEvent::EndedEarly) == 1;
            early += endedEarly ? 1 : 0;
            QVERIFY2(read.size() <= frames.size(), where);
            // But a last data byte of one digit: it may be whole, or cut from two.
            for (int i = 0; i < read.size(); ++i)
                QVERIFY2(memcmp(&read[i], &frames[i], sizeof read[i]) == 0
                             || (i == read.size() - 1 && frames[i].length == 1),
                         where);
            // A cut text file never gives all frames (a BLF file may lose
            // only padding); one cut at a line end is whole.
            QVERIFY2(!endedEarly || !text || read.size() < frames.size(), where);
            if (text && bytes.at(cut - 1) == '\n')
                QVERIFY2(!endedEarly, where);
            if (text && payloads.contains(cut - 4))
                QVERIFY2(endedEarly, where);
            // BLF: any cut into its one container, but in its first or last
            // three bytes, which the library takes for padding.
            if (!text && cut > 144 + 3 && cut < bytes.size() - 3)
                QVERIFY2(endedEarly && run.result, where);
        }
        QVERIFY(early > 0);
        // Without its last line end a text file is whole.
        if (text) {
            const int end = bytes.endsWith("\r\n") ? bytes.size() - 2 : bytes.size() - 1;
            TestSupport::writeFile(dir.path(), QFileInfo(cutPath).fileName(), bytes.left(end));
            const TestSupport::ParseRun run = TestSupport::parseOnWorker(cutPath);
            QCOMPARE(run.count(TestSupport::HubEvent::EndedEarly), 0);
            QCOMPARE(run.frames().size(), frames.size());
        }
    }

    void pythonCanReadsOurAsc()
    {
        if (!TestSupport::pythonCanAvailable())
            QSKIP("python-can is not installed");
        const QVector<Vemi_CANFD_Data> frames = variedFrames();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.asc"));
        QVERIFY(CanDataExporter().exportData(frames, ExportFormat::Asc, SortOrder::None, path));

        const char *script = R"(
import sys, can
for m in can.ASCReader(sys.argv[1]):
    print('%d %X %d %d %d %d %d %d %s' % (round(m.timestamp * 1e6), m.arbitration_id,
          m.is_extended_id, m.is_remote_frame, m.is_fd, m.bitrate_switch, m.is_rx, m.dlc,
          m.data.hex().upper()))
)";
        bool ok = false;
        const QList<QByteArray> lines =
            TestSupport::runPython(QString::fromLatin1(script), {path}, &ok).split('\n');
        QVERIFY(ok);
        // Every frame, the first one too: the header ends as the peers expect.
        QCOMPARE(lines.size() - 1, frames.size());
        for (int i = 0; i < frames.size(); ++i) {
            const Vemi_CANFD_Data &f = frames.at(i);
            const bool fd = f.protocol() != Vemi_CANFD_Data::ProtocolCan;
            // python-can takes every CAN FD line without data for a remote frame.
            const bool remote = f.isRemote() || (fd && f.length == 0);
            const QByteArray data = f.isRemote() ? QByteArray() : payload(f).toHex().toUpper();
            const QByteArray want =
                QByteArray::number(qulonglong(f.timestamp - frames.first().timestamp)) + ' '
                + QByteArray::number(f.identifier(), 16).toUpper() + ' '
                + QByteArray::number(int(f.isExtended())) + ' '
                + QByteArray::number(int(remote)) + ' ' + QByteArray::number(int(fd)) + ' '
                + QByteArray::number(int(f.protocol() == Vemi_CANFD_Data::ProtocolCanFdBrs)) + ' '
                + QByteArray::number(int(f.direction() == 0)) + ' '
                + QByteArray::number(f.length) + ' ' + data;
            QCOMPARE(lines.at(i), want);
        }
    }
};

QTEST_GUILESS_MAIN(TestRoundTrip)
#include "tst_roundtrip.moc"
