#include "filterbar.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QShortcut>
#include <QStyle>
#include <QTableView>
#include <QThread>
#include <QTimer>

#include "datamodel.h"
#include "framestore.h"

namespace {

// Typing pauses this long, in milliseconds, before the filter runs.
constexpr int TypingPause = 250;

} // namespace

struct FilterBar::Job
{
    FrameFilter filter;
    FrameSnapshot frames;
    quint64 generation = 0;
    std::vector<uint32_t> rows;
    std::atomic<bool> cancel{false};
    // Set by the worker as its last step; read once it has ended.
    std::atomic<bool> done{false};
};

FilterBar::FilterBar(DataModel *tableModel, QTableView *view, QWidget *parent)
    : QWidget(parent)
    , model(tableModel)
    , table(view)
    , edit(new QLineEdit(this))
    , modeAction(new QAction(this))
    , filterAction(new QAction(this))
    , jumpAction(new QAction(this))
    , modes(new QActionGroup(this))
    , count(new QLabel)
    , typing(new QTimer(this))
{
    setObjectName(QStringLiteral("filterBar"));
    edit->setObjectName(QStringLiteral("filterEdit"));
    edit->setClearButtonEnabled(true);
    count->setObjectName(QStringLiteral("filterCount"));
    count->hide();
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(edit);

    // The line's own menu chooses between filtering and jumping.
    modeAction->setObjectName(QStringLiteral("filterModeAction"));
    filterAction->setObjectName(QStringLiteral("filterMode"));
    jumpAction->setObjectName(QStringLiteral("jumpMode"));
    for (QAction *action : {filterAction, jumpAction}) {
        action->setCheckable(true);
        modes->addAction(action);
    }
    filterAction->setChecked(true);
    auto *menu = new QMenu(this);
    menu->addActions({filterAction, jumpAction});
    modeAction->setMenu(menu);
    modeAction->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    edit->addAction(modeAction, QLineEdit::LeadingPosition);
    connect(modeAction, &QAction::triggered, this, [this, menu] {
        menu->popup(edit->mapToGlobal(edit->rect().bottomLeft()));
    });
    connect(filterAction, &QAction::triggered, this, [this] { setMode(Mode::Filter); });
    connect(jumpAction, &QAction::triggered, this, [this] { setMode(Mode::Jump); });

    typing->setSingleShot(true);
    typing->setInterval(TypingPause);
    connect(typing, &QTimer::timeout, this, &FilterBar::apply);
    connect(edit, &QLineEdit::textChanged, typing, qOverload<>(&QTimer::start));
    connect(edit, &QLineEdit::returnPressed, this, &FilterBar::apply);
    connect(model, &DataModel::countsChanged, this, &FilterBar::updateCount);

    auto *find = new QShortcut(QKeySequence::Find, this, nullptr, nullptr, Qt::WindowShortcut);
    connect(find, &QShortcut::activated, this, [this] {
        edit->setFocus(Qt::ShortcutFocusReason);
        edit->selectAll();
    });
    auto *next = new QShortcut(QKeySequence(Qt::Key_F3), this, nullptr, nullptr,
                               Qt::WindowShortcut);
    connect(next, &QShortcut::activated, this, [this] { jump(false); });
    auto *previous = new QShortcut(QKeySequence(Qt::SHIFT + Qt::Key_F3), this, nullptr, nullptr,
                                   Qt::WindowShortcut);
    connect(previous, &QShortcut::activated, this, [this] { jump(true); });
    retranslate();
}

FilterBar::~FilterBar()
{
    // The workers read snapshots only, but must not outlive their owner.
    cancelJob();
    for (QThread *thread : threads) {
        thread->wait();
        delete thread;
    }
    delete count;
}

void FilterBar::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void FilterBar::retranslate()
{
    edit->setPlaceholderText(tr("Filter (Ctrl+F): 100-1FF  18DA00F1x  !7DF  ch 2  rx  tx  fd  "
                                "classic  remote  t 10.5-20  data 02 10 ??"));
    filterAction->setText(tr("Show matching frames only"));
    jumpAction->setText(tr("Jump to matching frames (F3, Shift+F3)"));
    modeAction->setToolTip(tr("Filter or jump"));
    // A reason shown stays in the language chosen too.
    if (wrong)
        showProblem(FrameFilter::parse(edit->text(), names).error());
    else
        edit->setToolTip(tr(
            "Terms separated by blanks must all hold:\n"
            "  100  0x100  100-1FF  100,200-2FF   identifiers in hex; x at the end: "
            "extended only, as 18DA00F1x\n"
            "  !7DF   any identifier but these\n"
            "  ch 2  ch 1,3   channels\n"
            "  rx  tx   received or sent frames\n"
            "  fd  classic   CAN FD or classic CAN frames\n"
            "  remote   remote frames\n"
            "  t 10.5-20  t 10-  t -20   seconds since the log's first frame\n"
            "  data 02 10 ??   payload bytes from the first on, ?? for any byte\n"
            "  name Brake*   messages of a loaded database by name"));
    updateCount();
}

void FilterBar::setMode(Mode mode)
{
    current = mode;
    (mode == Mode::Filter ? filterAction : jumpAction)->setChecked(true);
    apply();
}

void FilterBar::setNameMatcher(const FrameFilter::NameMatcher &matcher)
{
    names = matcher;
    // A name term meant other messages, or none, before.
    if (edit->text().contains(QLatin1String("name"), Qt::CaseInsensitive))
        apply();
}

void FilterBar::showOnly(const QString &text)
{
    edit->setText(text);
    if (current != Mode::Filter)
        setMode(Mode::Filter);
    else
        apply();
}

void FilterBar::showProblem(const QString &problem)
{
    wrong = !problem.isEmpty();
    QPalette colours = edit->palette();
    colours.setColor(QPalette::Base, wrong ? QColor(255, 190, 190)
                                           : QApplication::palette(edit).color(QPalette::Base));
    edit->setPalette(colours);
    if (wrong)
        edit->setToolTip(problem);
    else
        retranslate();
}

void FilterBar::apply()
{
    typing->stop();
    const FrameFilter filter = FrameFilter::parse(edit->text(), names);
    if (!filter.isValid()) {
        // The table stays as it is: a half-typed term must not empty it.
        showProblem(filter.error());
        emit applied();
        return;
    }
    if (wrong)
        showProblem(QString());
    cancelJob();
    jumpFilter = current == Mode::Jump ? filter : FrameFilter();
    if (current == Mode::Jump || filter.isEmpty())
        model->clearSelection();
    else
        start(filter);
    updateCount();
    emit applied();
}

void FilterBar::cancelJob()
{
    if (job)
        job->cancel.store(true);
    job.reset();
}

void FilterBar::start(const FrameFilter &filter)
{
    // The frames already shown now; those still to come the model filters
    // as they arrive.
    model->showPendingRows();
    auto work = std::make_shared<Job>();
    work->filter = filter;
    work->frames = model->store()->snapshot();
    work->generation = model->generation();
    job = work;
    QThread *thread = QThread::create([work] {
        work->rows = work->filter.select(work->frames, &work->cancel);
        work->rows.shrink_to_fit();
        work->done.store(true, std::memory_order_release);
    });
    threads << thread;
    connect(thread, &QThread::finished, this, [this, thread, work] {
        threads.removeOne(thread);
        thread->deleteLater();
        if (work != job || !work->done.load(std::memory_order_acquire))
            return;
        job.reset();
        // The store was emptied for another file meanwhile: filter that one.
        if (work->generation != model->generation()) {
            start(work->filter);
            return;
        }
        model->setSelection(work->filter, std::move(work->rows), work->frames.size());
        emit applied();
    });
    thread->start(QThread::LowPriority);
}

void FilterBar::updateCount()
{
    const bool shown = model->isFiltered() || job;
    count->setVisible(shown);
    if (!shown)
        return;
    if (job && !model->isFiltered())
        count->setText(tr("Filtering..."));
    else
        count->setText(tr("%1 of %2 frames").arg(model->rowCount()).arg(model->scannedRows()));
}

bool FilterBar::jump(bool backward)
{
    if (current != Mode::Jump)
        return false;
    model->showPendingRows();
    const FrameSnapshot frames = model->shownFrames();
    const int size = frames.size();
    if (size == 0 || wrong)
        return false;
    const uint64_t origin = model->store()->timestampAt(0);
    const qint64 from = table->currentIndex().isValid() ? table->currentIndex().row()
                                                        : (backward ? size : -1);
    Vemi_CANFD_Data scratch;
    for (qint64 step = 1; step <= size; ++step) {
        const int row = int(((backward ? from - step : from + step) % size + size) % size);
        if (jumpFilter.matches(frames.frameAt(row, scratch), origin)) {
            table->selectRow(row);
            table->scrollTo(model->index(row, 0));
            return true;
        }
    }
    QApplication::beep();
    return false;
}
