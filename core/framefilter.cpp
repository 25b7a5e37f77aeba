#include "framefilter.h"

#include <algorithm>
#include <cmath>

#include <QRegularExpression>
#include <QStringList>

namespace {

// A hexadecimal identifier, "0x" allowed; false when text is none or too large.
bool identifierOf(QString text, uint32_t &value)
{
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        text = text.mid(2);
    bool ok = false;
    const qulonglong number = text.toULongLong(&ok, 16);
    if (!ok || text.isEmpty() || number > Vemi_CANFD_Data::IdMask)
        return false;
    value = uint32_t(number);
    return true;
}

// Seconds, as written in a time range, in microseconds; false when text is no
// number or negative.
bool microsOf(const QString &text, uint64_t &micros)
{
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !(seconds >= 0) || seconds > 1e12)
        return false;
    micros = uint64_t(std::llround(seconds * 1e6));
    return true;
}

bool isByte(const QString &token)
{
    static const QRegularExpression pattern(QStringLiteral("^([0-9A-Fa-f]{2}|\\?\\?)$"));
    return pattern.match(token).hasMatch();
}

} // namespace

FrameFilter::FrameFilter() = default;

FrameFilter FrameFilter::parse(const QString &text, const NameMatcher &names)
{
    FrameFilter filter;
    const QStringList tokens = text.split(QRegularExpression(QStringLiteral("\\s+")),
                                          Qt::SkipEmptyParts);
    auto fail = [&filter](const QString &reason) {
        filter.terms.clear();
        filter.problem = reason;
        return filter;
    };
    for (int i = 0; i < tokens.size(); ++i) {
        const QString &token = tokens.at(i);
        const QString word = token.toLower();
        Term term{};
        if (word == QLatin1String("rx") || word == QLatin1String("tx")) {
            term.kind = word == QLatin1String("tx") ? Term::Sent : Term::Received;
        } else if (word == QLatin1String("fd")) {
            term.kind = Term::Fd;
        } else if (word == QLatin1String("classic")) {
            term.kind = Term::Classic;
        } else if (word == QLatin1String("remote")) {
            term.kind = Term::Remote;
        } else if (word == QLatin1String("ch")) {
            term.kind = Term::Channels;
            const QStringList numbers = tokens.value(++i).split(QLatin1Char(','));
            for (const QString &number : numbers) {
                bool ok = false;
                const int channel = number.toInt(&ok);
                if (!ok || channel < 0 || channel > 255)
                    return fail(tr("'ch' needs channel numbers from 0 to 255, as in ch 2 or "
                                   "ch 1,3"));
                term.channels.push_back(channel);
            }
        } else if (word == QLatin1String("t")) {
            term.kind = Term::Time;
            const QString range = tokens.value(++i);
            const int dash = range.indexOf(QLatin1Char('-'));
            const QString from = dash < 0 ? range : range.left(dash);
            const QString until = dash < 0 ? range : range.mid(dash + 1);
            if (range.isEmpty() || (from.isEmpty() && until.isEmpty())
                || (!from.isEmpty() && !microsOf(from, term.fromMicros))
                || (!until.isEmpty() && !microsOf(until, term.untilMicros))
                || term.fromMicros > term.untilMicros)
                return fail(tr("'t' needs a range of seconds since the first frame, as in "
                               "t 10.5-20, t 10- or t -20"));
        } else if (word == QLatin1String("data")) {
            term.kind = Term::Data;
            while (i + 1 < tokens.size() && isByte(tokens.at(i + 1))) {
                const QString byte = tokens.at(++i);
                term.bytes.push_back(byte == QLatin1String("??") ? -1 : byte.toInt(nullptr, 16));
            }
            if (term.bytes.empty())
                return fail(tr("'data' needs bytes in hex, ?? for any byte, as in "
                               "data 02 10 ??"));
        } else if (word == QLatin1String("name")) {
            term.kind = Term::Names;
            const QString pattern = tokens.value(++i);
            if (pattern.isEmpty())
                return fail(tr("'name' needs a message name, * for any text, as in "
                               "name Brake*"));
            QString reason;
            if (!names)
                return fail(tr("'name' needs a database: load one with Database..."));
            if (!names(pattern, term.keys, reason))
                return fail(reason);
        } else {
            term.kind = Term::Ids;
            for (QString item : token.split(QLatin1Char(','))) {
                IdRange range{};
                range.excluded = item.startsWith(QLatin1Char('!'));
                if (range.excluded)
                    item = item.mid(1);
                const int dash = item.indexOf(QLatin1Char('-'));
                QString low = dash < 0 ? item : item.left(dash);
                QString high = dash < 0 ? item : item.mid(dash + 1);
                for (QString *end : {&low, &high}) {
                    if (end->endsWith(QLatin1Char('x'), Qt::CaseInsensitive)
                        && end->compare(QLatin1String("0x"), Qt::CaseInsensitive) != 0) {
                        range.extendedOnly = true;
                        end->chop(1);
                    }
                }
                if (!identifierOf(low, range.low) || !identifierOf(high, range.high)
                    || range.low > range.high)
                    return fail(tr("'%1' is neither an identifier, a range of them nor a word "
                                   "of the filter (ch, rx, tx, fd, classic, remote, t, data, "
                                   "name)")
                                    .arg(token));
                term.ranges.push_back(range);
            }
        }
        filter.terms.push_back(std::move(term));
    }
    return filter;
}

bool FrameFilter::holds(const Term &term, const Vemi_CANFD_Data &frame, uint64_t origin)
{
    switch (term.kind) {
    case Term::Ids: {
        const uint32_t id = frame.identifier();
        bool anyIncluded = false;
        bool included = false;
        for (const IdRange &range : term.ranges) {
            const bool inside = id >= range.low && id <= range.high
                                && (!range.extendedOnly || frame.isExtended());
            if (range.excluded) {
                if (inside)
                    return false;
            } else {
                anyIncluded = true;
                included = included || inside;
            }
        }
        return !anyIncluded || included;
    }
    case Term::Channels:
        return std::find(term.channels.begin(), term.channels.end(), int(frame.channel))
               != term.channels.end();
    case Term::Sent: return frame.isSent();
    case Term::Received: return !frame.isSent();
    case Term::Fd: return frame.protocol() != Vemi_CANFD_Data::ProtocolCan;
    case Term::Classic: return frame.protocol() == Vemi_CANFD_Data::ProtocolCan;
    case Term::Remote: return frame.isRemote();
    case Term::Time: {
        if (frame.timestamp < origin)
            return term.fromMicros == 0;
        const uint64_t since = frame.timestamp - origin;
        return since >= term.fromMicros && since <= term.untilMicros;
    }
    case Term::Data: {
        if (frame.length < term.bytes.size())
            return false;
        for (std::size_t i = 0; i < term.bytes.size(); ++i) {
            if (term.bytes[i] >= 0 && frame.data[i] != term.bytes[i])
                return false;
        }
        return true;
    }
    case Term::Names:
        return term.keys.count(key(frame.identifier(), frame.isExtended())) != 0;
    }
    return false;
}

bool FrameFilter::matches(const Vemi_CANFD_Data &frame, uint64_t origin) const
{
    for (const Term &term : terms) {
        if (!holds(term, frame, origin))
            return false;
    }
    return true;
}

std::vector<uint32_t> FrameFilter::select(const FrameSnapshot &frames,
                                          const std::atomic<bool> *cancel, int first) const
{
    std::vector<uint32_t> rows;
    if (frames.isEmpty())
        return rows;
    const uint64_t origin = frames.timestampAt(0);
    Vemi_CANFD_Data scratch;
    for (int i = std::max(first, 0); i < frames.size(); ++i) {
        if ((i & 0xFFFF) == 0 && cancel && cancel->load(std::memory_order_relaxed))
            break;
        if (matches(frames.frameAt(i, scratch), origin))
            rows.push_back(uint32_t(i));
    }
    return rows;
}
