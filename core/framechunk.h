#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "vemi_canfd_data.h"

// A run of frames kept in the bytes they need: a 24-byte entry each for the
// fixed fields, and beside the entries the payload bytes and, where it cannot
// be made again from the times, the time text. A record that would not come
// back byte for byte that way is kept whole.
//
// An open chunk has room for its frames reserved once; nothing in it ever
// moves, so a snapshot may read the frames it holds on another thread while
// later ones are appended behind them. A full chunk is sealed into an exact
// copy that gives the reserve back.
class FrameChunk final
{
public:
    // What the store knows of the frame before the one appended or read: the
    // BLF reader's time text is the gap to it.
    struct Previous
    {
        bool exists;
        uint64_t timestamp;
    };

    explicit FrameChunk(int capacity);
    ~FrameChunk();
    FrameChunk(const FrameChunk &) = delete;
    FrameChunk &operator=(const FrameChunk &) = delete;

    int size() const { return used; }
    bool isFull() const { return used == room; }
    // Bytes allocated for the chunk.
    std::size_t bytes() const;
    // The most bytes an open chunk of capacity frames allocates.
    static std::size_t openBytes(int capacity);

    void append(const Vemi_CANFD_Data &frame, Previous previous);
    // An exact copy of a full chunk, without the reserve.
    std::shared_ptr<FrameChunk> sealed() const;
    // Gives the reserve of a full chunk back in place; only for a chunk
    // nobody else reads, as its bytes may move.
    void shrink();

    // The whole record.
    void read(int index, Previous previous, Vemi_CANFD_Data &frame) const;
    // Every field a writer reads - all but the time text, which is left as it
    // was - into a record used before: the cheap way through a whole log.
    void readPayload(int index, Vemi_CANFD_Data &frame) const;

    uint32_t idWord(int index) const { return entries[index].id; }
    uint64_t timestamp(int index) const { return entries[index].timestamp; }
    const void *address(int index) const { return &entries[index]; }

private:
    // How a frame's time text is kept.
    enum class Time : uint8_t {
        Empty,   // no text
        Seconds, // "%.6f" of the timestamp in seconds, as our ASC writer writes times
        Gap,     // "%.6f" of the seconds since the previous frame, as the BLF reader makes it
        Clock,   // "HH:mm:ss:zzz" of the timestamp, as our CSV writer writes times
        Padded,  // "%010llu.%06llu" of the timestamp, as candump writes times
        Stored,  // as written, beside the payload
        Whole    // the record is stored whole beside the entries
    };

    struct Entry
    {
        uint64_t timestamp;
        uint32_t id;
        uint32_t offset; // of the frame's bytes in the chunk's byte store
        uint8_t length;
        uint8_t errorFlags;
        uint8_t channel;
        uint8_t flags;
        Time time;
        uint8_t textSize;
        uint16_t unused;
    };
    static_assert(sizeof(Entry) == 24, "an entry is 24 bytes");

    FrameChunk(int capacity, std::size_t byteRoom);
    // hint: the kind found for the frame before, tried first (a log writes
    // all its times one way).
    static Time timeOf(const Vemi_CANFD_Data &frame, Previous previous, Time hint);
    static int makeTime(Time kind, uint64_t timestamp, Previous previous, char *text);

    struct Free
    {
        void operator()(uint8_t *bytes) const;
    };

    std::unique_ptr<Entry[]> entries;
    // From malloc, so that shrink() can give the reserve back without a copy.
    std::unique_ptr<uint8_t, Free> store;
    int room;
    std::size_t storeRoom;
    int used = 0;
    std::size_t storeUsed = 0;
    Time lastTime = Time::Seconds;
};
