#include "processmemory.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <vector>

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>

extern char **environ;

namespace {

qint64 statusField(const QByteArray &name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    // A procfs file has no size to read to; readLine goes until its end.
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith(name))
            return line.mid(name.size()).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return 0;
}

} // namespace

qint64 ProcessMemory::resident()
{
    return statusField("VmRSS:");
}

qint64 ProcessMemory::peakResident()
{
    return statusField("VmHWM:");
}

ProcessMemory::Run ProcessMemory::runMeasured(const QString &program, const QStringList &arguments)
{
    Run run;
    QList<QByteArray> words{QFile::encodeName(program)};
    for (const QString &argument : arguments)
        words << QFile::encodeName(argument);
    std::vector<char *> argv;
    for (QByteArray &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    QElapsedTimer timer;
    timer.start();
    pid_t child = 0;
    if (posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return run;
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child)
        return run;
    run.seconds = double(timer.nsecsElapsed()) / 1e9;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    run.peakResident = qint64(usage.ru_maxrss) * 1024; // kilobytes on Linux
    return run;
}
