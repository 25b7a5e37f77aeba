#pragma once

#include <QStringList>
#include <QtGlobal>

// This process's memory as the kernel counts it in /proc/self/status.
class ProcessMemory final
{
public:
    ProcessMemory() = delete;

    // Resident now, in bytes; 0 where the file cannot be read.
    static qint64 resident();
    // Largest resident size since the process started, in bytes.
    static qint64 peakResident();

    // A program run to its end in a process of its own: whether it exited
    // with 0, its wall-clock time and its peak resident size, as the kernel
    // tells them of a child that ended.
    struct Run
    {
        bool ok = false;
        double seconds = 0;
        qint64 peakResident = 0;
    };
    static Run runMeasured(const QString &program, const QStringList &arguments);
};
