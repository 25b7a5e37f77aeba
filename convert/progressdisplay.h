#pragma once

#include <functional>

#include <QObject>
#include <QString>
#include <QTimer>

// One status line on a terminal's standard error, redrawn in place a few times
// a second while a file converts. The status is asked for on each redraw, so
// signals that come once per frame only store a number.
class ProgressDisplay final : public QObject
{
    Q_OBJECT

public:
    // Draws nothing when disabled.
    explicit ProgressDisplay(bool enabled, QObject *parent = nullptr);

    // True when standard error is a terminal.
    static bool terminalAttached();

    void begin(std::function<QString()> status);
    // Erases the line, so that ordinary output can follow.
    void end();

private:
    void redraw();

    QTimer timer;
    std::function<QString()> status;
    QString shown;
    bool enabled;
};
