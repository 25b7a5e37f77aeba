#pragma once

#include <atomic>

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include "vemi_canfd_data.h"

class DataHub;

namespace TestSupport {

// One signal as a hub listener saw it, in arrival order.
struct HubEvent
{
    enum Kind { Progress, Data, EndedEarly, Finished };
    explicit HubEvent(Kind k) : kind(k) {}
    Kind kind;
    int percent = 0;
    bool success = false;
    QString message;
    QVector<Vemi_CANFD_Data> batch;
};

// Everything one DataHub::parseFile run delivered to the GUI thread.
struct ParseRun
{
    bool result = false;
    QList<HubEvent> events;
    // The shares of the file read, as reported apart from the events.
    QList<int> shares;

    QVector<Vemi_CANFD_Data> frames() const;
    QList<int> progressValues() const;
    QList<int> batchSizes() const;
    int count(HubEvent::Kind kind) const;
    // One line per event: "progress 0 <message>", "data <batch size>",
    // "ended early <reason>", "finished 1 <message>"; compares readably as a
    // whole run.
    QStringList describe() const;
    // The ID word of every frame delivered, in order.
    QVector<uint> identifiers() const;
};

// Runs DataHub::parseFile on a QThread::create worker, as the window does, and
// returns once the thread has ended and every queued signal was delivered.
ParseRun parseOnWorker(const QString &filePath);
// The same with the caller's hub and stop flag, so a test can add its own
// listeners or ask for a stop from the GUI thread while the worker runs.
ParseRun parseOnWorker(DataHub &hub, const QString &filePath, std::atomic<bool> &stop);

// Writes bytes to dir/name and returns the full path.
QString writeFile(const QString &dir, const QString &name, const QByteArray &bytes);
QByteArray readFile(const QString &path);

// A frame with the given fields; data bytes count up from firstByte.
Vemi_CANFD_Data makeFrame(uint32_t identifier, uint8_t length, uint8_t protocol = 0,
                          bool extended = false, bool remote = false, bool tx = false,
                          uint64_t timestamp = 0, uint8_t firstByte = 0x11);

// One frame as the interop tests compare readings: microseconds since base,
// channel, identifier in hex with "x" for extended and "r" for remote,
// direction, kind ("c" classic, "fd" with "+brs" and "+esi"), length, and the
// data in hex or "-" (always "-" for a remote frame). pythonDescribe() is the
// same for a python-can message: describe(message, t0, channel_offset).
QByteArray describeFrame(const Vemi_CANFD_Data &frame, uint64_t base = 0);
// What a reader's per-line function made of a line: the frame described and
// its time text when it read one, else empty, or "record not zero" when the
// record no longer is.
QByteArray describeLine(bool read, const Vemi_CANFD_Data &frame);
QString pythonDescribe();

// A log of every kind of frame the peers must read back from our files:
// classic data of every length, remote frames of every DLC, CAN FD of every
// length with and without bit-rate switch and ESI, standard and extended,
// received and sent, on channels 1 to 4, each at a time of its own.
QVector<Vemi_CANFD_Data> busLog();
// One test row per frame of busLog(), named by its kind, with its position in
// the column "index" (added by the caller).
void addBusLogRows();

// A small DBC database: Engine (0x100, standard, 8 bytes) with Speed (Intel,
// 16 bits, factor 0.1, km/h) and Temp (Motorola, signed, 8 bits at byte 2,
// offset -40, degC, value table 215 "Hot"); Door (0x200, extended, 2 bytes)
// with the switch Mode (bits 0-1) selecting Open (bit 8, mode 1, value table
// 0 "closed" 1 "open") or Angle (byte 1, mode 2, factor 0.5, deg).
QByteArray sampleDbc();
// An ASC log of four frames for sampleDbc(), 10 ms apart from 0.010 s:
// Engine 10 27 FF ..., Door 01 01, 0x123 (no message), Door 02 50.
QByteArray sampleDbcLog();

// Debian's python3 with python-can, the interop oracle.
QString pythonPath();
bool pythonCanAvailable();
// Runs a python script with arguments; fails the calling test on a non-zero exit.
QByteArray runPython(const QString &script, const QStringList &arguments = {}, bool *ok = nullptr);

} // namespace TestSupport
