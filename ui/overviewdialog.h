#pragma once

#include <atomic>
#include <memory>

#include <QDialog>
#include <QList>

#include "framesnapshot.h"

class QLabel;
class QModelIndex;
class QProgressBar;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;
class QThread;
class QTimer;

// One row per identifier and channel of the frames shown to it: count,
// lengths, first and last time, periods, direction. Worked out on a worker
// thread with a progress bar; every column sorts by its value. A double
// click asks for the table to be filtered to that identifier.
class OverviewDialog final : public QDialog
{
    Q_OBJECT

public:
    // The role under which every cell holds the value it sorts by.
    static constexpr int SortRole = Qt::UserRole + 1;

    explicit OverviewDialog(QWidget *parent = nullptr);
    ~OverviewDialog() override;

    // Works out the overview of frames, replacing the one shown.
    void showOverview(const FrameSnapshot &frames);
    bool isBusy() const { return job != nullptr; }
    QTableView *view() const { return table; }

signals:
    // A row was double-clicked: its identifier as the filter writes it.
    void identifierChosen(const QString &identifier);
    // The rows are there.
    void ready();

protected:
    void changeEvent(QEvent *event) override;

private:
    struct Job;

    void retranslate();
    void finish(const std::shared_ptr<Job> &work);
    void cancelJob();
    void onDoubleClicked(const QModelIndex &index);

    QLabel *summary;
    QProgressBar *bar;
    QTableView *table;
    QStandardItemModel *rows;
    QSortFilterProxyModel *sorted;
    QTimer *poll;
    std::shared_ptr<Job> job;
    QList<QThread *> threads;
    int frameCount = 0;
};
