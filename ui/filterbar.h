#pragma once

#include <atomic>
#include <memory>

#include <QList>
#include <QWidget>

#include "framefilter.h"

class QAction;
class QActionGroup;
class QLabel;
class QLineEdit;
class QTableView;
class QThread;
class QTimer;

class DataModel;

// The line above the frame table: a filter in the language of FrameFilter,
// applied as the user types. In filter mode the table shows the matching
// frames only, chosen on a worker thread from the store (4 bytes a match),
// and "M of N frames" in the status bar; in jump mode the table keeps every
// frame and F3 / Shift+F3 select the next / previous match. Text that does
// not parse turns the line red, with the reason as its tooltip, and changes
// nothing.
class FilterBar final : public QWidget
{
    Q_OBJECT

public:
    enum class Mode { Filter, Jump };

    FilterBar(DataModel *model, QTableView *table, QWidget *parent = nullptr);
    ~FilterBar() override;

    // "M of N frames" while a filter is set, for the status bar.
    QLabel *countLabel() const { return count; }
    QLineEdit *lineEdit() const { return edit; }
    Mode mode() const { return current; }
    void setMode(Mode mode);
    // For "name" terms: the message names of the databases loaded.
    void setNameMatcher(const FrameFilter::NameMatcher &matcher);
    // Replaces the text and applies it at once, in filter mode.
    void showOnly(const QString &text);
    // Jump mode: selects the next (or previous) matching frame after the
    // current row, around the end; false when none matches.
    bool jump(bool backward);
    // The filter being worked out or shown, none when the table is whole.
    bool isBusy() const { return job != nullptr; }

signals:
    // The filter shown changed, or a bad text was typed.
    void applied();

protected:
    void changeEvent(QEvent *event) override;

private:
    struct Job;

    void retranslate();
    void apply();
    void start(const FrameFilter &filter);
    void cancelJob();
    void showProblem(const QString &problem);
    void updateCount();

    DataModel *model;
    QTableView *table;
    QLineEdit *edit;
    QAction *modeAction;
    QAction *filterAction;
    QAction *jumpAction;
    QActionGroup *modes;
    QLabel *count;
    QTimer *typing;
    Mode current = Mode::Filter;
    FrameFilter::NameMatcher names;
    // The filter of jump mode; matches every frame when none is set.
    FrameFilter jumpFilter;
    std::shared_ptr<Job> job;
    // Worker threads not yet joined, the cancelled ones too.
    QList<QThread *> threads;
    bool wrong = false;
};
