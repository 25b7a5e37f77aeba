#pragma once

#include <atomic>
#include <functional>

#include <QObject>
#include <QString>
#include <QVector>

#include "vemi_canfd_data.h"

class IDataParser;

// Picks the reader for a file by its suffix, runs it on the calling (worker)
// thread and relays its signals, which reach listeners of the hub queued on the
// hub's own thread, in the order the reader emitted them.
class DataHub : public QObject
{
    Q_OBJECT

public:
    explicit DataHub(QObject *parent = nullptr);

    // A new reader for the lower-cased suffix of filePath, owned by the caller;
    // null with a warning for a suffix no reader handles.
    IDataParser *createParser(const QString &filePath);

    // True only when the whole file was read. Unsupported suffixes emit nothing.
    bool parseFile(const QString &filePath, std::atomic<bool> &stopRequested);

    // Receives the reader's batches on the reader's thread, as they come.
    using BatchSink = std::function<void(const QVector<Vemi_CANFD_Data> &batch)>;
    // The same, with the batches handed to sink on the calling thread
    // instead of dataParsed; progress and the end are relayed as above.
    bool parseFile(const QString &filePath, std::atomic<bool> &stopRequested,
                   const BatchSink &sink);

signals:
    void progressUpdated(int percent, const QString &message);
    void dataParsed(const QVector<Vemi_CANFD_Data> &data);
    void parsingFinished(bool success, const QString &message);
    // Relayed from the reader, see IDataParser::endedEarly.
    void endedEarly(const QString &reason);
    // Relayed from the reader, see IDataParser::shareRead.
    void shareRead(int percent);
};
