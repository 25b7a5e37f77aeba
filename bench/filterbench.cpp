#include "filterbench.h"

#include <QElapsedTimer>

#include "framefilter.h"
#include "frameoverview.h"
#include "framestore.h"

namespace {

// The store is made once for every round of both rows: it is what the
// window holds, not what is timed.
FrameSnapshot stored(const QVector<Vemi_CANFD_Data> &frames)
{
    static FrameStore *store = nullptr;
    if (!store) {
        store = new FrameStore;
        store->append(frames);
    }
    return store->snapshot();
}

template<typename Work>
Measurement timed(const QVector<Vemi_CANFD_Data> &frames, Work work)
{
    const FrameSnapshot snapshot = stored(frames);
    Measurement result;
    QElapsedTimer timer;
    timer.start();
    result.ok = work(snapshot);
    result.seconds = double(timer.nsecsElapsed()) / 1e9;
    result.frames = snapshot.size();
    result.ok = result.ok && snapshot.size() == frames.size();
    return result;
}

} // namespace

Measurement FilterBench::filter(const QVector<Vemi_CANFD_Data> &frames)
{
    const FrameFilter filter =
        FrameFilter::parse(QStringLiteral("100-3FF,18DA0000-18DAFFFFx ch 1 t 0.5-"));
    return timed(frames, [&filter](const FrameSnapshot &snapshot) {
        return filter.isValid() && !filter.select(snapshot).empty();
    });
}

Measurement FilterBench::overview(const QVector<Vemi_CANFD_Data> &frames)
{
    return timed(frames, [](const FrameSnapshot &snapshot) {
        return !FrameOverview::of(snapshot).rows().empty();
    });
}
