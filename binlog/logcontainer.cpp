#include "logcontainer.h"

#include <algorithm>

#include <zlib.h>

#include "binlog.h"
#include "littleendian.h"
#include "objectlayout.h"

namespace binlog {

std::vector<uint8_t> LogContainer::encode(const uint8_t *data, std::size_t size, int level)
{
    const bool stored = level == 0;
    const std::size_t capacity = stored ? size : std::size_t(compressBound(uLong(size)));
    std::vector<uint8_t> container(HeaderSize + capacity + 3, 0);
    std::size_t payloadSize = size;
    if (stored) {
        if (size > 0)
            std::copy(data, data + size, container.begin() + HeaderSize);
    } else {
        uLongf written = uLongf(capacity);
        if (compress2(container.data() + HeaderSize, &written, data, uLong(size), level) != Z_OK)
            return {};
        payloadSize = written;
    }

    const uint64_t objectSize = HeaderSize + payloadSize;
    VBLObjectHeaderBase base{};
    base.mSignature = BL_OBJ_SIGNATURE;
    base.mHeaderSize = WORD(ObjectLayout::BaseHeaderSize);
    base.mHeaderVersion = 1;
    base.mObjectSize = DWORD(objectSize);
    base.mObjectType = BL_OBJ_TYPE_LOG_CONTAINER;
    ObjectLayout::encodeBase(base, container.data());
    uint8_t *fields = container.data() + ObjectLayout::BaseHeaderSize;
    LittleEndian::put16(fields, stored ? MethodStored : MethodZlib);
    LittleEndian::put32(fields + 8, uint32_t(size));

    // Zero-filled above, so shrinking leaves exactly the padding bytes.
    container.resize(objectSize + padding(objectSize));
    return container;
}

uint16_t LogContainer::method(const uint8_t *header)
{
    return LittleEndian::get16(header + ObjectLayout::BaseHeaderSize);
}

uint32_t LogContainer::uncompressedSize(const uint8_t *header)
{
    return LittleEndian::get32(header + ObjectLayout::BaseHeaderSize + 8);
}

} // namespace binlog
