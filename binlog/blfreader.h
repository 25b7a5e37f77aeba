#pragma once

// Reads the objects of a BLF file one at a time: frames each inner object in
// the container stream and presents it in version-1 form. Tolerant of padding
// of any kind, objects split across containers, damaged sizes and truncation;
// whatever cannot be framed is stepped over by scanning for the next signature.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <memory>
#include <vector>

#include "binlog.h"
#include "prefetchstream.h"
#include "fileheader.h"

namespace binlog {

class BlfReader final
{
public:
    // False unless path is a readable file that starts with "LOGG".
    bool open(const char *path);

    const FileHeader &header() const { return fileHeader; }

    // The base header of the next object, without consuming it. False at the end.
    bool peek(VBLObjectHeaderBase &base);
    // Reads the next object into size bytes at target: its header in version-1
    // form, then its body; the rest of the structure zero, a longer body cut.
    bool read(uint8_t *target, std::size_t size);
    bool skip();

    // How far into the file the objects handed out so far reach, and its size.
    // A cut container states an end past the file's; the position stops at it.
    uint64_t position() const;
    uint64_t fileSize() const { return bytesInFile; }
    // Somewhere so far the file was cut or damaged: a container, an object,
    // or bytes that had to be stepped over.
    bool damaged() const { return damage || (stream && stream->damaged()); }

private:
    enum class Fill { Ok, Gap, End };

    bool frame();
    // Bytes stepped over at head that are more than padding damage the file.
    void noteSkipped(std::size_t count);
    // Notes what the stream leaves when it ends; always false.
    bool endOfStream();
    Fill fill(std::size_t size);
    Fill more();
    void consume();
    std::size_t available() const { return buffer.size() - head; }
    const uint8_t *at() const { return buffer.data() + head; }

    std::ifstream file;
    FileHeader fileHeader;
    std::unique_ptr<PrefetchStream> stream;
    // Inner stream bytes from head on are not consumed yet.
    std::vector<uint8_t> buffer;
    std::size_t head = 0;
    // The framed next object, when framed is set.
    bool framed = false;
    bool damage = false;
    uint64_t bytesInFile = 0;
    VBLObjectHeader current{};
    uint32_t currentSize = 0;       // object size in the file
    uint32_t currentHeaderSize = 0; // header size in the file
};

} // namespace binlog
