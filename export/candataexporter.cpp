#include "candataexporter.h"

#include <algorithm>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include "ascwriter.h"
#include "blfwriter.h"
#include "csvwriter.h"
#include "exportcontext.h"

namespace {

uint64_t earliestTimestamp(const QVector<Vemi_CANFD_Data> &frames)
{
    uint64_t earliest = frames.constFirst().timestamp;
    for (const Vemi_CANFD_Data &frame : frames)
        earliest = std::min(earliest, frame.timestamp);
    return earliest;
}

// Unstable, like any introsort: frames of one identifier lose their time order.
// The remote and extended bits take no part in the key.
void sortByIdentifier(QVector<Vemi_CANFD_Data> &frames, SortOrder order)
{
    if (order == SortOrder::Ascending) {
        std::sort(frames.begin(), frames.end(),
                  [](const Vemi_CANFD_Data &a, const Vemi_CANFD_Data &b) {
                      return a.identifier() < b.identifier();
                  });
    } else if (order == SortOrder::Descending) {
        std::sort(frames.begin(), frames.end(),
                  [](const Vemi_CANFD_Data &a, const Vemi_CANFD_Data &b) {
                      return a.identifier() > b.identifier();
                  });
    }
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

bool CanDataExporter::exportData(QVector<Vemi_CANFD_Data> frames, ExportFormat format,
                                 SortOrder order, const QString &outputPath)
{
    if (frames.isEmpty())
        return false;

    ExportContext context;
    context.baseTimestamp = earliestTimestamp(frames);
    context.exportStartTime = QDateTime::currentDateTime();
    sortByIdentifier(frames, order);
    context.total = frames.size();
    context.frames = std::move(frames);
    context.outputPath = outputPath;
    context.progress = [this](int percent) { emit progressUpdated(percent); };

    QFile file(outputPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    context.file = &file;

    switch (format) {
    case ExportFormat::Asc: {
        QTextStream out(&file);
        AscWriter(QDateTime::currentDateTime()).write(context, out);
        return finishText(out, file);
    }
    case ExportFormat::Csv: {
        QTextStream out(&file);
        CsvWriter().write(context, out);
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
