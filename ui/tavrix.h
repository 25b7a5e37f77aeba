#pragma once

#include <atomic>

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <QVector>

#include "ui_tavrix.h"
#include "vemi_canfd_data.h"

class QAction;
class QEvent;
class QMenu;
class QModelIndex;
class QPoint;
class QPushButton;
class QStringListModel;
class QThread;
class QTimer;
class QTranslator;

class CanDataExporter;
class DataHub;
class DataModel;

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
    void retranslateTexts();
    void onFileItemClicked(const QModelIndex &index);
    // Stops and deletes the parse thread; drops the signals it left queued.
    void stopParse();
    void onExportFinished(QThread *thread, bool success);
    void showExportProgress();

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
    CanDataExporter *exporter = nullptr;
    QThread *parseThread = nullptr;
    std::atomic<bool> stopRequested{false};
    // Each worker counts itself out as its last step, and whoever waited for
    // one reads the count: the order that QThread::wait() and the finished
    // signal guarantee, in a form ThreadSanitizer sees (Qt's locks it cannot).
    std::atomic<int> workersEnded{0};
    bool isEnglish = true;
    // The running export, so that closing the window can wait for it.
    QPointer<QThread> exportThread;
    // The exporter's last percentage, -1 before its first frame. It reports
    // every frame on its own thread; a queued call for each would pile up
    // millions of events, so the bar reads the number on a timer instead.
    std::atomic<int> exportProgress{-1};
    QTimer *progressTimer = nullptr;
    Ui::TavrixClass ui;
};
