#include "logformat.h"

#include "ascparser.h"
#include "blfparser.h"
#include "candumpparser.h"
#include "csvparser.h"
#include "trcparser.h"

namespace {

template<typename Parser>
IDataParser *create()
{
    return new Parser;
}

// "a, b or c".
QString joined(const QStringList &items, const QString &last)
{
    if (items.size() < 2)
        return items.join(QString());
    return QStringList(items.mid(0, items.size() - 1)).join(QStringLiteral(", ")) + last
           + items.last();
}

QString dottedSuffixes(bool writableOnly)
{
    QStringList suffixes;
    for (const LogFormat &format : LogFormat::all()) {
        if (writableOnly && !format.writable)
            continue;
        for (const char *suffix : format.suffixes)
            suffixes << QLatin1Char('.') + QLatin1String(suffix);
    }
    return joined(suffixes, QStringLiteral(" or "));
}

} // namespace

QString LogFormat::dottedSuffix() const
{
    return QLatin1Char('.') + QLatin1String(suffixes.front());
}

const std::vector<LogFormat> &LogFormat::all()
{
    static const std::vector<LogFormat> formats{
        {"asc", "ASC", {"asc"}, "ASC Files (*.asc)", create<AscParser>, true, ExportFormat::Asc},
        {"csv", "CSV", {"csv"}, "CSV Files (*.csv)", create<CsvParser>, true, ExportFormat::Csv},
        {"blf", "BLF", {"blf"}, "BLF Files (*.blf)", create<BlfParser>, true, ExportFormat::Blf},
        {"candump", "candump", {"log"}, "candump Logs (*.log)", create<CandumpParser>, true,
         ExportFormat::Candump},
        // Read only: no export code.
        {"trc", "TRC", {"trc"}, "TRC Files (*.trc)", create<TrcParser>, false, ExportFormat()},
    };
    return formats;
}

const LogFormat *LogFormat::forSuffix(const QString &suffix)
{
    for (const LogFormat &format : all()) {
        for (const char *own : format.suffixes) {
            if (suffix == QLatin1String(own))
                return &format;
        }
    }
    return nullptr;
}

const LogFormat *LogFormat::forName(const QString &name)
{
    for (const LogFormat &format : all()) {
        if (name.compare(QLatin1String(format.name), Qt::CaseInsensitive) == 0)
            return &format;
    }
    return nullptr;
}

const LogFormat *LogFormat::forExport(ExportFormat code)
{
    for (const LogFormat &format : all()) {
        if (format.writable && format.exportFormat == code)
            return &format;
    }
    return nullptr;
}

QString LogFormat::readablePatterns()
{
    QStringList patterns;
    for (const LogFormat &format : all()) {
        for (const char *suffix : format.suffixes)
            patterns << QLatin1String("*.") + QLatin1String(suffix);
    }
    return patterns.join(QLatin1Char(' '));
}

QString LogFormat::writableNames()
{
    QStringList names;
    for (const LogFormat &format : all()) {
        if (format.writable)
            names << QLatin1String(format.name);
    }
    return joined(names, QStringLiteral(" or "));
}

QString LogFormat::readableSuffixes()
{
    return dottedSuffixes(false);
}

QString LogFormat::writableSuffixes()
{
    return dottedSuffixes(true);
}
