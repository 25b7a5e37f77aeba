#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal on the thread that created the
// watcher. The handler only writes the signal number into a pipe, which is
// async-signal-safe; everything else happens in the event loop.
class InterruptWatcher final : public QObject
{
    Q_OBJECT

public:
    explicit InterruptWatcher(QObject *parent = nullptr);
    ~InterruptWatcher() override;

    // Ends the process through the signal's default action, so that a calling
    // shell sees a program killed by it (and a shell loop stops) rather than
    // an ordinary exit status.
    [[noreturn]] static void endBy(int signalNumber);

signals:
    // Once per signal received.
    void interrupted(int signalNumber);

private:
    static void handle(int signalNumber);
    void drain();

    QSocketNotifier *notifier = nullptr;
};
