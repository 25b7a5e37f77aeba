#pragma once

#include <atomic>

#include <QObject>
#include <QString>
#include <QVector>

#include "vemi_canfd_data.h"

// A reader of one log format. Each object runs exactly one parse, on the worker
// thread that created it, and reports only through its three signals.
class IDataParser : public QObject
{
    Q_OBJECT

public:
    // Frames a reader hands over at a time; the last batch may hold fewer.
    static constexpr int BatchSize = 2000;

    IDataParser();
    ~IDataParser() override;

    // Reads filePath to its end, or until stopRequested is set. Emits progress 0
    // first; hands frames over in non-empty batches; ends with progress 100 and
    // parsingFinished(true) after the whole file, or parsingFinished(false) when
    // the file cannot be opened. A stopped parse emits nothing more.
    virtual bool parse(const QString &filePath, std::atomic<bool> &stopRequested) = 0;

    // Reader objects alive in the process; a leak check for their hand-over
    // between threads.
    static int liveInstances();

signals:
    void progressUpdated(int percent, const QString &message);
    void dataParsed(const QVector<Vemi_CANFD_Data> &data);
    void parsingFinished(bool success, const QString &message);
    // The file ended before its last line or object was whole (cut, or
    // damaged data): the frames read so far were handed over, and the run
    // goes on to its closing reports as after a whole file. At most once,
    // before parsingFinished; reason is a diagnostic text like the others.
    void endedEarly(const QString &reason);
    // The share of the file read so far, 0-99, for a user watching a long
    // read; where progressUpdated counts lines, this one measures bytes.
    void shareRead(int percent);
};

// Written by every reader when it sees the stop flag.
extern const char *const parserStopLogLine;
