#include "windowundertest.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>
#include <QtTest>

#include "datahub.h"
#include "datamodel.h"
#include "modaldriver.h"
#include "sampleframes.h"

WindowUnderTest::WindowUnderTest()
    : window(new Tavrix)
{
    window->show();
    exposed = QTest::qWaitForWindowExposed(window.get());
    addFile = window->findChild<QPushButton *>(QStringLiteral("addFileButton"));
    clear = window->findChild<QPushButton *>(QStringLiteral("clearButton"));
    translate = window->findChild<QPushButton *>(QStringLiteral("translateButton"));
    browse = window->findChild<QPushButton *>(QStringLiteral("pushButton"));
    convert = window->findChild<QPushButton *>(QStringLiteral("pushButton_2"));
    format = window->findChild<QComboBox *>(QStringLiteral("comboBox"));
    sort = window->findChild<QComboBox *>(QStringLiteral("comboBox_2"));
    folder = window->findChild<QLineEdit *>(QStringLiteral("lineEdit"));
    bar = window->findChild<QProgressBar *>(QStringLiteral("progressBar"));
    list = window->findChild<QListView *>(QStringLiteral("listView"));
    table = window->findChild<QTableView *>(QStringLiteral("tableView"));
    toolBar = window->findChild<QToolBar *>(QStringLiteral("toolBar"));
    statusBar = window->findChild<QStatusBar *>(QStringLiteral("statusBar"));
    deleteAction = window->findChild<QAction *>(QStringLiteral("deleteAction"));
    hub = window->findChild<DataHub *>();
    model = table ? qobject_cast<DataModel *>(table->model()) : nullptr;
    // The menu has no parent; the action knows where it was added.
    if (deleteAction)
        menu = qobject_cast<QMenu *>(deleteAction->associatedWidgets().value(0));
}

bool WindowUnderTest::complete() const
{
    return exposed && addFile && clear && translate && browse && convert && format && sort
           && folder && bar && list && table && toolBar && statusBar && deleteAction && hub
           && model && menu;
}

QStringList WindowUnderTest::fileEntries() const
{
    QStringList entries;
    for (int row = 0; row < list->model()->rowCount(); ++row)
        entries << list->model()->index(row, 0).data(Qt::EditRole).toString();
    return entries;
}

QStringList WindowUnderTest::texts() const
{
    QStringList all{window->windowTitle(), addFile->text(), clear->text(), translate->text()};
    all << window->findChild<QGroupBox *>(QStringLiteral("groupBox"))->title();
    for (const char *name : {"label", "label_2"})
        all << window->findChild<QLabel *>(QLatin1String(name))->text();
    all << browse->text() << window->findChild<QLabel *>(QStringLiteral("label_4"))->text()
        << convert->text() << window->findChild<QLabel *>(QStringLiteral("label_3"))->text();
    for (const QComboBox *box : {format, sort}) {
        for (int i = 0; i < box->count(); ++i)
            all << box->itemText(i);
    }
    all << toolBar->windowTitle() << deleteAction->text();
    for (int section = 0; section < model->columnCount(); ++section)
        all << model->headerData(section, Qt::Horizontal).toString();
    return all;
}


DialogSeen describe(QFileDialog *dialog)
{
    return {dialog->windowTitle(), dialog->nameFilters(), dialog->directory().absolutePath(),
            dialog->selectedFiles().value(0)};
}

void chooseFiles(WindowUnderTest &w, const QStringList &paths, DialogSeen *seen)
{
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    auto driver = ModalDriver::expect<QFileDialog>([&](QFileDialog *dialog) {
        mode = dialog->fileMode();
        if (seen)
            *seen = describe(dialog);
        if (paths.isEmpty()) {
            dialog->reject();
            return;
        }
        ModalDriver::acceptFileDialog(dialog, paths);
    });
    w.addFile->click();
    QVERIFY2(driver->handled(), qPrintable(driver->failure()));
    QCOMPARE(mode, QFileDialog::ExistingFiles);
}

void clickEntry(WindowUnderTest &w, int row)
{
    const QRect rect = w.list->visualRect(w.list->model()->index(row, 0));
    QVERIFY(rect.isValid());
    QTest::mouseClick(w.list->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

void showEntry(WindowUnderTest &w, int row, int expectedRows)
{
    QSignalSpy finished(w.hub, &DataHub::parsingFinished);
    CHECKED(clickEntry(w, row));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, ParseTimeoutMs);
    QCOMPARE(w.model->rowCount(), expectedRows);
}

void flushEvents()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

bool heldOpen(const QString &path)
{
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    const QString target = QFileInfo(path).canonicalFilePath();
    const QStringList names = descriptors.entryList(QDir::AllEntries | QDir::System
                                                    | QDir::Hidden | QDir::NoDotAndDotDot);
    return std::any_of(names.cbegin(), names.cend(), [&](const QString &name) {
        return QFile::symLinkTarget(descriptors.filePath(name)) == target;
    });
}

void writeLog(const QString &path, const Frames &frames, ExportFormat format)
{
    QVERIFY(CanDataExporter().exportData(frames, format, SortOrder::None, path));
}

void showSampleLog(WindowUnderTest &w, const QString &log, int count)
{
    CHECKED(writeLog(log, SampleFrames::varied(count), ExportFormat::Asc));
    CHECKED(chooseFiles(w, {log}));
    CHECKED(showEntry(w, 0, count));
}

QByteArray largeAscLog(int count)
{
    QByteArray text = "date Mon Jan 01 00:00:00 AM 2024\nbase hex timestamps absolute\n";
    text.reserve(count * 48);
    for (int i = 0; i < count; ++i) {
        text += QByteArray::number(i / 10000.0, 'f', 6) + " 1 " + QByteArray::number(i % 0x7FF, 16)
                + " Rx d 8 01 02 03 04 05 06 07 08\n";
    }
    return text;
}

void convertTo(WindowUnderTest &w, ExportFormat format, const QString &path, BoxSeen &seen)
{
    w.format->setCurrentIndex(int(format));
    std::unique_ptr<ModalDriver> replace;
    auto save = ModalDriver::expect<QFileDialog>([&](QFileDialog *dialog) {
        if (QFileInfo::exists(path)) {
            replace = ModalDriver::expect<QMessageBox>(
                [](QMessageBox *box) { box->button(QMessageBox::Yes)->click(); });
        }
        ModalDriver::acceptFileDialog(dialog, {path});
    });
    w.convert->click();
    QVERIFY2(save->handled(), qPrintable(save->failure()));
    if (replace)
        QVERIFY2(replace->handled(), qPrintable(replace->failure()));
    // The box comes through this thread's event loop, which runs again only now.
    auto done = ModalDriver::expect<QMessageBox>([&](QMessageBox *box) {
        seen = {box->windowTitle(), box->text(), box->icon(), w.convert->isEnabled(),
                w.bar->value()};
        box->button(QMessageBox::Ok)->click();
    }, ParseTimeoutMs);
    QVERIFY2(done->wait(), qPrintable(done->failure()));
}

QByteArray payload(const Vemi_CANFD_Data &frame)
{
    return QByteArray(reinterpret_cast<const char *>(frame.data), frame.length);
}

QByteArray recordBytes(const Frames &frames)
{
    return QByteArray(reinterpret_cast<const char *>(frames.constData()),
                      frames.size() * int(sizeof(Vemi_CANFD_Data)));
}

void compareReadBack(const Frames &read, const Frames &expected, bool withTimes)
{
    QCOMPARE(read.size(), expected.size());
    for (int i = 0; i < read.size(); ++i) {
        const Vemi_CANFD_Data &back = read.at(i);
        const Vemi_CANFD_Data &original = expected.at(i);
        QCOMPARE(back.id, original.id);
        QCOMPARE(int(back.flags), int(original.flags));
        QCOMPARE(int(back.length), int(original.length));
        QCOMPARE(payload(back), payload(original));
        if (withTimes)
            QCOMPARE(back.timestamp, original.timestamp);
    }
}
