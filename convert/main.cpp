#include <cstdio>
#include <memory>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QTranslator>

#include "conversionplan.h"
#include "converter.h"
#include "framefilter.h"
#include "interruptwatcher.h"
#include "logformat.h"
#include "messagedatabase.h"
#include "progressdisplay.h"
#include "vemi_canfd_data.h"

namespace {

constexpr int ExitConverted = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

QString text(const char *source)
{
    return QCoreApplication::translate("main", source);
}

int complain(const QString &reason, int status)
{
    const QString line = QCoreApplication::applicationName() + QLatin1String(": ") + reason
                         + QLatin1Char('\n');
    std::fputs(line.toLocal8Bit().constData(), stderr);
    return status;
}

bool sortOrderFromName(const QString &name, SortOrder &order)
{
    static const char *const names[] = {"none", "ascending", "descending"};
    for (int code = 0; code < 3; ++code) {
        if (name.compare(QLatin1String(names[code]), Qt::CaseInsensitive) == 0) {
            order = SortOrder(code);
            return true;
        }
    }
    return false;
}

// The CSV header's language, through the window's own embedded translations.
bool translationFromName(const QString &name, QString &file)
{
    if (name.compare(QLatin1String("en"), Qt::CaseInsensitive) == 0)
        file = QStringLiteral(":/Translation/Tavrix_en_AS.qm");
    else if (name.compare(QLatin1String("zh"), Qt::CaseInsensitive) == 0)
        file = QStringLiteral(":/Translation/Tavrix_zh_CN.qm");
    else
        return false;
    return true;
}

// "ASC, CSV and BLF": the display names of every format.
// "A, B and C" of the formats read, or of those also written.
QString formatList(bool writable)
{
    QStringList names;
    for (const LogFormat &format : LogFormat::all()) {
        if (!writable || format.writable)
            names << QLatin1String(format.displayName);
    }
    const QString last = names.takeLast();
    return names.isEmpty() ? last : names.join(QStringLiteral(", ")) + text(" and ") + last;
}

// The databases of --dbc, all of which must load; their warnings go to
// standard error unless quiet.
std::shared_ptr<const MessageDatabase> loadDatabases(const QStringList &paths, bool quiet,
                                                     QString &error)
{
    auto database = std::make_shared<MessageDatabase>();
    for (const QString &path : paths) {
        const MessageDatabase::Loaded loaded = database->load(path);
        if (!quiet) {
            for (const QString &warning : loaded.warnings)
                complain(text("warning: %1").arg(warning), 0);
        }
        if (!loaded.ok) {
            error = text("cannot load the database %1").arg(loaded.error);
            return nullptr;
        }
    }
    return database;
}

// --signals alone is the wide table; the parser knows no optional values.
QStringList withSignalForm(QStringList arguments)
{
    for (QString &argument : arguments) {
        if (argument == QLatin1String("--"))
            break;
        if (argument == QLatin1String("--signals"))
            argument = QStringLiteral("--signals=wide");
    }
    return arguments;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavrix-convert"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVRIX_VERSION));
    // The readers' and the dispatcher's log lines are for developers; the
    // converter says what went wrong in its own words. QT_LOGGING_RULES can
    // turn them on again.
    QLoggingCategory::setFilterRules(
        QStringLiteral("default.debug=false\ndefault.info=false\ndefault.warning=false"));
    registerFrameMetaTypes();
    InterruptWatcher watcher;

    QCommandLineParser parser;
    parser.setApplicationDescription(
        text("Converts CAN and CAN FD bus logs in %1 to %2 with the readers and the exporter "
             "of the Tavrix window.\n").arg(formatList(false), formatList(true)) + text(
             "Exit status: 0 when every file converted, 1 when a file could not be read "
             "or written or ended early, 2 for a usage error."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
        text("The output file; a folder, created when missing, when there are several "
             "inputs or an input is a folder."), text("path"));
    const QCommandLineOption format({QStringLiteral("f"), QStringLiteral("format")},
        text("Output format: %1. Default: the output file's suffix; needed for a folder.")
            .arg(LogFormat::writableNames()), text("format"));
    const QCommandLineOption sort({QStringLiteral("s"), QStringLiteral("sort")},
        text("Frame order: none (as read), ascending or descending CAN identifier. "
             "Default: none."), text("order"), QStringLiteral("none"));
    const QCommandLineOption language(QStringLiteral("language"),
        text("Language of the CSV header: en or zh. Default: en."), text("language"),
        QStringLiteral("en"));
    const QCommandLineOption quiet({QStringLiteral("q"), QStringLiteral("quiet")},
        text("Report failures only: no line per file, no progress."));
    const QCommandLineOption allowTruncated(QStringLiteral("allow-truncated"),
        text("Accept logs that end early (cut or damaged data): they still convert as far "
             "as they can be read and are reported, but the exit status stays 0. Without "
             "it such a log counts as failed (exit status 1); its output is kept either "
             "way, with every frame that could be read."));
    const QCommandLineOption dbc(QStringLiteral("dbc"),
        text("A DBC database, repeatable: the Name column of CSV output gets each frame's "
             "message name. A database that does not load stops the run (exit status 1)."),
        text("file"));
    const QCommandLineOption signalTable(QStringLiteral("signals"),
        text("Write the signals the databases decode instead of the frames, as CSV. "
             "--signals: a line per frame (Time, Message, then a column per signal of every "
             "message); --signals=long: a line per signal (Time, Message, Signal, Value, "
             "Unit). Frames of no message give no line; Time is seconds since the first "
             "frame."), text("wide|long"));
    const QCommandLineOption filter(QStringLiteral("filter"),
        text("Write only the frames that match expr, in the filter language of the window "
             "(see the README), as in \"100-1FF ch 2 t 10-20\"."), text("expr"));
    const QCommandLineOption overview(QStringLiteral("overview"),
        text("Instead of converting, print one CSV line per identifier and channel (count, "
             "lengths, first and last time, periods, rx/tx) of one input, to standard "
             "output or to the -o file."));
    parser.addOptions({output, format, sort, language, quiet, allowTruncated, dbc, signalTable, filter,
                       overview});
    parser.addPositionalArgument(QStringLiteral("INPUT"),
        text("Log files (%1) or folders of them.").arg(LogFormat::readableSuffixes()),
        QStringLiteral("INPUT..."));

    if (!parser.parse(withSignalForm(QCoreApplication::arguments())))
        return complain(parser.errorText(), ExitUsage);
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(ExitConverted);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    SortOrder order = SortOrder::None;
    if (!sortOrderFromName(parser.value(sort), order)) {
        return complain(text("unknown sort order '%1' (use none, ascending or descending)")
                            .arg(parser.value(sort)), ExitUsage);
    }
    QString translationFile;
    if (!translationFromName(parser.value(language), translationFile)) {
        return complain(text("unknown language '%1' (use en or zh)")
                            .arg(parser.value(language)), ExitUsage);
    }
    // --overview: one input file, its CSV to -o or to standard output.
    const QStringList inputs = parser.positionalArguments();
    const bool overviewOnly = parser.isSet(overview);
    ConversionPlan plan;
    if (overviewOnly && !plan.buildOverview(inputs, parser.value(output)))
        return complain(plan.error(), ExitUsage);
    if (!overviewOnly && !plan.build(inputs, parser.value(output), parser.value(format)))
        return complain(plan.error(), ExitUsage);
    SignalTable table = SignalTable::None;
    if (parser.isSet(signalTable)) {
        const QString form = parser.value(signalTable);
        if (form == QLatin1String("wide") || form == QLatin1String("long"))
            table = form == QLatin1String("long") ? SignalTable::Long : SignalTable::Wide;
        else
            return complain(text("unknown signal table '%1' (use --signals or --signals=long)")
                                .arg(form), ExitUsage);
        if (!parser.isSet(dbc))
            return complain(text("--signals needs a database: --dbc FILE"), ExitUsage);
        if (overviewOnly)
            return complain(text("--signals and --overview exclude each other"), ExitUsage);
        if (plan.format() != ExportFormat::Csv)
            return complain(text("--signals writes CSV: use -f csv or a .csv output"),
                            ExitUsage);
    }
    std::shared_ptr<const MessageDatabase> database;
    if (parser.isSet(dbc)) {
        QString problem;
        database = loadDatabases(parser.values(dbc), parser.isSet(quiet), problem);
        if (!database)
            return complain(problem, ExitFailed);
    }
    std::shared_ptr<const FrameFilter> chosenFilter;
    if (parser.isSet(filter)) {
        const FrameFilter parsed = FrameFilter::parse(
            parser.value(filter),
            database ? database->nameMatcher() : FrameFilter::NameMatcher());
        if (!parsed.isValid())
            return complain(text("bad --filter: %1").arg(parsed.error()), ExitUsage);
        if (!parsed.isEmpty())
            chosenFilter = std::make_shared<const FrameFilter>(parsed);
    }
    if (!overviewOnly && !plan.outputFolder().isEmpty() && !QDir().mkpath(plan.outputFolder()))
        return complain(text("cannot create the folder %1").arg(plan.outputFolder()), ExitFailed);

    QTranslator translator;
    translator.load(translationFile);
    QCoreApplication::installTranslator(&translator);

    Converter::Settings settings;
    settings.format = plan.format();
    settings.order = order;
    settings.quiet = parser.isSet(quiet);
    settings.allowTruncated = parser.isSet(allowTruncated);
    settings.progress = ProgressDisplay::terminalAttached();
    settings.database = database;
    settings.signalTable = table;
    settings.filter = chosenFilter;
    Converter converter(settings);
    QObject::connect(&watcher, &InterruptWatcher::interrupted, &converter,
                     &Converter::interrupt);
    const bool converted = overviewOnly
                               ? converter.overview(plan.jobs().first().input,
                                                    plan.jobs().first().output)
                               : converter.run(plan.jobs());
    if (converter.interruptedBy() != 0)
        InterruptWatcher::endBy(converter.interruptedBy());
    return converted ? ExitConverted : ExitFailed;
}
