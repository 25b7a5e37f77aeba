#include "conversionplan.h"

#include <sys/stat.h>

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QPair>

#include "logformat.h"

namespace {

// The file a path names, however it is spelled: through links, "..", or a
// second hard link. Empty for a path that names nothing.
QPair<quint64, quint64> fileIdentity(const QString &path)
{
    struct stat status{};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return {};
    return {quint64(status.st_dev), quint64(status.st_ino)};
}

QString absoluteKey(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// Any format the program reads, whether it writes it or not.
bool isLogSuffix(const QString &suffix)
{
    return LogFormat::forSuffix(suffix.toLower()) != nullptr;
}

} // namespace

bool ConversionPlan::formatFromName(const QString &name, ExportFormat &format)
{
    const LogFormat *named = LogFormat::forName(name);
    if (!named || !named->writable)
        return false;
    format = named->exportFormat;
    return true;
}

bool ConversionPlan::formatFromSuffix(const QString &suffix, ExportFormat &format)
{
    const LogFormat *named = LogFormat::forSuffix(suffix.toLower());
    if (!named || !named->writable)
        return false;
    format = named->exportFormat;
    return true;
}

bool ConversionPlan::build(const QStringList &inputs, const QString &output,
                           const QString &formatName)
{
    planned.clear();
    problem.clear();
    folder.clear();
    if (inputs.isEmpty())
        return fail(tr("no input files given"));
    if (output.isEmpty())
        return fail(tr("no output given (-o FILE or -o FOLDER)"));

    const bool toFolder = outputIsFolder(inputs, output);
    if (!formatName.isEmpty()) {
        if (!formatFromName(formatName, outputFormat))
            return fail(tr("unknown format '%1' (use %2)")
                            .arg(formatName, LogFormat::writableNames()));
    } else if (toFolder) {
        return fail(tr("--format is needed when the output is a folder"));
    } else if (!formatFromSuffix(QFileInfo(output).suffix(), outputFormat)) {
        return fail(tr("cannot tell the format from '%1' (use a %2 name, or --format)")
                        .arg(output, LogFormat::writableSuffixes()));
    }

    if (!toFolder) {
        planned.append({inputs.constFirst(), output, {}});
        return checkCollisions();
    }
    const QFileInfo target(output);
    if (target.exists() && !target.isDir())
        return fail(tr("'%1' is not a folder, but the output of several inputs must be one")
                        .arg(output));
    folder = output;
    const QString suffix = LogFormat::forExport(outputFormat)->dottedSuffix();
    for (const QString &input : inputs) {
        if (QFileInfo(input).isDir()) {
            addFolder(input, output);
        } else {
            const QString name = QFileInfo(input).completeBaseName() + suffix;
            planned.append({input, QDir(output).filePath(name), {}});
        }
    }
    return checkCollisions();
}

bool ConversionPlan::outputIsFolder(const QStringList &inputs, const QString &output) const
{
    if (inputs.size() > 1 || output.endsWith(QLatin1Char('/')) || QFileInfo(output).isDir())
        return true;
    return QFileInfo(inputs.constFirst()).isDir();
}

void ConversionPlan::addFolder(const QString &inputFolder, const QString &outputFolder)
{
    const QDir dir(inputFolder);
    if (!dir.isReadable()) {
        planned.append({inputFolder, {}, tr("the folder cannot be read")});
        return;
    }
    const QString suffix = LogFormat::forExport(outputFormat)->dottedSuffix();
    bool any = false;
    const QFileInfoList entries = dir.entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo &entry : entries) {
        if (!isLogSuffix(entry.suffix()))
            continue;
        any = true;
        const QString name = entry.completeBaseName() + suffix;
        planned.append({dir.filePath(entry.fileName()), QDir(outputFolder).filePath(name), {}});
    }
    if (!any)
        planned.append({inputFolder, {},
                         tr("the folder holds no %1 file").arg(LogFormat::readableSuffixes())});
}

bool ConversionPlan::fail(const QString &reason)
{
    problem = reason;
    planned.clear();
    folder.clear();
    return false;
}

bool ConversionPlan::buildOverview(const QStringList &inputs, const QString &output)
{
    planned.clear();
    if (inputs.size() != 1 || QFileInfo(inputs.first()).isDir())
        return fail(tr("--overview takes one input file"));
    const QString &input = inputs.first();
    if (!output.isEmpty() && fileIdentity(output) != QPair<quint64, quint64>()
        && fileIdentity(output) == fileIdentity(input))
        return fail(tr("writing %1 would overwrite the input %2").arg(output, input));
    planned << ConversionJob{input, output, QString()};
    return true;
}

bool ConversionPlan::checkCollisions()
{
    QHash<QString, QString> inputByOutput;
    QHash<QPair<quint64, quint64>, QString> inputByIdentity;
    for (const ConversionJob &job : qAsConst(planned)) {
        const auto identity = fileIdentity(job.input);
        if (!job.problem.isEmpty() || identity == QPair<quint64, quint64>())
            continue;
        inputByIdentity.insert(identity, job.input);
    }
    for (const ConversionJob &job : qAsConst(planned)) {
        if (!job.problem.isEmpty())
            continue;
        const QString key = absoluteKey(job.output);
        const auto taken = inputByOutput.constFind(key);
        if (taken != inputByOutput.constEnd())
            return fail(tr("%1 and %2 would both be written to %3; convert them into "
                           "separate folders")
                            .arg(taken.value(), job.input, job.output));
        inputByOutput.insert(key, job.input);
        const auto overwritten = inputByIdentity.constFind(fileIdentity(job.output));
        if (overwritten != inputByIdentity.constEnd())
            return fail(tr("writing %1 would overwrite the input %2")
                            .arg(job.output, overwritten.value()));
    }
    return true;
}
