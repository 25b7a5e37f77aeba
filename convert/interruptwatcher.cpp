#include "interruptwatcher.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace {

int pipeEnds[2] = {-1, -1};
const int watchedSignals[] = {SIGINT, SIGTERM};

} // namespace

InterruptWatcher::InterruptWatcher(QObject *parent)
    : QObject(parent)
{
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &InterruptWatcher::drain);

    for (int signalNumber : watchedSignals) {
        struct sigaction previous{};
        ::sigaction(signalNumber, nullptr, &previous);
        // A program started with a signal ignored (a background job of a
        // non-interactive shell) keeps it ignored.
        if (previous.sa_handler == SIG_IGN)
            continue;
        struct sigaction action{};
        action.sa_handler = &InterruptWatcher::handle;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(signalNumber, &action, nullptr);
    }
}

InterruptWatcher::~InterruptWatcher()
{
    for (int signalNumber : watchedSignals) {
        struct sigaction current{};
        ::sigaction(signalNumber, nullptr, &current);
        if (current.sa_handler == &InterruptWatcher::handle)
            ::signal(signalNumber, SIG_DFL);
    }
    delete notifier;
    for (int &end : pipeEnds) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
}

void InterruptWatcher::endBy(int signalNumber)
{
    ::signal(signalNumber, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signalNumber);
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(signalNumber);
    // Only reached if the signal could not end the process.
    std::_Exit(128 + signalNumber);
}

void InterruptWatcher::handle(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds enough to wake the event loop.
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
    errno = savedErrno;
}

void InterruptWatcher::drain()
{
    unsigned char bytes[16];
    ssize_t count;
    while ((count = ::read(pipeEnds[0], bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < count; ++i)
            emit interrupted(bytes[i]);
    }
}
