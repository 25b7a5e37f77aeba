#include "containerencoder.h"

#include <algorithm>

#include <libdeflate.h>

#include "logcontainer.h"

namespace binlog {

ContainerEncoder::ContainerEncoder(int compressionLevel)
    : level(compressionLevel)
{
}

ContainerEncoder::~ContainerEncoder()
{
    libdeflate_free_compressor(compressor);
}

std::vector<uint8_t> ContainerEncoder::encode(const uint8_t *data, std::size_t size)
{
    const bool stored = level == 0;
    if (!stored && !compressor) {
        // libdeflate's levels 1 to 9 stand where zlib's do; 6 is the default of both.
        compressor = libdeflate_alloc_compressor(level);
        if (!compressor)
            return {};
    }
    const std::size_t capacity =
        stored ? size : libdeflate_zlib_compress_bound(compressor, size);
    std::vector<uint8_t> container(LogContainer::HeaderSize + capacity + 3, 0);
    std::size_t payloadSize = size;
    if (stored) {
        if (size > 0)
            std::copy(data, data + size, container.begin() + LogContainer::HeaderSize);
    } else {
        payloadSize = libdeflate_zlib_compress(compressor, data, size,
                                               container.data() + LogContainer::HeaderSize,
                                               capacity);
        if (payloadSize == 0)
            return {};
    }
    const uint64_t objectSize = LogContainer::HeaderSize + payloadSize;
    LogContainer::encodeHeader(container.data(), objectSize,
                               stored ? LogContainer::MethodStored : LogContainer::MethodZlib,
                               uint32_t(size));
    // Zero-filled above, so shrinking leaves exactly the padding bytes.
    container.resize(objectSize + LogContainer::padding(objectSize));
    return container;
}

} // namespace binlog
