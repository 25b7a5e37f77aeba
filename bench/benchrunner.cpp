#include "benchrunner.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include "corpus.h"
#include "datahub.h"
#include "framestore.h"
#include "logworker.h"
#include "processmemory.h"

namespace {

const char *const childOption = "--child";

// Loads path into store as the window does, through the worker; seconds
// until the last frame is in.
double load(FrameStore &store, const QString &path, bool &ok)
{
    DataHub hub;
    CanDataExporter exporter;
    LogWorker worker(&hub, &store, &exporter);
    QEventLoop loop;
    ok = false;
    QObject::connect(&hub, &DataHub::parsingFinished, &loop, [&](bool success) {
        ok = success;
        loop.quit();
    });
    QElapsedTimer timer;
    timer.start();
    worker.load(path);
    loop.exec();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    worker.shutdown();
    return seconds;
}

} // namespace

Measurement BenchRunner::median(const QVector<Measurement> &runs)
{
    Measurement result;
    if (runs.isEmpty())
        return result;
    std::vector<double> times;
    result.ok = true;
    for (const Measurement &one : runs) {
        times.push_back(one.seconds);
        result.ok = result.ok && one.ok;
        result.frames = one.frames;
        result.bytes = one.bytes;
    }
    std::sort(times.begin(), times.end());
    result.seconds = times[times.size() / 2];
    return result;
}

Measurement BenchRunner::read(const QString &path)
{
    Measurement one;
    FrameStore store;
    one.seconds = load(store, path, one.ok);
    one.frames = store.size();
    one.bytes = QFileInfo(path).size();
    return one;
}

Measurement BenchRunner::firstRows(const QString &path)
{
    Measurement one;
    FrameStore store;
    DataHub hub;
    CanDataExporter exporter;
    LogWorker worker(&hub, &store, &exporter);
    QEventLoop loop;
    QElapsedTimer timer;
    QObject::connect(&store, &FrameStore::framesAppended, &loop, [&](int first, int last) {
        if (one.ok)
            return;
        one.seconds = double(timer.nsecsElapsed()) / 1e9;
        one.ok = true;
        one.frames = last - first + 1;
        loop.quit();
    });
    // A file without frames ends the wait as well; ok stays false.
    QObject::connect(&worker, &LogWorker::loadEnded, &loop, &QEventLoop::quit);
    timer.start();
    worker.load(path);
    loop.exec();
    worker.shutdown();
    one.bytes = QFileInfo(path).size();
    return one;
}

Measurement BenchRunner::write(const QVector<Vemi_CANFD_Data> &frames, ExportFormat format,
                               SortOrder order, const QString &path)
{
    Measurement one;
    CanDataExporter exporter;
    QElapsedTimer timer;
    timer.start();
    one.ok = exporter.exportData(frames, format, order, path);
    one.seconds = double(timer.nsecsElapsed()) / 1e9;
    one.frames = frames.size();
    one.bytes = QFileInfo(path).size();
    return one;
}

Measurement BenchRunner::writeWithProgressReceiver(const QVector<Vemi_CANFD_Data> &frames,
                                                   ExportFormat format, const QString &path)
{
    Measurement one;
    {
        CanDataExporter exporter;
        QObject receiver;
        int last = -1;
        QObject::connect(&exporter, &CanDataExporter::progressUpdated, &receiver,
                         [&last](int percent) { last = percent; });
        QEventLoop loop;
        bool ok = false;
        QThread *thread = QThread::create(
            [&] { ok = exporter.exportData(frames, format, SortOrder::None, path); });
        QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit);
        QElapsedTimer timer;
        timer.start();
        thread->start();
        loop.exec();
        // The queued progress values still waiting are part of the export.
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        while (last != 100 && ok)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        one.seconds = double(timer.nsecsElapsed()) / 1e9;
        thread->wait();
        delete thread;
        one.ok = ok;
        one.frames = frames.size();
        one.bytes = QFileInfo(path).size();
    }
    return one;
}

Measurement BenchRunner::readThenWrite(const QString &path, ExportFormat format,
                                       const QString &out)
{
    Measurement one;
    FrameStore store;
    one.seconds = load(store, path, one.ok);
    QElapsedTimer timer;
    timer.start();
    // The window exports a snapshot of the table's store.
    one.ok = CanDataExporter().exportSnapshot(store.snapshot(), format, SortOrder::None, out)
             && one.ok;
    one.seconds += double(timer.nsecsElapsed()) / 1e9;
    one.frames = store.size();
    one.bytes = QFileInfo(path).size();
    return one;
}

Measurement BenchRunner::convertProcess(const QString &path, const QString &out)
{
    Measurement one;
    QProcess converter;
    converter.setProcessChannelMode(QProcess::ForwardedChannels);
    QElapsedTimer timer;
    timer.start();
    converter.start(QStringLiteral(TAVRIX_CONVERT),
                    {QStringLiteral("-q"), path, QStringLiteral("-o"), out});
    one.ok = converter.waitForFinished(-1) && converter.exitStatus() == QProcess::NormalExit
             && converter.exitCode() == 0;
    one.seconds = double(timer.nsecsElapsed()) / 1e9;
    one.bytes = QFileInfo(path).size();
    return one;
}

LoadReport BenchRunner::loadInChild(const QString &path)
{
    LoadReport report;
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(childOption), path});
    if (!child.waitForFinished(-1) || child.exitCode() != 0)
        return report;
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        const QByteArray key = words.value(0);
        if (key == "rows")
            report.rows = words.value(1).toLongLong();
        else if (key == "load")
            report.loadSeconds = words.value(1).toDouble();
        else if (key == "idle")
            report.idleResident = words.value(1).toLongLong();
        else if (key == "loadpeak")
            report.loadPeak = words.value(1).toLongLong();
    }
    report.ok = report.rows > 0;
    return report;
}

int BenchRunner::childMain(const QStringList &arguments)
{
    const int at = arguments.indexOf(QString::fromLatin1(childOption));
    const QString path = arguments.value(at + 1);

    FrameStore store;
    const qint64 idle = ProcessMemory::resident();
    bool ok = false;
    const double seconds = load(store, path, ok);
    const qint64 loadPeak = ProcessMemory::peakResident();
    if (!ok)
        return 1;
    std::printf("rows %d\nload %.6f\nidle %lld\nloadpeak %lld\n", store.size(), seconds,
                idle, loadPeak);

    std::fflush(stdout);
    return 0;
}
