#pragma once

#include <QStringList>
#include <QtGlobal>

// What one fresh process reports after loading a file into a frame store.
struct LoadReport
{
    bool ok = false;
    qint64 rows = 0;
    double loadSeconds = 0;
    qint64 idleResident = 0; // bytes, before the load
    qint64 loadPeak = 0;     // bytes, peak resident after the load
};
