#include "overviewdialog.h"

#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include "frameoverview.h"

namespace {

enum Column {
    IdColumn,
    ChannelColumn,
    CountColumn,
    LengthsColumn,
    FirstColumn,
    LastColumn,
    MinPeriodColumn,
    MeanPeriodColumn,
    MaxPeriodColumn,
    RxColumn,
    TxColumn,
    ColumnCount
};

// The progress bar is redrawn this often, in milliseconds.
constexpr int PollInterval = 50;

QStandardItem *cell(const QString &text, const QVariant &sortValue)
{
    auto *item = new QStandardItem(text);
    item->setData(sortValue, OverviewDialog::SortRole);
    item->setEditable(false);
    if (sortValue.type() != QVariant::String)
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

// The longest payload seen: what the lengths column sorts by.
int longest(const OverviewRow &row)
{
    for (int length = Vemi_CANFD_Data::MaxDataLength; length > 0; --length) {
        if (row.lengths[length / 64] & (uint64_t(1) << (length % 64)))
            return length;
    }
    return 0;
}

QStandardItem *seconds(double micros)
{
    return cell(QString::number(micros / 1e6, 'f', 6), micros);
}

} // namespace

struct OverviewDialog::Job
{
    FrameSnapshot frames;
    FrameOverview overview;
    std::atomic<int> percent{0};
    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};
};

OverviewDialog::OverviewDialog(QWidget *parent)
    : QDialog(parent)
    , summary(new QLabel(this))
    , bar(new QProgressBar(this))
    , table(new QTableView(this))
    , rows(new QStandardItemModel(this))
    , sorted(new QSortFilterProxyModel(this))
    , poll(new QTimer(this))
{
    setObjectName(QStringLiteral("overviewDialog"));
    table->setObjectName(QStringLiteral("overviewTable"));
    bar->setObjectName(QStringLiteral("overviewProgress"));
    bar->setRange(0, 100);
    rows->setColumnCount(ColumnCount);
    sorted->setSourceModel(rows);
    sorted->setSortRole(SortRole);
    table->setModel(sorted);
    table->setSortingEnabled(true);
    table->sortByColumn(IdColumn, Qt::AscendingOrder);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(summary);
    layout->addWidget(bar);
    layout->addWidget(table);
    resize(900, 500);

    poll->setInterval(PollInterval);
    connect(poll, &QTimer::timeout, this, [this] {
        if (job)
            bar->setValue(job->percent.load(std::memory_order_relaxed));
    });
    connect(table, &QTableView::doubleClicked, this, &OverviewDialog::onDoubleClicked);
    retranslate();
}

OverviewDialog::~OverviewDialog()
{
    cancelJob();
    for (QThread *thread : threads) {
        thread->wait();
        delete thread;
    }
}

void OverviewDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QDialog::changeEvent(event);
}

void OverviewDialog::retranslate()
{
    setWindowTitle(tr("Overview"));
    rows->setHorizontalHeaderLabels({tr("ID(HEX)"), tr("Channel"), tr("Count"), tr("Lengths"),
                                     tr("First (s)"), tr("Last (s)"), tr("Min period (s)"),
                                     tr("Mean period (s)"), tr("Max period (s)"), tr("Rx"),
                                     tr("Tx")});
    if (job)
        summary->setText(tr("Counting %1 frames...").arg(frameCount));
    else
        summary->setText(tr("%1 frames, %2 identifiers and channels; double-click a row to "
                            "show only its identifier")
                             .arg(frameCount)
                             .arg(rows->rowCount()));
}

void OverviewDialog::cancelJob()
{
    if (job)
        job->cancel.store(true);
    job.reset();
    poll->stop();
}

void OverviewDialog::showOverview(const FrameSnapshot &frames)
{
    cancelJob();
    rows->removeRows(0, rows->rowCount());
    frameCount = frames.size();
    auto work = std::make_shared<Job>();
    work->frames = frames;
    job = work;
    bar->setValue(0);
    bar->show();
    QThread *thread = QThread::create([work] {
        work->overview = FrameOverview::of(
            work->frames,
            [&work](int percent) { work->percent.store(percent, std::memory_order_relaxed); },
            &work->cancel);
        work->done.store(true, std::memory_order_release);
    });
    threads << thread;
    connect(thread, &QThread::finished, this, [this, thread, work] {
        threads.removeOne(thread);
        thread->deleteLater();
        if (work == job && work->done.load(std::memory_order_acquire))
            finish(work);
    });
    poll->start();
    retranslate();
    thread->start(QThread::LowPriority);
}

void OverviewDialog::finish(const std::shared_ptr<Job> &work)
{
    job.reset();
    poll->stop();
    bar->setValue(100);
    bar->hide();
    const uint64_t origin = work->overview.origin();
    // Sorting row by row as they are added would cost a sort each.
    table->setSortingEnabled(false);
    for (const OverviewRow &row : work->overview.rows()) {
        const bool periodic = row.count > 1;
        const qulonglong key = qulonglong(row.identifier) | (row.extended ? 1ull << 32 : 0);
        auto period = [periodic](double micros) {
            return periodic ? seconds(micros) : cell(QString(), -1.0);
        };
        rows->appendRow({cell(row.identifierText(), key), cell(QString::number(row.channel),
                                                               int(row.channel)),
                         cell(QString::number(row.count), qlonglong(row.count)),
                         cell(row.lengthsText(), longest(row)),
                         seconds(double(int64_t(row.first - origin))),
                         seconds(double(int64_t(row.last - origin))),
                         period(double(row.minPeriod)), period(row.meanPeriod()),
                         period(double(row.maxPeriod)),
                         cell(QString::number(row.received), qlonglong(row.received)),
                         cell(QString::number(row.sent), qlonglong(row.sent))});
    }
    table->setSortingEnabled(true);
    table->resizeColumnsToContents();
    retranslate();
    emit ready();
}

void OverviewDialog::onDoubleClicked(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    const QModelIndex id = sorted->mapToSource(sorted->index(index.row(), IdColumn));
    emit identifierChosen(rows->data(id).toString());
}
