#include "progressdisplay.h"

#include <cstdio>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr int RedrawMsecs = 200;

// Columns of the terminal, so that a long path never wraps: a wrapped line
// could not be redrawn in place.
int terminalWidth()
{
    struct winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

void writeLine(const QString &text)
{
    // Carriage return, the text, then erase to the end of the line.
    const QByteArray line = QByteArrayLiteral("\r") + text.toLocal8Bit() + "\033[K";
    std::fputs(line.constData(), stderr);
    std::fflush(stderr);
}

} // namespace

ProgressDisplay::ProgressDisplay(bool drawn, QObject *parent)
    : QObject(parent)
    , enabled(drawn)
{
    timer.setInterval(RedrawMsecs);
    connect(&timer, &QTimer::timeout, this, &ProgressDisplay::redraw);
}

bool ProgressDisplay::terminalAttached()
{
    return ::isatty(STDERR_FILENO) == 1;
}

void ProgressDisplay::begin(std::function<QString()> statusText)
{
    status = std::move(statusText);
    if (enabled)
        timer.start();
}

void ProgressDisplay::end()
{
    timer.stop();
    if (!shown.isEmpty())
        writeLine(QString());
    shown.clear();
}

void ProgressDisplay::redraw()
{
    QString text = status();
    const int width = terminalWidth() - 1;
    if (text.size() > width)
        text = QStringLiteral("...") + text.right(width - 3);
    if (text == shown)
        return;
    shown = text;
    writeLine(text);
}
