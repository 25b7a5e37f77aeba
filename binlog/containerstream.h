#pragma once

// The inner object stream of a BLF file: walks the top-level objects from the
// end of the file header, opens each log container, and hands out its payload
// in slices, inflating as it goes. A compressed container inflates in one call
// to libdeflate when it inflates to exactly the size its header states and
// that size is small; any other one, damaged or cut ones among them, streams
// through zlib from its start. No more than one slice is produced at a time,
// whatever sizes the file states.

#include <cstdint>
#include <istream>
#include <vector>

#include <zlib.h>

struct libdeflate_decompressor;

namespace binlog {

class ContainerStream final
{
public:
    enum class Pull {
        Data, // bytes were appended
        Gap,  // a container was skipped: what follows does not continue what came before
        End,  // end of file, read error or damaged compressed data
    };

    ContainerStream(std::istream &file, uint64_t firstObject);
    ~ContainerStream();
    ContainerStream(const ContainerStream &) = delete;
    ContainerStream &operator=(const ContainerStream &) = delete;

    // Appends the next slice of the stream (at most one container's worth) to out.
    Pull pull(std::vector<uint8_t> &out);

    // How far into the file the stream has read.
    uint64_t position() const { return payloadOffset > next ? payloadOffset : next; }
    // The stream met a cut or damaged container, or bytes between containers
    // that are more than padding.
    bool damaged() const { return damage; }

private:
    enum class Open { Container, Skipped, End };

    Open openNext();
    bool seekSignature();
    std::size_t readAt(uint64_t offset, uint8_t *to, std::size_t size);
    std::size_t readPayload(uint8_t *to, std::size_t size);
    std::size_t pullStored(std::vector<uint8_t> &out);
    std::size_t pullWhole(std::vector<uint8_t> &out);
    std::size_t pullCompressed(std::vector<uint8_t> &out);

    std::istream &file;
    uint64_t next;           // file offset of the next top-level object
    uint64_t payloadOffset = 0;
    uint64_t payloadLeft = 0; // payload bytes of the open container not yet read
    bool open = false;
    bool compressed = false;
    uint32_t statedSize = 0; // of the open container; 0 once the whole-container path is out
    bool ended = false;
    bool damage = false;
    z_stream zlib{};
    bool zlibReady = false;
    libdeflate_decompressor *inflater = nullptr;
    std::vector<uint8_t> input; // compressed bytes read, not yet inflated
};

} // namespace binlog
