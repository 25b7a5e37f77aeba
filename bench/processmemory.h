#pragma once

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
};
