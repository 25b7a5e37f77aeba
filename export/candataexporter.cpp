#include "candataexporter.h"

#include <algorithm>
#include <cerrno>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaMethod>
#include <QTextStream>

#include "ascwriter.h"
#include "blfwriter.h"
#include "candumpwriter.h"
#include "csvwriter.h"
#include "exportcontext.h"
#include "identifiersort.h"
#include "messagedatabase.h"
#include "signaltablewriter.h"

namespace {

// The smallest timestamp: the time origin of every writer.
uint64_t earliestTimestamp(const FrameSnapshot &frames)
{
    uint64_t earliest = frames.timestampAt(0);
    for (int i = 1; i < frames.size(); ++i)
        earliest = std::min(earliest, frames.timestampAt(i));
    return earliest;
}

// Writes into a file that was removed meanwhile, with the folder it was in,
// succeed on POSIX systems: the data is gone, yet nothing reports an error.
bool stillThere(const QString &outputPath)
{
    return QFileInfo::exists(outputPath);
}

// Pushes the stream's and the file's buffers out and closes the file. A write
// error anywhere on the way (a full disk, a removed device) makes it false.
bool finishText(QTextStream &out, QFile &file)
{
    out.flush();
    const bool streamed = out.status() == QTextStream::Ok;
    const bool flushed = file.flush();
    file.close();
    return streamed && flushed && file.error() == QFileDevice::NoError
           && stillThere(file.fileName());
}

} // namespace

CanDataExporter::CanDataExporter(QObject *parent)
    : QObject(parent)
{
}

// By value, as callers have always handed over their own copy.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
bool CanDataExporter::exportData(QVector<Vemi_CANFD_Data> frames, ExportFormat format,
                                 SortOrder order, const QString &outputPath)
{
    return exportSnapshot(FrameSnapshot(frames), format, order, outputPath);
}

void CanDataExporter::setDatabase(std::shared_ptr<const MessageDatabase> names,
                                  SignalTable table)
{
    database = std::move(names);
    signalTable = database ? table : SignalTable::None;
}

QString CanDataExporter::failureText(Failure failure, const QString &error, bool translated)
{
    const char *source = nullptr;
    switch (failure) {
    case Failure::None:
        return QString();
    case Failure::NoFrames:
        source = QT_TR_NOOP("there are no frames to write");
        break;
    case Failure::FolderMissing:
        source = QT_TR_NOOP("the folder does not exist");
        break;
    case Failure::NoPermission:
        source = QT_TR_NOOP("no permission to write there");
        break;
    case Failure::NoSpace:
        source = QT_TR_NOOP("no space left on the disk");
        break;
    case Failure::FileRemoved:
        source = QT_TR_NOOP("the file was removed while it was written");
        break;
    case Failure::WriteFailed:
        source = QT_TR_NOOP("the file could not be written (%1)");
        break;
    }
    const QString text = translated ? tr(source) : QString::fromLatin1(source);
    return failure == Failure::WriteFailed ? text.arg(error) : text;
}

void CanDataExporter::noteFailure(const QString &outputPath, bool opened, int error)
{
    const QFileInfo file(outputPath);
    systemError = error != 0 ? qt_error_string(error) : QString();
    if (!file.absoluteDir().exists())
        failure = opened ? Failure::FileRemoved : Failure::FolderMissing;
    else if (opened && !file.exists())
        failure = Failure::FileRemoved;
    else if (error == ENOSPC || error == EDQUOT)
        failure = Failure::NoSpace;
    else if (error == EACCES || error == EPERM || error == EROFS)
        failure = Failure::NoPermission;
    else
        failure = Failure::WriteFailed;
}

bool CanDataExporter::exportSnapshot(const FrameSnapshot &frames, ExportFormat format,
                                     SortOrder order, const QString &outputPath)
{
    failure = Failure::None;
    systemError.clear();
    if (frames.isEmpty()) {
        failure = Failure::NoFrames;
        return false;
    }

    ExportContext context;
    context.baseTimestamp = earliestTimestamp(frames);
    context.exportStartTime = QDateTime::currentDateTime();
    // Unstable, like any introsort: frames of one identifier lose their time order.
    context.order = IdentifierSort::positions(frames, order);
    context.total = frames.size();
    context.frames = frames;
    return writeFile(context, format, outputPath);
}

bool CanDataExporter::exportStream(FrameStream &stream, ExportFormat format,
                                   const QString &outputPath, const uint64_t *origin)
{
    // However the export ends, the reader is let go.
    struct Release
    {
        FrameStream &stream;
        ~Release() { stream.cancel(); }
    } release{stream};

    failure = Failure::None;
    systemError.clear();
    ExportContext context;
    // Nothing is written, not even an empty file, for a log without frames.
    if (!stream.firstTimestamp(context.baseTimestamp)) {
        failure = Failure::NoFrames;
        return false;
    }
    if (origin)
        context.baseTimestamp = *origin;
    context.exportStartTime = QDateTime::currentDateTime();
    context.stream = &stream;
    return writeFile(context, format, outputPath) && !stream.isOutOfOrder();
}

bool CanDataExporter::writeFile(ExportContext &context, ExportFormat format,
                                const QString &outputPath)
{
    // What failed last sets errno; whatever set it before does not count.
    errno = 0;
    bool opened = false;
    if (write(context, format, outputPath, opened))
        return true;
    noteFailure(outputPath, opened, errno);
    return false;
}

bool CanDataExporter::write(ExportContext &context, ExportFormat format,
                            const QString &outputPath, bool &opened)
{
    context.outputPath = outputPath;
    context.database = database;
    context.signalTable = signalTable;
    // An emission that nobody hears still costs a good part of what writing
    // a line costs; whether anybody listens is looked up every so many frames
    // (a receiver connected in the middle of an export may miss some values).
    const QMetaMethod progressSignal = QMetaMethod::fromSignal(&CanDataExporter::progressUpdated);
    context.progress = [this, progressSignal, listened = false,
                        countdown = 0](int percent) mutable {
        if (--countdown <= 0) {
            listened = isSignalConnected(progressSignal);
            countdown = 1024;
        }
        if (listened)
            emit progressUpdated(percent);
    };

    QFile file(outputPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    opened = true;
    context.file = &file;

    switch (format) {
    case ExportFormat::Asc: {
        QTextStream out(&file);
        AscWriter(QDateTime::currentDateTime()).write(context, out);
        return finishText(out, file);
    }
    case ExportFormat::Csv: {
        QTextStream out(&file);
        if (context.signalTable != SignalTable::None)
            SignalTableWriter(*context.database, context.signalTable).write(context, out);
        else
            CsvWriter().write(context, out);
        return finishText(out, file);
    }
    case ExportFormat::Candump: {
        QTextStream out(&file);
        CandumpWriter().write(context, out);
        return finishText(out, file);
    }
    case ExportFormat::Blf:
        // The library writes the file under the same path; this handle stays
        // open meanwhile and writes nothing.
        return BlfWriter().write(context) && stillThere(outputPath);
    }
    // An unknown format code leaves the file empty.
    file.close();
    return true;
}
