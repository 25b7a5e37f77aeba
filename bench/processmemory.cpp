#include "processmemory.h"

#include <QByteArray>
#include <QFile>

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
