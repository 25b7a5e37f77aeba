#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include "candataexporter.h"
#include "datamodel.h"
#include "filterbar.h"
#include "framefilter.h"
#include "frameoverview.h"
#include "framestore.h"
#include "overviewdialog.h"
#include "sampleframes.h"
#include "datahub.h"
#include "testsupport.h"
#include "windowundertest.h"

// The filter line, the jump mode and the overview of the real window, as a
// user types and clicks.
namespace {

constexpr int LogFrames = 3000;

struct FilterLine
{
    explicit FilterLine(WindowUnderTest &w)
        : bar(w.window->findChild<FilterBar *>(QStringLiteral("filterBar")))
        , edit(w.window->findChild<QLineEdit *>(QStringLiteral("filterEdit")))
        , count(w.window->findChild<QLabel *>(QStringLiteral("filterCount")))
    {
    }

    bool complete() const { return bar && edit && count; }

    FilterBar *bar;
    QLineEdit *edit;
    QLabel *count;
};

// The rows the filter picks from what the store holds: what the table must show.
std::vector<uint32_t> expectedRows(const DataModel &model, const QString &text)
{
    return FrameFilter::parse(text).select(model.store()->snapshot());
}

// Types text as a user does, ends it with Enter, which applies it at once,
// and waits until the table shows its matches.
void typeFilter(WindowUnderTest &w, FilterLine &line, const QString &text)
{
    line.edit->clear();
    QTest::keyClicks(line.edit, text);
    QTest::keyClick(line.edit, Qt::Key_Return);
    QCOMPARE(line.edit->text(), text);
    QTRY_VERIFY(!line.bar->isBusy());
    Q_UNUSED(w);
}

QString countText(int shown, int of)
{
    return QCoreApplication::translate("FilterBar", "%1 of %2 frames").arg(shown).arg(of);
}

// The bytes of an ASC log without the lines that carry the export's time.
QByteArray withoutTime(const QByteArray &bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const QByteArray &line) {
                                   return line.startsWith("date ")
                                          || line.startsWith("Begin Triggerblock ");
                               }),
                lines.end());
    return lines.join('\n');
}

} // namespace

class TestFilterUi : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    QString path(const QString &name) const { return dir.filePath(name); }

private slots:
    void initTestCase()
    {
        registerFrameMetaTypes();
        QVERIFY(dir.isValid());
    }

    // Each text shows its matches with their rows in the log, or, when it
    // does not parse, turns the line red with the reason and leaves the
    // table as the last good filter made it.
    void typing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("identifier range") << "100-3FF" << true;
        QTest::newRow("extended, excluded, direction")
            << "18DA0000-18DAFFFFx !18DA0011x tx" << true;
        QTest::newRow("time and protocol") << "t 0.5-1.25 fd" << true;
        QTest::newRow("data with a wildcard") << "data ?? 03" << true;
        QTest::newRow("nothing matches") << "t 500-" << true;
        QTest::newRow("bad channel") << "ch 999" << false;
        QTest::newRow("bad word") << "100 bogus" << false;
        QTest::newRow("half a data term") << "data" << false;
        QTest::newRow("name without a database") << "name Brake*" << false;
    }

    void typing()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        OPEN_WINDOW(w);
        FilterLine line(w);
        QVERIFY(line.complete());
        const QColor normal = line.edit->palette().color(QPalette::Base);
        CHECKED(showSampleLog(w, path(QStringLiteral("typing.asc")), LogFrames));
        QVERIFY(!line.count->isVisible());

        // A good filter first: a bad one must leave it standing.
        const QString before = QStringLiteral("fd");
        CHECKED(typeFilter(w, line, before));
        QVERIFY(w.model->isFiltered());
        CHECKED(typeFilter(w, line, text));
        const std::vector<uint32_t> rows = expectedRows(*w.model, valid ? text : before);
        QVERIFY(rows.size() < std::size_t(LogFrames));
        QCOMPARE(w.model->rowCount(), int(rows.size()));
        for (std::size_t i = 0; i < rows.size(); i += 37) {
            const int row = int(i);
            QCOMPARE(w.model->data(w.model->index(row, DataModel::NumberColumn)).toInt(),
                     int(rows[i]));
            QCOMPARE(w.model->headerData(row, Qt::Vertical).toInt(), int(rows[i]));
            QCOMPARE(w.model->data(w.model->index(row, DataModel::IdColumn)),
                     QVariant(QString::number(w.model->store()->at(int(rows[i])).identifier(),
                                              16).toUpper()));
        }
        QTRY_VERIFY(line.count->isVisible());
        QCOMPARE(line.count->text(), countText(int(rows.size()), LogFrames));
        if (valid) {
            QCOMPARE(line.edit->palette().color(QPalette::Base), normal);
            QVERIFY(!line.edit->toolTip().contains(QStringLiteral("needs")));
        } else {
            QVERIFY(line.edit->palette().color(QPalette::Base) != normal);
            QCOMPARE(line.edit->toolTip(), FrameFilter::parse(text).error());
            QVERIFY(!line.edit->toolTip().isEmpty());
        }
    }

    // Emptying the line gives the table of an unfiltered window back.
    void emptyLineShowsEverything()
    {
        OPEN_WINDOW(w);
        FilterLine line(w);
        CHECKED(showSampleLog(w, path(QStringLiteral("empty.asc")), LogFrames));
        // Without Enter the filter runs once typing pauses.
        QTest::keyClicks(line.edit, QStringLiteral("fd"));
        QTRY_VERIFY(w.model->isFiltered());
        QTRY_VERIFY(!line.bar->isBusy());
        QVERIFY(w.model->rowCount() < LogFrames);
        CHECKED(typeFilter(w, line, QStringLiteral("   ")));
        QVERIFY(!w.model->isFiltered());
        QCOMPARE(w.model->rowCount(), LogFrames);
        QVERIFY(!w.model->headerData(5, Qt::Vertical).isValid());
        QCOMPARE(w.model->data(w.model->index(5, DataModel::NumberColumn)).toInt(), 5);
        QVERIFY(!line.count->isVisible());

        // The line's texts follow the language, whichever the window started in.
        const char *placeholder = "Filter (Ctrl+F): 100-1FF  18DA00F1x  !7DF  ch 2  rx  tx  fd  "
                                  "classic  remote  t 10.5-20  data 02 10 ??";
        const QString before = line.edit->placeholderText();
        QCOMPARE(before, QCoreApplication::translate("FilterBar", placeholder));
        w.translate->click();
        QTRY_VERIFY(line.edit->placeholderText() != before);
        QCOMPARE(line.edit->placeholderText(),
                 QCoreApplication::translate("FilterBar", placeholder));
    }

    // A filter set before a file is clicked applies to its frames as they
    // arrive, and to the next file's.
    void filterBeforeLoading()
    {
        OPEN_WINDOW(w);
        FilterLine line(w);
        const QString text = QStringLiteral("tx classic");
        CHECKED(typeFilter(w, line, text));
        QCOMPARE(w.model->rowCount(), 0);
        const QStringList logs{path(QStringLiteral("first.asc")),
                               path(QStringLiteral("next.asc"))};
        CHECKED(writeLog(logs[0], SampleFrames::varied(LogFrames), ExportFormat::Asc));
        CHECKED(writeLog(logs[1], SampleFrames::varied(LogFrames / 2), ExportFormat::Asc));
        CHECKED(chooseFiles(w, logs));
        for (const int entry : {0, 1}) {
            const int frames = entry == 0 ? LogFrames : LogFrames / 2;
            QSignalSpy finished(w.hub, &DataHub::parsingFinished);
            CHECKED(clickEntry(w, entry));
            QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, ParseTimeoutMs);
            QTRY_COMPARE(w.model->scannedRows(), frames);
            const std::vector<uint32_t> rows = expectedRows(*w.model, text);
            QVERIFY(!rows.empty());
            QCOMPARE(w.model->rowCount(), int(rows.size()));
            QCOMPARE(w.model->headerData(int(rows.size()) - 1, Qt::Vertical).toInt(),
                     int(rows.back()));
            QCOMPARE(line.count->text(), countText(int(rows.size()), frames));
            // The status bar counts the frames read, not those shown.
            QTRY_VERIFY(w.statusBar->currentMessage().contains(
                QRegularExpression(QStringLiteral("\\b%1\\b").arg(frames))));
        }
    }

    // Ctrl+F reaches the line; in jump mode F3 and Shift+F3 walk through the
    // matches, around the ends, and the table keeps every frame.
    void jumpMode()
    {
        OPEN_WINDOW(w);
        FilterLine line(w);
        CHECKED(showSampleLog(w, path(QStringLiteral("jump.asc")), LogFrames));
        w.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        w.table->setFocus();
        QTest::keyClick(w.window.get(), Qt::Key_F, Qt::ControlModifier);
        QTRY_VERIFY(line.edit->hasFocus());

        QAction *jump = w.window->findChild<QAction *>(QStringLiteral("jumpMode"));
        QVERIFY(jump);
        jump->trigger();
        QCOMPARE(line.bar->mode(), FilterBar::Mode::Jump);
        CHECKED(typeFilter(w, line, QStringLiteral("remote")));
        QVERIFY(!w.model->isFiltered());
        QCOMPARE(w.model->rowCount(), LogFrames);
        const std::vector<uint32_t> rows = expectedRows(*w.model, QStringLiteral("remote"));
        QVERIFY(rows.size() > 3);

        QTest::keyClick(w.window.get(), Qt::Key_F3);
        QCOMPARE(w.table->currentIndex().row(), int(rows[0]));
        QTest::keyClick(w.window.get(), Qt::Key_F3);
        QCOMPARE(w.table->currentIndex().row(), int(rows[1]));
        QTest::keyClick(w.window.get(), Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(w.table->currentIndex().row(), int(rows[0]));
        QTest::keyClick(w.window.get(), Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(w.table->currentIndex().row(), int(rows.back()));
        QVERIFY(w.table->selectionModel()->isRowSelected(int(rows.back()), QModelIndex()));

        // Back to filtering: the same text now filters.
        w.window->findChild<QAction *>(QStringLiteral("filterMode"))->trigger();
        QTRY_VERIFY(w.model->isFiltered());
        QCOMPARE(w.model->rowCount(), int(rows.size()));
        QVERIFY(!line.bar->jump(false));
    }

    // Conversion writes the frames shown, in the sort order chosen, and the
    // box says how many of how many; with no filter the box is as before.
    void convertFiltered_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("order");
        QTest::newRow("filtered, ascending") << "100-4FF,18DA0000-18DA0FFFx" << 1;
        QTest::newRow("filtered, in log order") << "t 1-2 !18DA0100-18DA0200x" << 0;
        QTest::newRow("no filter") << "" << 2;
    }

    void convertFiltered()
    {
        QFETCH(QString, text);
        QFETCH(int, order);
        OPEN_WINDOW(w);
        FilterLine line(w);
        CHECKED(showSampleLog(w, path(QStringLiteral("convert.asc")), LogFrames));
        CHECKED(typeFilter(w, line, text));
        w.sort->setCurrentIndex(order);
        Frames expected;
        for (const uint32_t row : expectedRows(*w.model, text))
            expected << w.model->store()->at(int(row));
        QVERIFY(!expected.isEmpty());

        const QString output = path(QStringLiteral("filtered.asc"));
        BoxSeen seen;
        CHECKED(convertTo(w, ExportFormat::Asc, output, seen));
        QCOMPARE(seen.icon, QMessageBox::Information);
        const QString complete = QCoreApplication::translate("Tavrix", "Operation Complete");
        if (text.isEmpty()) {
            QCOMPARE(seen.text, complete);
        } else {
            QCOMPARE(seen.text, complete + QLatin1Char('\n')
                                    + QCoreApplication::translate(
                                          "Tavrix", "%1 of %2 frames written (filtered)")
                                          .arg(expected.size())
                                          .arg(LogFrames));
        }
        const QString reference = path(QStringLiteral("reference.asc"));
        QVERIFY(CanDataExporter().exportData(expected, ExportFormat::Asc, SortOrder(order),
                                             reference));
        QCOMPARE(withoutTime(TestSupport::readFile(output)),
                 withoutTime(TestSupport::readFile(reference)));
    }

    // The overview counts every identifier and channel, sorts by any column
    // by value, and a double click filters the table to an identifier.
    void overview()
    {
        OPEN_WINDOW(w);
        FilterLine line(w);
        CHECKED(showSampleLog(w, path(QStringLiteral("overview.asc")), LogFrames));
        CHECKED(typeFilter(w, line, QStringLiteral("fd")));
        auto *button = w.window->findChild<QPushButton *>(QStringLiteral("overviewButton"));
        QVERIFY(button);
        button->click();
        auto *dialog = w.window->findChild<OverviewDialog *>();
        QVERIFY(dialog);
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QTRY_VERIFY(!dialog->isBusy());
        // Of the whole log, not of the frames the filter shows.
        const std::vector<OverviewRow> expected =
            FrameOverview::of(w.model->store()->snapshot()).rows();
        QAbstractItemModel *shown = dialog->view()->model();
        QCOMPARE(shown->rowCount(), int(expected.size()));

        // Every column sorts by its value, not by its text.
        for (const int column : {0, 3, 4, 7, 10, 2}) {
            dialog->view()->sortByColumn(column, Qt::DescendingOrder);
            for (int row = 1; row < shown->rowCount(); ++row) {
                const auto value = [shown, column](int at) {
                    return shown->index(at, column).data(OverviewDialog::SortRole).toDouble();
                };
                QVERIFY2(value(row - 1) >= value(row),
                         qPrintable(QStringLiteral("column %1").arg(column)));
            }
        }
        constexpr int CountColumn = 2;
        int64_t most = 0;
        for (const OverviewRow &row : expected)
            most = std::max(most, row.count);
        QCOMPARE(shown->index(0, CountColumn).data().toLongLong(), most);

        const QString identifier = shown->index(0, 0).data().toString();
        const QModelIndex cell = shown->index(0, 1);
        const QPoint centre = dialog->view()->visualRect(cell).center();
        QTest::mouseClick(dialog->view()->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(dialog->view()->viewport(), Qt::LeftButton, {}, centre);
        QCOMPARE(line.edit->text(), identifier);
        QTRY_VERIFY(!line.bar->isBusy());
        QCOMPARE(w.model->rowCount(), int(expectedRows(*w.model, identifier).size()));
        QVERIFY(w.model->rowCount() >= most);
    }
};

QTEST_MAIN(TestFilterUi)
#include "tst_filterui.moc"
