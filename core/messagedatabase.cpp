#include "messagedatabase.h"

#include <QFile>
#include <QTextCodec>

namespace {

QString hexOf(uint64_t raw, int bits)
{
    return QString::number(raw, 16).toUpper().rightJustified((bits + 3) / 4, QLatin1Char('0'));
}

} // namespace

QString MessageDatabase::text(const std::string &bytes)
{
    QTextCodec::ConverterState state;
    const QString decoded = QTextCodec::codecForName("UTF-8")->toUnicode(
        bytes.data(), int(bytes.size()), &state);
    return state.invalidChars == 0 ? decoded
                                   : QString::fromLatin1(bytes.data(), int(bytes.size()));
}

QString MessageDatabase::valueText(double value)
{
    return QString::number(value, 'g', 15);
}

MessageDatabase::Loaded MessageDatabase::load(const QString &path)
{
    Loaded result;
    const DbcLoadResult read = dbc.load(QFile::encodeName(path).toStdString());
    result.ok = read.ok;
    if (!read.ok)
        result.error = text(read.error.text());
    for (const DbcDiagnostic &warning : read.warnings)
        result.warnings << text(warning.text());
    if (read.droppedWarnings > 0)
        result.warnings << tr("%n more warnings", nullptr, int(read.droppedWarnings));
    if (read.ok)
        loaded << path;
    names.clear();
    for (const DbcMessage &message : dbc.messages())
        names.insert(message.key(), text(message.name));
    return result;
}

void MessageDatabase::clear()
{
    dbc.clear();
    loaded.clear();
    names.clear();
}

QString MessageDatabase::name(uint32_t identifier, bool extended) const
{
    return names.value(DbcMessage::key(identifier, extended));
}

QVector<MessageDatabase::Signal> MessageDatabase::decode(const Vemi_CANFD_Data &frame) const
{
    QVector<Signal> shown;
    const DbcMessage *described = message(frame);
    if (!described)
        return shown;
    std::vector<DbcDecodedSignal> values;
    described->decode(frame.data, frame.length, values);
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!values[i].present)
            continue;
        const DbcSignal &definition = described->signalList[i];
        const std::string *table = definition.valueText(values[i].raw);
        shown.append({text(definition.name), valueText(values[i].value), text(definition.unit),
                      table ? text(*table) : QString(),
                      hexOf(values[i].raw, definition.length)});
    }
    return shown;
}

FrameFilter::NameMatcher MessageDatabase::nameMatcher() const
{
    return [this](const QString &pattern, std::unordered_set<uint64_t> &keys, QString &error) {
        if (isEmpty()) {
            error = tr("'name' needs a database: load one with Database...");
            return false;
        }
        for (const DbcMessage *found : dbc.messagesMatching(pattern.toStdString()))
            keys.insert(FrameFilter::key(found->id, found->extended));
        if (keys.empty()) {
            error = tr("no message of the database is named %1").arg(pattern);
            return false;
        }
        return true;
    };
}
