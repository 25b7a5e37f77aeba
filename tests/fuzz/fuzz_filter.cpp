// libFuzzer target: the filter language over arbitrary text, as typed into the
// filter line or given to --filter. Text either parses or gives a reason; a
// filter that parses picks from a fixed set of varied frames exactly the
// frames it matches one by one.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <QString>
#include <QVector>

#include "framefilter.h"
#include "framesnapshot.h"

namespace {

void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "filter contract broken: %s\n", what);
        std::abort();
    }
}

// Frames on both sides of every term: identifiers at the edges, both types,
// four channels, both directions, every protocol, remote frames, lengths up
// to 64, times from before the first frame's on.
const QVector<Vemi_CANFD_Data> &frames()
{
    static const QVector<Vemi_CANFD_Data> all = [] {
        static const uint32_t ids[] = {0x0, 0x7DF, 0x100, 0x7FF, 0x18DA00F1, 0x1FFFFFFF};
        QVector<Vemi_CANFD_Data> made;
        for (int i = 0; i < 96; ++i) {
            Vemi_CANFD_Data frame;
            frame.id = ids[i % 6] | (i % 4 == 1 ? Vemi_CANFD_Data::ExtendedBit : 0)
                       | (i % 11 == 0 ? Vemi_CANFD_Data::RemoteBit : 0);
            frame.channel = uint8_t(i % 4);
            frame.setDirection(uint8_t(i % 3 == 0));
            frame.setProtocol(uint8_t(i % 4));
            frame.length = uint8_t((i * 7) % 65);
            for (int b = 0; b < frame.length; ++b)
                frame.data[b] = uint8_t(i + b * 3);
            frame.timestamp = 5000000 + uint64_t(i) * 250000 - (i == 3 ? 5000000 : 0);
            made << frame;
        }
        return made;
    }();
    return all;
}

bool names(const QString &pattern, std::unordered_set<uint64_t> &keys, QString &error)
{
    if (pattern.startsWith(QLatin1Char('?'))) {
        error = QStringLiteral("no such message");
        return false;
    }
    keys.insert(FrameFilter::key(0x100, false));
    keys.insert(FrameFilter::key(uint32_t(pattern.size()), pattern.size() % 2 == 1));
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    for (const bool withNames : {false, true}) {
        const FrameFilter filter =
            FrameFilter::parse(text, withNames ? FrameFilter::NameMatcher(names)
                                               : FrameFilter::NameMatcher());
        require(filter.isValid() == filter.error().isEmpty(), "valid with a reason");
        if (!filter.isValid()) {
            require(filter.isEmpty(), "a text that failed kept terms");
            continue;
        }
        const FrameSnapshot snapshot(frames());
        const std::vector<uint32_t> rows = filter.select(snapshot);
        const uint64_t origin = frames().first().timestamp;
        std::size_t next = 0;
        for (int i = 0; i < frames().size(); ++i) {
            const bool match = filter.matches(frames().at(i), origin);
            require(!filter.isEmpty() || match, "an empty filter left a frame out");
            if (!match)
                continue;
            require(next < rows.size() && rows[next] == uint32_t(i), "select and matches differ");
            ++next;
        }
        require(next == rows.size(), "select picked a frame that does not match");
        const std::vector<uint32_t> later = filter.select(snapshot, nullptr, 40);
        require(later.size() <= rows.size() && (later.empty() || later.front() >= 40),
                "a later start picked earlier frames");
    }
    return 0;
}
