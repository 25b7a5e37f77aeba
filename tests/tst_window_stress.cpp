#include <memory>

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "candataexporter.h"
#include "datahub.h"
#include "datamodel.h"
#include "modaldriver.h"
#include "sampleframes.h"
#include "testsupport.h"
#include "windowundertest.h"

// The real window worked hard while its threads run: many clicks between
// files being read, conversions and language changes during other work, the
// window closed in the middle of everything. Under the sanitizer builds these
// runs are also the race and leak checks of the window's threads.
namespace {

// Each log is still being read when the next click comes.
constexpr int LogFrames = 100000;
constexpr int ClickCount = 300;

// Whether read is the first read.size() frames of whole, in every field a
// written file keeps.
void comparePrefix(const Frames &read, const Frames &whole, bool withTimes)
{
    QVERIFY2(read.size() <= whole.size(), qPrintable(QString::number(read.size())));
    CHECKED(compareReadBack(read, whole.mid(0, read.size()), withTimes));
}

// Clicks an entry and waits until its parse has delivered some frames.
void startParse(WindowUnderTest &w, int row)
{
    CHECKED(clickEntry(w, row));
    QTRY_VERIFY_WITH_TIMEOUT(w.model->rowCount() > 0, ParseTimeoutMs);
}

} // namespace

class TestWindowStress : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString ascLog;
    QString csvLog;
    Frames ascFrames;
    Frames csvFrames;

    QString path(const QString &name) const { return dir.filePath(name); }

private slots:
    void initTestCase()
    {
        registerFrameMetaTypes();
        QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        QVERIFY(dir.isValid());
        ascLog = path(QStringLiteral("stress.asc"));
        csvLog = path(QStringLiteral("stress.csv"));
        CHECKED(writeLog(ascLog, SampleFrames::varied(LogFrames), ExportFormat::Asc));
        CHECKED(writeLog(csvLog, SampleFrames::varied(LogFrames), ExportFormat::Csv));
        ascFrames = TestSupport::parseOnWorker(ascLog).frames();
        csvFrames = TestSupport::parseOnWorker(csvLog).frames();
        QCOMPARE(ascFrames.size(), LogFrames);
        QCOMPARE(csvFrames.size(), LogFrames);
    }

    // Clicks between two files while they are read, now and then after the
    // table filled a little: the table ends with the last clicked file alone.
    void alternatingClicks()
    {
        OPEN_WINDOW(w);
        CHECKED(chooseFiles(w, {ascLog, csvLog}));
        for (int click = 0; click < ClickCount - 1; ++click) {
            if (click % 10 == 9)
                CHECKED(startParse(w, click % 2));
            else
                CHECKED(clickEntry(w, click % 2));
            if (click % 3 == 1)
                QCoreApplication::processEvents();
        }
        CHECKED(showEntry(w, 1, csvFrames.size()));
        flushEvents();
        QCOMPARE(recordBytes(w.model->frames()), recordBytes(csvFrames));
    }

    // Conversions of a table that is still filling: each file holds the
    // frames the table had at the click, the first ones of the log.
    void convertWhileParsing()
    {
        QTemporaryDir outDir;
        QVERIFY(outDir.isValid());
        OPEN_WINDOW(w);
        CHECKED(chooseFiles(w, {ascLog}));
        const ExportFormat formats[] = {ExportFormat::Asc, ExportFormat::Csv, ExportFormat::Blf};
        const char *const suffixes[] = {"asc", "csv", "blf"};
        for (int round = 0; round < 2; ++round) {
            for (ExportFormat format : formats) {
                const QString out = outDir.filePath(QStringLiteral("during-%1.%2").arg(round).arg(
                    QLatin1String(suffixes[int(format)])));
                CHECKED(startParse(w, 0));
                BoxSeen seen;
                CHECKED(convertTo(w, format, out, seen));
                QCOMPARE(seen.icon, QMessageBox::Information); // "Operation Complete"
                const Frames written = TestSupport::parseOnWorker(out).frames();
                QVERIFY(!written.isEmpty());
                CHECKED(comparePrefix(written, ascFrames, format == ExportFormat::Asc));
            }
        }
        QTRY_COMPARE_WITH_TIMEOUT(w.model->rowCount(), LogFrames, ParseTimeoutMs);
        flushEvents();
        QCOMPARE(recordBytes(w.model->frames()), recordBytes(ascFrames));
    }

    // The language changes back and forth while a CSV export writes; the
    // file holds every frame, and the window ends in the language it had.
    void translateDuringCsvExport()
    {
        OPEN_WINDOW(w);
        CHECKED(chooseFiles(w, {ascLog}));
        CHECKED(showEntry(w, 0, LogFrames));
        const QStringList start = w.texts();
        const QString out = path(QStringLiteral("translated.csv"));
        auto save = ModalDriver::expect<QFileDialog>(
            [&](QFileDialog *dialog) { ModalDriver::acceptFileDialog(dialog, {out}); });
        w.format->setCurrentIndex(int(ExportFormat::Csv));
        w.convert->click();
        QVERIFY2(save->handled(), qPrintable(save->failure()));
        auto done = ModalDriver::expect<QMessageBox>(
            [](QMessageBox *box) { box->button(QMessageBox::Ok)->click(); }, ParseTimeoutMs);
        int toggles = 0;
        while ((!done->handled() && done->failure().isEmpty()) || toggles % 2 != 0) {
            w.translate->click();
            ++toggles;
            QCoreApplication::processEvents();
        }
        QVERIFY2(done->wait(), qPrintable(done->failure()));
        QTRY_COMPARE(w.texts(), start);
        qInfo("%d language changes during the export", toggles);
        CHECKED(compareReadBack(TestSupport::parseOnWorker(out).frames(), ascFrames, false));
        QCOMPARE(recordBytes(w.model->frames()), recordBytes(ascFrames));
    }

    // Closing waits for the export and the parse, which both run: the export
    // still writes the whole file, no box shows, nothing stays open.
    void closeDuringExportAndParse()
    {
        for (int round = 0; round < 3; ++round) {
            auto w = std::make_unique<WindowUnderTest>();
            QVERIFY(w->complete());
            CHECKED(chooseFiles(*w, {ascLog, csvLog}));
            CHECKED(showEntry(*w, 0, LogFrames));
            const QString out = path(QStringLiteral("closing-%1.blf").arg(round));
            auto save = ModalDriver::expect<QFileDialog>(
                [&](QFileDialog *dialog) { ModalDriver::acceptFileDialog(dialog, {out}); });
            w->format->setCurrentIndex(int(ExportFormat::Blf));
            w->convert->click();
            QVERIFY2(save->handled(), qPrintable(save->failure()));
            // Should the export end while the table fills, its box would wait
            // for a click; this round then closes during the parse alone.
            auto early = ModalDriver::expect<QMessageBox>(
                [](QMessageBox *shown) { shown->button(QMessageBox::Ok)->click(); },
                ParseTimeoutMs);
            CHECKED(clickEntry(*w, 1));
            if (round > 0)
                QTRY_VERIFY_WITH_TIMEOUT(w->model->rowCount() > 0, ParseTimeoutMs);
            w.reset();
            early.reset();
            QVERIFY(!heldOpen(out));
            QVERIFY(!heldOpen(csvLog));

            auto box =
                ModalDriver::expect<QMessageBox>([](QMessageBox *shown) { shown->close(); });
            flushEvents();
            QVERIFY(!box->handled());
            CHECKED(compareReadBack(TestSupport::parseOnWorker(out).frames(), ascFrames, true));
        }
    }
};

QTEST_MAIN(TestWindowStress)
#include "tst_window_stress.moc"
