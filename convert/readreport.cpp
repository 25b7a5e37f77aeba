#include "readreport.h"

#include <QFile>
#include <QFileInfo>

#include "datahub.h"
#include "logformat.h"

namespace {

// Bytes looked at for a CSV log's second line: a header longer than this is
// no header of ours.
constexpr qint64 PeekSize = 64 * 1024;

// A CSV log whose reader took none of its lines: it has a line after the
// first that is not blank, which in our layout would have been a frame.
bool hasLinesAfterHeader(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    file.readLine(PeekSize);
    while (!file.atEnd() && file.pos() < PeekSize) {
        if (!file.readLine(PeekSize).trimmed().isEmpty())
            return true;
    }
    return false;
}

} // namespace

ReadReport::ReadReport(DataHub *hub, QObject *parent)
    : QObject(parent)
{
    // A reader that measures its share of the file gives the truer figure.
    connect(hub, &DataHub::progressUpdated, this, [this](int value) {
        if (!measured || value == 100)
            lastPercent = value;
    });
    connect(hub, &DataHub::shareRead, this, [this](int value) {
        measured = true;
        lastPercent = value;
    });
    connect(hub, &DataHub::endedEarly, this, [this] { early = true; });
    connect(hub, &DataHub::parsingFinished, this,
            [this](bool succeeded) { success = succeeded; });
}

void ReadReport::reset()
{
    success = false;
    early = false;
    lastPercent = -1;
    measured = false;
}

ReadReport::Problem ReadReport::problem(const QString &path, qint64 frames) const
{
    if (frames > 0)
        return Problem::None;
    const QFileInfo file(path);
    if (!file.exists())
        return Problem::NotFound;
    if (file.isDir())
        return Problem::Folder;
    const LogFormat *format = LogFormat::forSuffix(file.suffix().toLower());
    if (!format)
        return Problem::Unsupported;
    if (!file.isReadable())
        return Problem::NoPermission;
    const QLatin1String name(format->name);
    if (!success)
        return name == QLatin1String("blf") && file.isFile() ? Problem::NotBlf
                                                              : Problem::Unreadable;
    // Only a plain file is opened again: a pipe would wait for a writer.
    if (name == QLatin1String("csv") && file.isFile() && hasLinesAfterHeader(path))
        return Problem::OtherCsvLayout;
    return Problem::NoFrames;
}

QString ReadReport::describe(Problem problem, bool translated)
{
    const char *source = nullptr;
    switch (problem) {
    case Problem::None:
        return QString();
    case Problem::NotFound:
        source = QT_TR_NOOP("the file does not exist");
        break;
    case Problem::Folder:
        source = QT_TR_NOOP("it is a folder, not a file");
        break;
    case Problem::NoPermission:
        source = QT_TR_NOOP("no permission to read it");
        break;
    case Problem::Unsupported:
        source = QT_TR_NOOP("unsupported format; readable formats: %1");
        break;
    case Problem::NotBlf:
        source = QT_TR_NOOP("not a BLF file");
        break;
    case Problem::NoFrames:
        source = QT_TR_NOOP("no frames in the file");
        break;
    case Problem::OtherCsvLayout:
        source = QT_TR_NOOP("no frames in the file; a CSV log needs the nine columns "
                            "of the header Tavrix writes");
        break;
    case Problem::Unreadable:
        source = QT_TR_NOOP("the file cannot be read");
        break;
    }
    const QString text = translated ? tr(source) : QString::fromLatin1(source);
    return problem == Problem::Unsupported ? text.arg(LogFormat::readablePatterns()) : text;
}
