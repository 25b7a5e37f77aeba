#include "logcontainer.h"

#include <algorithm>

#include "binlog.h"
#include "littleendian.h"
#include "objectlayout.h"

namespace binlog {

void LogContainer::encodeHeader(uint8_t *header, uint64_t objectSize, uint16_t method,
                                uint32_t size)
{
    VBLObjectHeaderBase base{};
    base.mSignature = BL_OBJ_SIGNATURE;
    base.mHeaderSize = WORD(ObjectLayout::BaseHeaderSize);
    base.mHeaderVersion = 1;
    base.mObjectSize = DWORD(objectSize);
    base.mObjectType = BL_OBJ_TYPE_LOG_CONTAINER;
    ObjectLayout::encodeBase(base, header);
    uint8_t *fields = header + ObjectLayout::BaseHeaderSize;
    std::fill(fields, header + HeaderSize, uint8_t(0));
    LittleEndian::put16(fields, method);
    LittleEndian::put32(fields + 8, size);
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
