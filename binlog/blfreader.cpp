#include "blfreader.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "littleendian.h"
#include "objectlayout.h"

namespace binlog {

bool BlfReader::open(const char *path)
{
    file.open(path, std::ios::in | std::ios::binary);
    if (!file.is_open())
        return false;
    // A pipe has no size: its progress is not known.
    std::error_code failed;
    const std::uintmax_t length = std::filesystem::file_size(path, failed);
    bytesInFile = failed ? 0 : uint64_t(length);
    uint8_t bytes[FileHeader::Size];
    file.read(reinterpret_cast<char *>(bytes), sizeof bytes);
    if (!fileHeader.decode(bytes, std::size_t(file.gcount())))
        return false;
    stream = std::make_unique<PrefetchStream>(
        std::make_unique<ContainerStream>(file, fileHeader.dataOffset()));
    return true;
}

uint64_t BlfReader::position() const
{
    const uint64_t reached = stream ? stream->position() : 0;
    return bytesInFile > 0 ? std::min(reached, bytesInFile) : reached;
}

bool BlfReader::peek(VBLObjectHeaderBase &base)
{
    if (!frame())
        return false;
    base = current.mBase;
    return true;
}

bool BlfReader::read(uint8_t *target, std::size_t size)
{
    if (size < sizeof(VBLObjectHeader) || !frame())
        return false;
    std::memcpy(target, &current, sizeof current);
    const std::size_t body = std::min<std::size_t>(size - sizeof current,
                                                   currentSize - currentHeaderSize);
    ObjectLayout::bodyFromFile(current.mBase.mObjectType, at() + currentHeaderSize,
                               target + sizeof current, body);
    // What the object does not fill stays zero.
    std::memset(target + sizeof current + body, 0, size - sizeof current - body);
    consume();
    return true;
}

bool BlfReader::skip()
{
    if (!frame())
        return false;
    consume();
    return true;
}

void BlfReader::consume()
{
    head += currentSize;
    framed = false;
}

bool BlfReader::frame()
{
    if (framed)
        return true;
    if (!stream)
        return false;
    // The usual case: a well-formed object starts right here and is all there.
    if (available() >= ObjectLayout::V1HeaderSize
        && LittleEndian::get32(at()) == BL_OBJ_SIGNATURE) {
        const VBLObjectHeaderBase base = ObjectLayout::decodeBase(at());
        if (base.mHeaderSize >= ObjectLayout::BaseHeaderSize
            && base.mObjectSize >= base.mHeaderSize
            && base.mObjectSize <= ObjectLayout::MaxObjectSize && base.mObjectSize <= available()
            && ObjectLayout::presentHeader(at(), current)) {
            currentSize = base.mObjectSize;
            currentHeaderSize = base.mHeaderSize;
            framed = true;
            return true;
        }
    }
    for (;;) {
        Fill filled = fill(4);
        if (filled != Fill::Ok) {
            if (filled == Fill::End)
                return endOfStream();
            continue;
        }
        const std::size_t offset = ObjectLayout::findSignature(at(), available());
        if (offset == available()) {
            noteSkipped(available() - 3);
            head = buffer.size() - 3; // a signature may begin in the last three bytes
            if (more() == Fill::End)
                return endOfStream();
            continue;
        }
        noteSkipped(offset);
        head += offset;
        filled = fill(ObjectLayout::BaseHeaderSize);
        if (filled != Fill::Ok) {
            if (filled == Fill::End)
                return endOfStream();
            continue;
        }
        const VBLObjectHeaderBase base = ObjectLayout::decodeBase(at());
        const bool sane = base.mHeaderSize >= ObjectLayout::BaseHeaderSize
                          && base.mObjectSize >= base.mHeaderSize
                          && base.mObjectSize <= ObjectLayout::MaxObjectSize;
        filled = sane ? fill(base.mObjectSize) : Fill::End;
        if (filled == Fill::Gap) {
            damage = true;
            continue; // the object's tail went with a skipped container
        }
        if (filled == Fill::End) {
            // Damaged sizes, or an object the stream ends inside: resynchronise.
            damage = true;
            head += 4;
            continue;
        }
        if (ObjectLayout::presentHeader(at(), current)) {
            currentSize = base.mObjectSize;
            currentHeaderSize = base.mHeaderSize;
            framed = true;
            return true;
        }
        head += base.mObjectSize; // a header version we cannot present
    }
}

void BlfReader::noteSkipped(std::size_t count)
{
    // Up to three zero bytes pad an object; anything else is a cut or
    // damaged one.
    damage = damage || count > 3
             || std::any_of(at(), at() + count, [](uint8_t b) { return b != 0; });
}

bool BlfReader::endOfStream()
{
    // Bytes left over that hold no whole object are the start of one that
    // was cut.
    noteSkipped(available());
    return false;
}

BlfReader::Fill BlfReader::fill(std::size_t size)
{
    while (available() < size) {
        const Fill pulled = more();
        if (pulled != Fill::Ok)
            return pulled;
    }
    return Fill::Ok;
}

BlfReader::Fill BlfReader::more()
{
    // Drop what was consumed, so each byte is moved at most while one object
    // waits for the rest of its bytes.
    if (head > 0) {
        buffer.erase(buffer.begin(), buffer.begin() + std::ptrdiff_t(head));
        head = 0;
    }
    switch (stream->pull(buffer)) {
    case ContainerStream::Pull::Data:
        return Fill::Ok;
    case ContainerStream::Pull::Gap:
        buffer.clear(); // a partial object cannot be completed across the gap
        return Fill::Gap;
    case ContainerStream::Pull::End:
        break;
    }
    return Fill::End;
}

} // namespace binlog
