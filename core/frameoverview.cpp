#include "frameoverview.h"

#include <algorithm>

#include <QStringList>

namespace {

QString seconds(int64_t micros)
{
    return QString::number(double(micros) / 1e6, 'f', 6);
}

} // namespace

QString OverviewRow::lengthsText() const
{
    QStringList seen;
    for (int length = 0; length <= Vemi_CANFD_Data::MaxDataLength; ++length) {
        if (lengths[length / 64] & (uint64_t(1) << (length % 64)))
            seen << QString::number(length);
    }
    return seen.join(QStringLiteral(", "));
}

QString OverviewRow::identifierText() const
{
    return QString::number(identifier, 16).toUpper() + (extended ? QStringLiteral("x") : QString());
}

void FrameOverview::add(const Vemi_CANFD_Data &frame)
{
    if (!any) {
        start = frame.timestamp;
        any = true;
    }
    const uint64_t key = uint64_t(frame.identifier()) | (frame.isExtended() ? 1ull << 29 : 0)
                         | uint64_t(frame.channel) << 32;
    const auto [found, added] = index.try_emplace(key, table.size());
    if (added) {
        OverviewRow row;
        row.identifier = frame.identifier();
        row.extended = frame.isExtended();
        row.channel = frame.channel;
        row.first = frame.timestamp;
        table.push_back(row);
    }
    OverviewRow &row = table[found->second];
    if (row.count > 0) {
        const int64_t gap = int64_t(frame.timestamp - row.last);
        row.minPeriod = row.count == 1 ? gap : std::min(row.minPeriod, gap);
        row.maxPeriod = row.count == 1 ? gap : std::max(row.maxPeriod, gap);
    }
    row.last = frame.timestamp;
    ++row.count;
    const int length = std::min<int>(frame.length, Vemi_CANFD_Data::MaxDataLength);
    row.lengths[length / 64] |= uint64_t(1) << (length % 64);
    if (frame.isSent())
        ++row.sent;
    else
        ++row.received;
}

std::vector<OverviewRow> FrameOverview::rows() const
{
    std::vector<OverviewRow> sorted = table;
    std::sort(sorted.begin(), sorted.end(), [](const OverviewRow &a, const OverviewRow &b) {
        if (a.extended != b.extended)
            return !a.extended;
        if (a.identifier != b.identifier)
            return a.identifier < b.identifier;
        return a.channel < b.channel;
    });
    return sorted;
}

FrameOverview FrameOverview::of(const FrameSnapshot &frames,
                                const std::function<void(int percent)> &progress,
                                const std::atomic<bool> *cancel)
{
    FrameOverview overview;
    Vemi_CANFD_Data scratch;
    int percent = 0;
    const int size = frames.size();
    for (int i = 0; i < size; ++i) {
        if ((i & 0xFFFF) == 0) {
            if (cancel && cancel->load(std::memory_order_relaxed))
                break;
            const int now = int(int64_t(i) * 100 / size);
            if (progress && now > percent)
                progress(percent = now);
        }
        overview.add(frames.frameAt(i, scratch));
    }
    return overview;
}

QString FrameOverview::csv() const
{
    QString text = QStringLiteral("identifier,channel,count,lengths,first s,last s,"
                                  "min period s,mean period s,max period s,rx,tx\n");
    for (const OverviewRow &row : rows()) {
        const bool periodic = row.count > 1;
        text += row.identifierText() + QLatin1Char(',') + QString::number(row.channel)
                + QLatin1Char(',') + QString::number(row.count) + QStringLiteral(",\"")
                + row.lengthsText() + QStringLiteral("\",")
                + seconds(int64_t(row.first - start)) + QLatin1Char(',')
                + seconds(int64_t(row.last - start)) + QLatin1Char(',')
                + (periodic ? seconds(row.minPeriod) : QString()) + QLatin1Char(',')
                + (periodic ? QString::number(row.meanPeriod() / 1e6, 'f', 6) : QString())
                + QLatin1Char(',') + (periodic ? seconds(row.maxPeriod) : QString())
                + QLatin1Char(',') + QString::number(row.received) + QLatin1Char(',')
                + QString::number(row.sent) + QLatin1Char('\n');
    }
    return text;
}
