#pragma once

#include <memory>

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QVector>

#include "candataexporter.h"
#include "tavrix.h"
#include "vemi_canfd_data.h"

class QAction;
class QComboBox;
class QFileDialog;
class QLineEdit;
class QListView;
class QMenu;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTableView;
class QToolBar;
class DataHub;
class DataModel;

// Stops the calling test function when a helper it called has failed.
#define CHECKED(call)                        \
    do {                                     \
        call;                                \
        if (QTest::currentTestFailed())      \
            return;                          \
    } while (false)

using Frames = QVector<Vemi_CANFD_Data>;

// Long enough for the slowest parse under a sanitizer.
constexpr int ParseTimeoutMs = 60000;

// The real window, shown, and the widgets a user works with, found by name.
struct WindowUnderTest
{
    WindowUnderTest();

    bool complete() const;
    // The list's entries as stored: full paths.
    QStringList fileEntries() const;
    // Every text the window shows, in a fixed order.
    QStringList texts() const;

    std::unique_ptr<Tavrix> window;
    bool exposed = false;
    QPushButton *addFile = nullptr;
    QPushButton *clear = nullptr;
    QPushButton *translate = nullptr;
    QPushButton *browse = nullptr;
    QPushButton *convert = nullptr;
    QComboBox *format = nullptr;
    QComboBox *sort = nullptr;
    QLineEdit *folder = nullptr;
    QProgressBar *bar = nullptr;
    QListView *list = nullptr;
    QTableView *table = nullptr;
    QToolBar *toolBar = nullptr;
    QStatusBar *statusBar = nullptr;
    QAction *deleteAction = nullptr;
    QMenu *menu = nullptr;
    DataHub *hub = nullptr;
    DataModel *model = nullptr;
};

#define OPEN_WINDOW(w)              \
    WindowUnderTest w;              \
    QVERIFY(w.complete())

struct DialogSeen
{
    QString title;
    QStringList filters;
    QString directory;
    QString proposal;
};

// What the box at the end of a conversion showed, and the window meanwhile.
struct BoxSeen
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool convertEnabled = true;
    int bar = -1;
};

DialogSeen describe(QFileDialog *dialog);
// "Add file" through the real dialog; no paths cancels it.
void chooseFiles(WindowUnderTest &w, const QStringList &paths, DialogSeen *seen = nullptr);
void clickEntry(WindowUnderTest &w, int row);
// Clicks an entry and waits until its parse has ended and the table holds it.
void showEntry(WindowUnderTest &w, int row, int expectedRows);
// Delivers everything the workers left queued for this thread. Workers are
// joined before a test calls this, so nothing arrives afterwards.
void flushEvents();
// Whether this process holds path open; a worker that outlived its window would.
bool heldOpen(const QString &path);
void writeLog(const QString &path, const Frames &frames, ExportFormat format);
// Writes count sample frames as an ASC log, adds it as the only entry and shows it.
void showSampleLog(WindowUnderTest &w, const QString &log, int count);
// An ASC log of count classic frames with rising times.
QByteArray largeAscLog(int count);
// "Conversion" to path in format, confirming the replacement of an existing
// file; waits for the box that ends the export, closes it, and tells what it
// and the window showed meanwhile.
void convertTo(WindowUnderTest &w, ExportFormat format, const QString &path, BoxSeen &seen);
QByteArray payload(const Vemi_CANFD_Data &frame);
QByteArray recordBytes(const Frames &frames);
// What a written file reads back as: every field the format keeps.
void compareReadBack(const Frames &read, const Frames &expected, bool withTimes);
