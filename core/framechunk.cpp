#include "framechunk.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "decimaltext.h"

namespace {

constexpr uint64_t MicrosPerMilli = 1000;
constexpr uint64_t MicrosPerDay = 86400ull * 1000 * 1000;
// Ten digits of seconds.
constexpr uint64_t PaddedLimit = 10000000000ull * 1000 * 1000;

std::size_t textLength(const Vemi_CANFD_Data &frame)
{
    const void *end = std::memchr(frame.timeText, 0, sizeof frame.timeText);
    return end ? std::size_t(static_cast<const char *>(end) - frame.timeText)
               : sizeof frame.timeText;
}

bool allZero(const void *bytes, std::size_t size)
{
    // Eight bytes at a time: this runs over most of every record appended.
    const auto *at = static_cast<const uint8_t *>(bytes);
    uint64_t seen = 0;
    for (; size >= 8; at += 8, size -= 8) {
        uint64_t word;
        std::memcpy(&word, at, 8);
        seen |= word;
    }
    for (; size > 0; ++at, --size)
        seen |= *at;
    return seen == 0;
}

// Whether the record is what a reader makes: nothing beyond the payload and the
// time text, and the reserved members 0. Only such a record is taken apart.
bool isPlain(const Vemi_CANFD_Data &frame, std::size_t textSize)
{
    return frame.length <= Vemi_CANFD_Data::MaxDataLength && frame.reserved1 == 0
           && allZero(frame.reserved2, sizeof frame.reserved2)
           && allZero(frame.data + frame.length, Vemi_CANFD_Data::MaxDataLength - frame.length)
           && textSize < Vemi_CANFD_Data::TimeTextSize
           && allZero(frame.timeText + textSize, Vemi_CANFD_Data::TimeTextSize - textSize);
}

} // namespace

FrameChunk::FrameChunk(int capacity)
    : FrameChunk(capacity, std::size_t(capacity) * sizeof(Vemi_CANFD_Data))
{
}

FrameChunk::FrameChunk(int capacity, std::size_t byteRoom)
    : entries(new Entry[std::size_t(capacity)])
    , store(static_cast<uint8_t *>(std::malloc(std::max<std::size_t>(byteRoom, 1))))
    , room(capacity)
    , storeRoom(byteRoom)
{
    if (!store)
        throw std::bad_alloc();
}

FrameChunk::~FrameChunk() = default;

void FrameChunk::Free::operator()(uint8_t *bytes) const
{
    std::free(bytes);
}

std::size_t FrameChunk::bytes() const
{
    return sizeof *this + std::size_t(room) * sizeof(Entry) + storeRoom;
}

std::size_t FrameChunk::openBytes(int capacity)
{
    return sizeof(FrameChunk) + std::size_t(capacity) * (sizeof(Entry) + sizeof(Vemi_CANFD_Data));
}

int FrameChunk::makeTime(Time kind, uint64_t timestamp, Previous previous, char *text)
{
    switch (kind) {
    case Time::Seconds:
        if (timestamp >= DecimalText::ExactSecondsLimit)
            return -1;
        return DecimalText::writeSeconds(timestamp, text);
    case Time::Gap: {
        // The first frame of a file shows no gap.
        const uint64_t gap = previous.exists ? timestamp - previous.timestamp : 0;
        if (previous.exists && (timestamp < previous.timestamp
                                || gap >= DecimalText::ExactSecondsLimit))
            return -1;
        return DecimalText::writeSeconds(gap, text);
    }
    case Time::Clock:
        if (timestamp % MicrosPerMilli != 0 || timestamp >= MicrosPerDay)
            return -1;
        DecimalText::writeClock(int(timestamp / MicrosPerMilli), text);
        return DecimalText::ClockSize;
    case Time::Padded: {
        if (timestamp >= PaddedLimit)
            return -1;
        // The seconds in ten digits, zeros in front.
        char seconds[DecimalText::MaxSize];
        const int size = DecimalText::writeSeconds(timestamp, seconds);
        const int padding = 17 - size;
        std::memset(text, '0', std::size_t(padding));
        std::memcpy(text + padding, seconds, std::size_t(size));
        return 17;
    }
    default:
        return -1;
    }
}

FrameChunk::Time FrameChunk::timeOf(const Vemi_CANFD_Data &frame, Previous previous, Time hint)
{
    const std::size_t size = textLength(frame);
    if (size == 0)
        return Time::Empty;
    char text[DecimalText::MaxSize];
    auto remakes = [&](Time kind) {
        const int made = makeTime(kind, frame.timestamp, previous, text);
        return made == int(size) && std::memcmp(text, frame.timeText, size) == 0;
    };
    // Any kind that gives the text back gives the same text when read.
    if (remakes(hint))
        return hint;
    for (Time kind : {Time::Seconds, Time::Gap, Time::Clock, Time::Padded}) {
        if (kind != hint && remakes(kind))
            return kind;
    }
    return Time::Stored;
}

void FrameChunk::append(const Vemi_CANFD_Data &frame, Previous previous)
{
    Entry &entry = entries[used];
    entry.timestamp = frame.timestamp;
    entry.id = frame.id;
    entry.offset = uint32_t(storeUsed);
    entry.length = frame.length;
    entry.errorFlags = frame.errorFlags;
    entry.channel = frame.channel;
    entry.flags = frame.flags;
    entry.textSize = 0;
    entry.unused = 0;
    const std::size_t textSize = textLength(frame);
    if (!isPlain(frame, textSize)) {
        entry.time = Time::Whole;
        std::memcpy(store.get() + storeUsed, &frame, sizeof frame);
        storeUsed += sizeof frame;
    } else {
        entry.time = timeOf(frame, previous, lastTime);
        if (entry.time != Time::Stored && entry.time != Time::Empty)
            lastTime = entry.time;
        std::memcpy(store.get() + storeUsed, frame.data, frame.length);
        storeUsed += frame.length;
        if (entry.time == Time::Stored) {
            entry.textSize = uint8_t(textSize);
            std::memcpy(store.get() + storeUsed, frame.timeText, textSize);
            storeUsed += textSize;
        }
    }
    ++used;
}

void FrameChunk::shrink()
{
    // Shrinking in place cannot fail in practice; if it did, the reserve stays.
    const std::size_t size = std::max<std::size_t>(storeUsed, 1);
    if (void *smaller = std::realloc(store.get(), size)) {
        (void)store.release();
        store.reset(static_cast<uint8_t *>(smaller));
        storeRoom = size;
    }
}

std::shared_ptr<FrameChunk> FrameChunk::sealed() const
{
    std::shared_ptr<FrameChunk> copy(new FrameChunk(used, storeUsed));
    std::memcpy(copy->entries.get(), entries.get(), std::size_t(used) * sizeof(Entry));
    std::memcpy(copy->store.get(), store.get(), storeUsed);
    copy->used = used;
    copy->storeUsed = storeUsed;
    return copy;
}

void FrameChunk::readPayload(int index, Vemi_CANFD_Data &frame) const
{
    const Entry &entry = entries[index];
    const uint8_t *bytes = store.get() + entry.offset;
    if (entry.time == Time::Whole) {
        std::memcpy(static_cast<void *>(&frame), bytes, sizeof frame);
        return;
    }
    frame.id = entry.id;
    frame.length = entry.length;
    frame.errorFlags = entry.errorFlags;
    frame.channel = entry.channel;
    frame.flags = entry.flags;
    frame.timestamp = entry.timestamp;
    std::memcpy(frame.data, bytes, entry.length);
}

void FrameChunk::read(int index, Previous previous, Vemi_CANFD_Data &frame) const
{
    const Entry &entry = entries[index];
    if (entry.time == Time::Whole) {
        readPayload(index, frame);
        return;
    }
    std::memset(static_cast<void *>(&frame), 0, sizeof frame);
    readPayload(index, frame);
    if (entry.time == Time::Stored) {
        frame.setTimeText(reinterpret_cast<const char *>(store.get() + entry.offset
                                                         + entry.length),
                          entry.textSize);
    } else if (entry.time != Time::Empty) {
        char text[DecimalText::MaxSize];
        const int size = makeTime(entry.time, entry.timestamp, previous, text);
        frame.setTimeText(text, std::size_t(size));
    }
}
