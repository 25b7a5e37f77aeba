#include "filterbench.h"

#include <QElapsedTimer>

#include "framefilter.h"
#include "frameoverview.h"
#include "framestore.h"

namespace {

// The corpus's frames as a bus carries them: the corpus draws extended
// identifiers from all 2^29 (a quarter of its frames, so millions of
// identifiers, each seen once or twice) and leaves channels at 0; a bus log
// has at most a few thousand identifiers on a few channels, which is what an
// overview is for. Standard identifiers stay; extended ones fold into 1024,
// and frames go round channels 1 to 4.
void likeABus(QVector<Vemi_CANFD_Data> &batch, int first)
{
    for (int i = 0; i < batch.size(); ++i) {
        Vemi_CANFD_Data &frame = batch[i];
        if (frame.isExtended())
            frame.id = (frame.id & ~Vemi_CANFD_Data::IdMask) | 0x18DA0000u | (frame.id & 0x3FFu);
        frame.channel = uint8_t((first + i) % 4 + 1);
    }
}

// The store is made once for every round of both rows: it is what the
// window holds, not what is timed.
FrameSnapshot stored(const QVector<Vemi_CANFD_Data> &frames)
{
    static FrameStore *store = nullptr;
    if (!store) {
        store = new FrameStore;
        constexpr int Batch = 65536;
        for (int first = 0; first < frames.size(); first += Batch) {
            QVector<Vemi_CANFD_Data> batch = frames.mid(first, Batch);
            likeABus(batch, first);
            store->append(batch);
        }
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
        FrameFilter::parse(QStringLiteral("100-3FF,18DA0000-18DA00FFx ch 1 t 0.5-"));
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
