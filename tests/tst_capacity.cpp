#include <algorithm>

#include <QApplication>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "candataexporter.h"
#include "converter.h"
#include "datahub.h"
#include "datamodel.h"
#include "framecapacity.h"
#include "modaldriver.h"
#include "sampleframes.h"
#include "testsupport.h"
#include "windowundertest.h"

// A file with more frames than the table can hold, with the limit lowered so
// that no test needs gigabytes: what fits is shown, the rest is left unread,
// the user is told once, and the frames shown still convert.
namespace {

// The lowered limit for one test; the real one again afterwards, also after a
// failed check.
class LoweredLimit final
{
public:
    explicit LoweredLimit(int frames) { FrameCapacity::setLimitForTesting(frames); }
    ~LoweredLimit() { FrameCapacity::setLimitForTesting(0); }
    LoweredLimit(const LoweredLimit &) = delete;
    LoweredLimit &operator=(const LoweredLimit &) = delete;
};

// Each frame's identifier word, flags, length and payload, in one order
// whatever the order of the frames: what a sorted export keeps of them.
QByteArrayList identifiersAndPayloads(const Frames &frames)
{
    QByteArrayList kept;
    for (const Vemi_CANFD_Data &frame : frames) {
        QByteArray fields(reinterpret_cast<const char *>(&frame.id), sizeof frame.id);
        fields += char(frame.flags);
        fields += char(frame.length);
        kept << fields + payload(frame);
    }
    std::sort(kept.begin(), kept.end());
    return kept;
}

} // namespace

class TestCapacity : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        registerFrameMetaTypes();
        QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        QVERIFY(dir.isValid());
    }

    void modelKeepsWhatFits_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("shown");
        QTest::addColumn<bool>("reached");
        // Three batches of three frames each.
        QTest::newRow("room left") << 10 << 9 << false;
        QTest::newRow("filled exactly") << 9 << 9 << true;
        QTest::newRow("cut inside a batch") << 7 << 7 << true;
        QTest::newRow("full after the first batch") << 3 << 3 << true;
    }

    void modelKeepsWhatFits()
    {
        QFETCH(int, limit);
        QFETCH(int, shown);
        QFETCH(bool, reached);
        LoweredLimit lowered(limit);
        const Frames frames = SampleFrames::varied(9);
        DataModel model;
        QSignalSpy capacity(&model, &DataModel::capacityReached);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        // Twice: a new file after clearFrames is told again.
        for (int file = 0; file < 2; ++file) {
            model.clearFrames();
            capacity.clear();
            inserted.clear();
            for (int first = 0; first < frames.size(); first += 3)
                model.appendFrames(frames.mid(first, 3));
            QCOMPARE(model.rowCount(), shown);
            QCOMPARE(recordBytes(model.frames()), recordBytes(frames.mid(0, shown)));
            QCOMPARE(capacity.count(), reached ? 1 : 0);
            if (reached)
                QCOMPARE(capacity.at(0).at(0).toInt(), shown);
            QCOMPARE(inserted.count(), (shown + 2) / 3);
            QCOMPARE(inserted.last().at(2).toInt(), shown - 1);
        }
    }

    void window_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("limit");
        QTest::addColumn<bool>("english");
        QTest::addColumn<int>("count");
        // Logs stream in batches of 2000: the limit falls inside one, or on
        // its end. The long ASC log is far from read when its table is full.
        QTest::newRow("ASC, inside a batch") << int(ExportFormat::Asc) << 4500 << false << 200000;
        QTest::newRow("CSV, at a batch end, English")
            << int(ExportFormat::Csv) << 4000 << true << 30000;
        QTest::newRow("BLF") << int(ExportFormat::Blf) << 4500 << false << 30000;
    }

    void window()
    {
        QFETCH(int, format);
        QFETCH(int, limit);
        QFETCH(bool, english);
        QFETCH(int, count);
        const QString suffixes[] = {QStringLiteral("asc"), QStringLiteral("csv"),
                                    QStringLiteral("blf")};
        const QString log = dir.filePath(QStringLiteral("long.") + suffixes[format]);
        CHECKED(writeLog(log, SampleFrames::varied(count), ExportFormat(format)));
        const Frames whole = TestSupport::parseOnWorker(log).frames();
        QCOMPARE(whole.size(), count);

        LoweredLimit lowered(limit);
        OPEN_WINDOW(w);
        // The start language comes from a Config.ini that the window's own
        // test, running beside this one, may have written.
        if ((w.translate->text() == QLatin1String("Translate")) != english)
            w.translate->click();
        CHECKED(chooseFiles(w, {log}));
        QSignalSpy finished(w.hub, &DataHub::parsingFinished);
        BoxSeen seen;
        int rowsAtBox = -1;
        auto box = ModalDriver::expect<QMessageBox>([&](QMessageBox *shown) {
            seen.title = shown->windowTitle();
            seen.text = shown->text();
            seen.icon = shown->icon();
            rowsAtBox = w.model->rowCount();
            shown->button(QMessageBox::Ok)->click();
        }, ParseTimeoutMs);
        CHECKED(clickEntry(w, 0));
        QVERIFY2(box->wait(), qPrintable(box->failure()));
        QCOMPARE(seen.title, english ? QStringLiteral("Hit") : QStringLiteral("提示"));
        const QString tooMany = english
                                    ? QStringLiteral("Too many frames: only the first %1 are shown")
                                    : QStringLiteral("帧数过多：仅显示前 %1 帧");
        QCOMPARE(seen.text, tooMany.arg(limit));
        QCOMPARE(seen.icon, QMessageBox::Warning);
        QCOMPARE(rowsAtBox, limit);

        // The parse ends (a text reader at its next line) and lets go of the file.
        QTRY_VERIFY_WITH_TIMEOUT(!heldOpen(log), ParseTimeoutMs);
        // The long log's reader stopped.
        if (count > 100000)
            QCOMPARE(finished.count(), 0);
        // No second box, and nothing more in the table.
        auto again = ModalDriver::expect<QMessageBox>([](QMessageBox *shown) { shown->close(); });
        flushEvents();
        QVERIFY(!again->handled());
        again.reset();
        QCOMPARE(recordBytes(w.model->frames()), recordBytes(whole.mid(0, limit)));

        // What the table shows converts like any other table.
        const QString out = dir.filePath(QStringLiteral("shown.csv"));
        CHECKED(convertTo(w, ExportFormat::Csv, out, seen));
        QCOMPARE(seen.text, english ? QStringLiteral("Operation Complete")
                                    : QStringLiteral("操作完成"));
        CHECKED(compareReadBack(TestSupport::parseOnWorker(out).frames(), whole.mid(0, limit),
                                false));
    }

    // The command-line converter writes what fits, yet does not report the
    // file as converted; the next file, within the limit, converts in full.
    // Sorted, the converter loads the log into the store first: what fits is
    // converted and the file is reported as failed. In frame order the log
    // passes from the reader to the writer as it is read, so the limit of
    // the store does not apply.
    void converter()
    {
        const QString longLog = dir.filePath(QStringLiteral("long-for-converter.asc"));
        const QString shortLog = dir.filePath(QStringLiteral("short-for-converter.csv"));
        const Frames longFrames = SampleFrames::varied(200000);
        CHECKED(writeLog(longLog, longFrames, ExportFormat::Asc));
        CHECKED(writeLog(shortLog, SampleFrames::varied(3000), ExportFormat::Csv));
        const QString longOut = dir.filePath(QStringLiteral("long-converted.asc"));
        const QString shortOut = dir.filePath(QStringLiteral("short-converted.asc"));
        LoweredLimit lowered(4500);

        Converter::Settings settings;
        settings.quiet = true;
        settings.order = SortOrder::Ascending;
        {
            Converter converter(settings);
            QVERIFY(!converter.run(
                {{longLog, longOut, QString()}, {shortLog, shortOut, QString()}}));
        }
        const Frames written = TestSupport::parseOnWorker(longOut).frames();
        QCOMPARE(written.size(), 4500);
        QVERIFY(std::is_sorted(written.begin(), written.end(),
                               [](const Vemi_CANFD_Data &a, const Vemi_CANFD_Data &b) {
                                   return a.identifier() < b.identifier();
                               }));
        QCOMPARE(identifiersAndPayloads(written),
                 identifiersAndPayloads(longFrames.mid(0, 4500)));
        QCOMPARE(TestSupport::parseOnWorker(shortOut).frames().size(), 3000);

        settings.order = SortOrder::None;
        Converter converter(settings);
        QVERIFY(converter.run({{longLog, longOut, QString()}}));
        CHECKED(compareReadBack(TestSupport::parseOnWorker(longOut).frames(), longFrames,
                                false));
    }
};

QTEST_MAIN(TestCapacity)
#include "tst_capacity.moc"
