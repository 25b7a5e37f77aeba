#include "testsupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QtTest>

#include "datahub.h"

namespace TestSupport {

QVector<Vemi_CANFD_Data> ParseRun::frames() const
{
    QVector<Vemi_CANFD_Data> all;
    for (const HubEvent &event : events) {
        if (event.kind == HubEvent::Data)
            all += event.batch;
    }
    return all;
}

QVector<uint> ParseRun::identifiers() const
{
    QVector<uint> ids;
    for (const HubEvent &event : events) {
        for (const Vemi_CANFD_Data &frame : event.batch)
            ids << frame.id;
    }
    return ids;
}

QList<int> ParseRun::progressValues() const
{
    QList<int> values;
    for (const HubEvent &event : events) {
        if (event.kind == HubEvent::Progress)
            values << event.percent;
    }
    return values;
}

QList<int> ParseRun::batchSizes() const
{
    QList<int> sizes;
    for (const HubEvent &event : events) {
        if (event.kind == HubEvent::Data)
            sizes << event.batch.size();
    }
    return sizes;
}

int ParseRun::count(HubEvent::Kind kind) const
{
    return int(std::count_if(events.cbegin(), events.cend(),
                             [kind](const HubEvent &event) { return event.kind == kind; }));
}

QStringList ParseRun::describe() const
{
    QStringList lines;
    for (const HubEvent &event : events) {
        switch (event.kind) {
        case HubEvent::Progress:
            lines << QStringLiteral("progress %1 %2").arg(event.percent).arg(event.message);
            break;
        case HubEvent::Data:
            lines << QStringLiteral("data %1").arg(event.batch.size());
            break;
        case HubEvent::EndedEarly:
            lines << QStringLiteral("ended early %1").arg(event.message);
            break;
        case HubEvent::Finished:
            lines << QStringLiteral("finished %1 %2").arg(int(event.success)).arg(event.message);
            break;
        }
    }
    return lines;
}

ParseRun parseOnWorker(const QString &filePath)
{
    DataHub hub;
    std::atomic<bool> stop{false};
    return parseOnWorker(hub, filePath, stop);
}

ParseRun parseOnWorker(DataHub &hub, const QString &filePath, std::atomic<bool> &stop)
{
    registerFrameMetaTypes();
    ParseRun run;
    // Context object: the recorders go away with this run, not with the hub.
    QObject recorder;
    QObject::connect(&hub, &DataHub::progressUpdated, &recorder,
                     [&run](int percent, const QString &message) {
        HubEvent event(HubEvent::Progress);
        event.percent = percent;
        event.message = message;
        run.events << event;
    });
    QObject::connect(&hub, &DataHub::dataParsed, &recorder,
                     [&run](const QVector<Vemi_CANFD_Data> &data) {
        HubEvent event(HubEvent::Data);
        event.batch = data;
        run.events << event;
    });
    QObject::connect(&hub, &DataHub::endedEarly, &recorder, [&run](const QString &reason) {
        HubEvent event(HubEvent::EndedEarly);
        event.message = reason;
        run.events << event;
    });
    QObject::connect(&hub, &DataHub::shareRead, &recorder,
                     [&run](int percent) { run.shares << percent; });
    QObject::connect(&hub, &DataHub::parsingFinished, &recorder,
                     [&run](bool success, const QString &message) {
        HubEvent event(HubEvent::Finished);
        event.success = success;
        event.message = message;
        run.events << event;
    });

    // Atomic: the thread's end is the hand-over, and ThreadSanitizer cannot
    // see the wait inside Qt that orders it.
    std::atomic<bool> result{false};
    QThread *thread = QThread::create([&] { result.store(hub.parseFile(filePath, stop)); });
    thread->start();
    while (!thread->wait(10))
        QCoreApplication::processEvents();
    delete thread;
    // The relayed signals are queued events for the hub; deliver all of them.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    run.result = result.load();
    return run;
}

QString writeFile(const QString &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write test file %s", qPrintable(path));
    file.write(bytes);
    return path;
}

QByteArray sampleDbc()
{
    return "VERSION \"\"\n"
           "BU_: ECU\n"
           "BO_ 256 Engine: 8 ECU\n"
           " SG_ Speed : 0|16@1+ (0.1,0) [0|6553.5] \"km/h\" ECU\n"
           " SG_ Temp : 23|8@0- (1,-40) [-40|215] \"degC\" ECU\n"
           "BO_ 2147484160 Door: 2 ECU\n"
           " SG_ Mode M : 0|2@1+ (1,0) [0|3] \"\" ECU\n"
           " SG_ Open m1 : 8|1@1+ (1,0) [0|1] \"\" ECU\n"
           " SG_ Angle m2 : 8|8@1+ (0.5,0) [0|127.5] \"deg\" ECU\n"
           "VAL_ 256 Temp 215 \"Hot\" ;\n"
           "VAL_ 2147484160 Open 0 \"closed\" 1 \"open\" ;\n";
}

QByteArray sampleDbcLog()
{
    return "date Mon Jan 01 00:00:00 AM 2024\n"
           "base hex timestamps absolute\n"
           "0.010000 1 100 Rx d 8 10 27 FF 00 00 00 00 00\n"
           "0.020000 1 200x Rx d 2 01 01\n"
           "0.030000 1 123 Rx d 1 55\n"
           "0.040000 1 200x Rx d 2 02 50\n";
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

Vemi_CANFD_Data makeFrame(uint32_t identifier, uint8_t length, uint8_t protocol, bool extended,
                          bool remote, bool tx, uint64_t timestamp, uint8_t firstByte)
{
    Vemi_CANFD_Data frame;
    frame.id = identifier & Vemi_CANFD_Data::IdMask;
    if (extended)
        frame.id |= Vemi_CANFD_Data::ExtendedBit;
    if (remote)
        frame.id |= Vemi_CANFD_Data::RemoteBit;
    frame.length = length;
    frame.setProtocol(protocol);
    frame.setDirection(tx ? 1 : 0);
    frame.timestamp = timestamp;
    for (int i = 0; i < length && i < Vemi_CANFD_Data::MaxDataLength; ++i)
        frame.data[i] = uint8_t(firstByte + i);
    return frame;
}

QByteArray describeFrame(const Vemi_CANFD_Data &frame, uint64_t base)
{
    QByteArray kind = frame.protocol() == Vemi_CANFD_Data::ProtocolCan ? "c" : "fd";
    if (frame.protocol() == Vemi_CANFD_Data::ProtocolCanFdBrs)
        kind += "+brs";
    if (frame.errorFlags & Vemi_CANFD_Data::EsiBit)
        kind += "+esi";
    const QByteArray data = QByteArray(reinterpret_cast<const char *>(frame.data),
                                       frame.length).toHex().toUpper();
    return QByteArray::number(qulonglong(frame.timestamp - base)) + ' '
           + QByteArray::number(frame.channel) + ' '
           + QByteArray::number(frame.identifier(), 16).toUpper()
           + (frame.isExtended() ? "x" : "") + (frame.isRemote() ? "r" : "") + ' '
           + (frame.direction() ? "Tx " : "Rx ") + kind + ' ' + QByteArray::number(frame.length)
           + ' ' + (frame.isRemote() || data.isEmpty() ? QByteArray("-") : data);
}

QByteArray describeLine(bool read, const Vemi_CANFD_Data &frame)
{
    if (read)
        return describeFrame(frame) + ' ' + frame.timeText;
    const QByteArray bytes(reinterpret_cast<const char *>(&frame), sizeof frame);
    return bytes == QByteArray(sizeof frame, '\0') ? QByteArray() : "record not zero";
}

QString pythonDescribe()
{
    return QStringLiteral(
        "def describe(m, t0, channel_offset):\n"
        "    kind = 'c'\n"
        "    if m.is_fd:\n"
        "        kind = 'fd' + ('+brs' if m.bitrate_switch else '')\n"
        "        kind += '+esi' if m.error_state_indicator else ''\n"
        "    length = m.dlc if m.is_remote_frame else len(m.data)\n"
        "    data = '-' if m.is_remote_frame or not m.data else m.data.hex().upper()\n"
        "    return '%d %d %X%s%s %s %s %d %s' % (round((m.timestamp - t0) * 1e6),\n"
        "        m.channel + channel_offset, m.arbitration_id, 'x' if m.is_extended_id else '',\n"
        "        'r' if m.is_remote_frame else '', 'Rx' if m.is_rx else 'Tx', kind, length,\n"
        "        data)\n");
}

QVector<Vemi_CANFD_Data> busLog()
{
    static const uint8_t fdLengths[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64};
    QVector<Vemi_CANFD_Data> frames;
    auto add = [&frames](uint8_t length, uint8_t protocol, bool remote, bool esi) {
        const auto n = uint32_t(frames.size());
        const bool extended = n % 3 == 1;
        const uint32_t id = extended ? 0x18DA00F1u + n * 0x10101u : (0x7FFu - n * 23u) & 0x7FFu;
        // Direction flips every four frames, so every channel sees both.
        const bool tx = (n / 4) % 2 == 1;
        const uint64_t time = 3000000 + uint64_t(n) * 1371 + uint64_t(n % 5) * 7;
        Vemi_CANFD_Data frame =
            makeFrame(id, length, protocol, extended, remote, tx, time, uint8_t(n * 11));
        frame.channel = uint8_t(n % 4 + 1);
        if (esi)
            frame.errorFlags = Vemi_CANFD_Data::EsiBit;
        frames << frame;
    };
    for (uint8_t length = 0; length <= 8; ++length)
        add(length, Vemi_CANFD_Data::ProtocolCan, false, false);
    for (uint8_t length = 0; length <= 8; ++length)
        add(length, Vemi_CANFD_Data::ProtocolCan, true, false);
    for (const uint8_t protocol : {Vemi_CANFD_Data::ProtocolCanFd,
                                   Vemi_CANFD_Data::ProtocolCanFdBrs}) {
        for (const bool esi : {false, true}) {
            for (const uint8_t length : fdLengths)
                add(length, protocol, false, esi);
        }
    }
    return frames;
}

void addBusLogRows()
{
    const QVector<Vemi_CANFD_Data> frames = busLog();
    for (int i = 0; i < frames.size(); ++i) {
        const Vemi_CANFD_Data &f = frames[i];
        const char *kind = f.protocol() == Vemi_CANFD_Data::ProtocolCanFdBrs ? "CAN FD BRS"
                           : f.protocol() != Vemi_CANFD_Data::ProtocolCan    ? "CAN FD"
                           : f.isRemote()                                    ? "remote"
                                                                             : "classic";
        QTest::addRow("%d %s %d%s%s ch%d %s", i, kind, f.length, f.errorFlags ? " ESI" : "",
                      f.isExtended() ? " ext" : "", f.channel, f.direction() ? "Tx" : "Rx")
            << i;
    }
}

QString pythonPath()
{
    const QByteArray fromEnv = qgetenv("TAVRIX_PYTHON");
    return fromEnv.isEmpty() ? QStringLiteral("/usr/bin/python3")
                             : QString::fromLocal8Bit(fromEnv);
}

bool pythonCanAvailable()
{
    static const bool available = [] {
        QProcess process;
        process.start(pythonPath(), {QStringLiteral("-c"), QStringLiteral("import can")});
        return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
               && process.exitCode() == 0;
    }();
    return available;
}

QByteArray runPython(const QString &script, const QStringList &arguments, bool *ok)
{
    QProcess process;
    QStringList args{QStringLiteral("-c"), script};
    args += arguments;
    process.start(pythonPath(), args);
    const bool finished = process.waitForFinished(300000);
    const bool success = finished && process.exitStatus() == QProcess::NormalExit
                         && process.exitCode() == 0;
    if (!success)
        qWarning("python failed: %s", process.readAllStandardError().constData());
    if (ok)
        *ok = success;
    return process.readAllStandardOutput();
}

} // namespace TestSupport
