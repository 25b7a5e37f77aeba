#include "blfreader.h"

#include <algorithm>
#include <cstring>

#include "littleendian.h"
#include "objectlayout.h"

namespace binlog {

bool BlfReader::open(const char *path)
{
    file.open(path, std::ios::in | std::ios::binary);
    if (!file.is_open())
        return false;
    uint8_t bytes[FileHeader::Size];
    file.read(reinterpret_cast<char *>(bytes), sizeof bytes);
    if (!fileHeader.decode(bytes, std::size_t(file.gcount())))
        return false;
    stream = std::make_unique<PrefetchStream>(
        std::make_unique<ContainerStream>(file, fileHeader.dataOffset()));
    return true;
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
                return false;
            continue;
        }
        const std::size_t offset = ObjectLayout::findSignature(at(), available());
        if (offset == available()) {
            head = buffer.size() - 3; // a signature may begin in the last three bytes
            if (more() == Fill::End)
                return false;
            continue;
        }
        head += offset;
        filled = fill(ObjectLayout::BaseHeaderSize);
        if (filled != Fill::Ok) {
            if (filled == Fill::End)
                return false;
            continue;
        }
        const VBLObjectHeaderBase base = ObjectLayout::decodeBase(at());
        const bool sane = base.mHeaderSize >= ObjectLayout::BaseHeaderSize
                          && base.mObjectSize >= base.mHeaderSize
                          && base.mObjectSize <= ObjectLayout::MaxObjectSize;
        filled = sane ? fill(base.mObjectSize) : Fill::End;
        if (filled == Fill::Gap)
            continue; // the object's tail went with a skipped container
        if (filled == Fill::End) {
            // Damaged sizes, or an object the stream ends inside: resynchronise.
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
