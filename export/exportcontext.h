#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <QDateTime>
#include <QString>
#include <QVector>

#include "exportformat.h"
#include "framesnapshot.h"
#include "framestream.h"
#include "vemi_canfd_data.h"

class MessageDatabase;
class QFile;

// What the export driver prepares once per call and every writer uses. It
// lives only for the duration of one export.
struct ExportContext
{
    // The frames in writing order: positions into frames, frames as they are
    // when order is empty, or the batches of a stream as they come.
    class Sequence
    {
    public:
        class Iterator
        {
        public:
            const Vemi_CANFD_Data &operator*() const
            {
                if (stream)
                    return batch.at(batchIndex);
                return frames->frameAt(positions ? int(positions[index]) : int(index), scratch);
            }
            Iterator &operator++()
            {
                ++index;
                if (stream) {
                    ++batchIndex;
                    nextStreamed();
                    return *this;
                }
#if defined(__GNUC__)
                // Sorted, the frames are visited all over memory: ask for one
                // a little ahead while this one is written.
                if (positions && index + Ahead < count) {
                    const char *next = static_cast<const char *>(
                        frames->addressOf(int(positions[index + Ahead])));
                    __builtin_prefetch(next);
                    __builtin_prefetch(next + 64);
                }
#endif
                return *this;
            }
            bool operator!=(const Iterator &other) const
            {
                return stream ? !ended : index != other.index;
            }

        private:
            friend class Sequence;
            static constexpr std::size_t Ahead = 8;

            // Makes the stream's next frame the current one: the next batch
            // when this one is done, and an early end when the frame comes
            // before the time origin.
            void nextStreamed()
            {
                while (batchIndex >= batch.size()) {
                    batchIndex = 0;
                    if (!stream->pop(batch)) {
                        ended = true;
                        return;
                    }
                }
                if (batch.at(batchIndex).timestamp < origin) {
                    stream->setOutOfOrder();
                    stream->cancel();
                    ended = true;
                }
            }

            const FrameSnapshot *frames = nullptr;
            const uint32_t *positions = nullptr;
            std::size_t index = 0;
            std::size_t count = 0;
            // Where a frame that the snapshot keeps in another form is made.
            mutable Vemi_CANFD_Data scratch;
            FrameStream *stream = nullptr;
            QVector<Vemi_CANFD_Data> batch;
            int batchIndex = 0;
            uint64_t origin = 0;
            bool ended = false;
        };

        Iterator begin() const
        {
            Iterator it = at(0);
            if (stream)
                it.nextStreamed();
            return it;
        }
        Iterator end() const { return at(count); }

    private:
        friend struct ExportContext;
        Iterator at(std::size_t index) const
        {
            Iterator it;
            it.frames = frames;
            it.positions = positions;
            it.index = index;
            it.count = count;
            it.stream = stream;
            it.origin = origin;
            return it;
        }
        const FrameSnapshot *frames;
        const uint32_t *positions;
        std::size_t count;
        FrameStream *stream;
        uint64_t origin;
    };

    // The frames to write, in the caller's order.
    FrameSnapshot frames;
    // Sorted by identifier: the positions of the frames in writing order.
    std::vector<uint32_t> order;
    // Instead of frames: the batches of a reader on another thread, written
    // in the order they come. No frame may come before baseTimestamp.
    FrameStream *stream = nullptr;

    // Walked once: a stream's batches are taken as it goes.
    Sequence inWritingOrder() const
    {
        Sequence sequence;
        sequence.frames = &frames;
        sequence.positions = order.empty() ? nullptr : order.data();
        sequence.count = std::size_t(frames.size());
        sequence.stream = stream;
        sequence.origin = baseTimestamp;
        return sequence;
    }

    // Frame count, error entries included; 0 for a stream, whose length is
    // not known: no progress is reported then.
    int total = 0;
    // Smallest timestamp of all frames, error entries included; writers give
    // times relative to it.
    uint64_t baseTimestamp = 0;
    // Local time when the export began: the CSV writer's clock base.
    QDateTime exportStartTime;
    // Created or truncated, open for writing in text mode.
    QFile *file = nullptr;
    QString outputPath;
    // Receives each percentage the progress rule yields.
    std::function<void(int percent)> progress;
    // Message names for the CSV writer's Name column, and the signals of a
    // signal table; none: the columns stay as they are without a database.
    std::shared_ptr<const MessageDatabase> database;
    SignalTable signalTable = SignalTable::None;

    // The channel a file gets for a frame: files number buses from 1, and a
    // record from a source without channels (0, as the CSV reader makes) is on
    // the first bus.
    static uint8_t fileChannel(const Vemi_CANFD_Data &frame)
    {
        return frame.channel == 0 ? 1 : frame.channel;
    }

    // The one progress rule, applied after each frame that produced output:
    // counted frames times 100 over total, truncated. 64-bit so that millions
    // of frames cannot overflow the product.
    void reportProgress(int counted) const
    {
        if (!progress || total <= 0)
            return;
        // A division per frame costs more than the rest of the rule: the
        // percentage is worked out again only where it changes.
        if (counted < percentFrom || counted >= percentUntil) {
            percent = int(int64_t(counted) * 100 / total);
            percentFrom = (int64_t(percent) * total + 99) / 100;
            percentUntil = (int64_t(percent + 1) * total + 99) / 100;
        }
        progress(percent);
    }

private:
    // The percentage last worked out holds for counted in [from, until).
    mutable int percent = 0;
    mutable int64_t percentFrom = 0;
    mutable int64_t percentUntil = 0;
};
