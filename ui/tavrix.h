#pragma once

#include <functional>

#include <QElapsedTimer>
#include <QMainWindow>
#include <QStringList>
#include <QVector>

#include "ui_tavrix.h"
#include "vemi_canfd_data.h"

class QAction;
class QEvent;
class QHeaderView;
class QMenu;
class QModelIndex;
class QPoint;
class QPushButton;
class QStringListModel;
class QTimer;
class QTranslator;

class QDockWidget;

class CanDataExporter;
class DatabaseControl;
class DataHub;
class DataModel;
class FilterBar;
class OverviewDialog;
class LogWorker;
class ReadReport;
class SignalPanel;

// The main window: a file list, the frame table of the file clicked last, and
// the conversion of that table to a new log file.
class Tavrix final : public QMainWindow
{
    Q_OBJECT

public:
    explicit Tavrix(QWidget *parent = nullptr);
    ~Tavrix() override;

protected:
    void changeEvent(QEvent *event) override;

private slots:
    void onAddFileClicked();
    void onDeleteClicked();
    void onMenuRequested(const QPoint &pos);
    void onDeleteSelectedClicked();
    void onPushttonBrowse();
    void onTavrix();
    void onProgress(int value);
    void onTranslateClicked();
    void onProgressUpdated(int percent, QString message);
    void onDataParsed(QVector<Vemi_CANFD_Data> data);
    void onParsingFinished(bool success, QString message);
    void onCapacityReached(int shown);

private:
    void initWindow();
    void addFormatItems();
    void retranslateTexts();
    void onFileItemClicked(const QModelIndex &index);
    void onExportFinished(bool success);
    static void setUpRowHeader(QHeaderView *header);
    void initFilter();
    void showExportProgress();
    // The status bar: what the window is doing and what came of it, in the
    // current language.
    void initStatus();
    void showStatus(const std::function<QString()> &text);
    void showLoadProgress();
    void onLoadEnded();
    // DBC databases: the button, the names in the table and in CSV exports,
    // and the signals of the current row in a panel below.
    void initDatabase();
    void onDatabaseChanged();
    void showSignals();

    QPushButton *addFileButton = nullptr;
    QPushButton *clearButton = nullptr;
    QPushButton *translateButton = nullptr;
    QAction *deleteAction = nullptr;
    QMenu *listMenu = nullptr;
    QTranslator *translator = nullptr;
    QStringListModel *fileListModel = nullptr;
    QStringList fileList;
    DataHub *dataHub = nullptr;
    DataModel *dataModel = nullptr;
    // The filter line above the table.
    FilterBar *filterBar = nullptr;
    QPushButton *overviewButton = nullptr;
    // Made at the first press of "Overview".
    OverviewDialog *overview = nullptr;
    CanDataExporter *exporter = nullptr;
    // Runs the parse of the file clicked last and the export, each on a
    // worker thread, with the stop flag of the parse.
    LogWorker *worker = nullptr;
    bool isEnglish = true;
    // The exporter reports every frame on its own thread; a queued call for
    // each would pile up millions of events, so the bar reads the worker's
    // percentage on a timer instead.
    QTimer *progressTimer = nullptr;
    // What the reader of the file shown tells, and the status it makes.
    ReadReport *readReport = nullptr;
    QTimer *loadStatusTimer = nullptr;
    QString loadingPath;
    QElapsedTimer loadClock;
    QString exportPath;
    int exportFrames = 0;
    // The frames of the table when a filtered export started; 0 unfiltered.
    int exportFilteredFrom = 0;
    // Made again on a language change.
    std::function<QString()> statusText;
    // Rows of a table from which the row header is made anew once emptied.
    static constexpr int LargeTable = 1000000;
    int rowsBeforeReset = 0;
    DatabaseControl *databases = nullptr;
    SignalPanel *signalPanel = nullptr;
    QDockWidget *signalDock = nullptr;
    Ui::TavrixClass ui;
};
