#include "containerstream.h"

#include <algorithm>
#include <array>

#include <libdeflate.h>

#include "binlog.h"
#include "logcontainer.h"
#include "objectlayout.h"

namespace binlog {

namespace {

// Compressed bytes read from the file at a time.
constexpr std::size_t InputSlice = 65536;
// The largest container inflated in one call; larger ones stream. Writers cut
// at LogContainer::ChunkSize; this leaves room for those that cut later.
constexpr uint32_t WholeLimit = 8 * LogContainer::ChunkSize;
// Compressed payloads this much larger than their stated size cannot be
// whole: stored deflate blocks add 5 bytes in 65535, the zlib frame 6.
constexpr uint64_t WholeOverhead = 5 * (WholeLimit / 65535 + 1) + 6;

} // namespace

ContainerStream::ContainerStream(std::istream &source, uint64_t firstObject)
    : file(source), next(firstObject)
{
}

ContainerStream::~ContainerStream()
{
    if (zlibReady)
        inflateEnd(&zlib);
    libdeflate_free_decompressor(inflater);
}

ContainerStream::Pull ContainerStream::pull(std::vector<uint8_t> &out)
{
    while (!ended) {
        if (!open) {
            const Open opened = openNext();
            if (opened == Open::End)
                ended = true;
            if (opened != Open::Container)
                return ended ? Pull::End : Pull::Gap;
        }
        if (compressed && statedSize > 0 && pullWhole(out) > 0)
            return Pull::Data;
        if ((compressed ? pullCompressed(out) : pullStored(out)) > 0)
            return Pull::Data;
    }
    return Pull::End;
}

ContainerStream::Open ContainerStream::openNext()
{
    for (;;) {
        std::array<uint8_t, LogContainer::HeaderSize> header{};
        if (!seekSignature())
            return Open::End;
        if (readAt(next, header.data(), ObjectLayout::BaseHeaderSize) < 16) {
            damage = true; // a header cut by the end of the file
            return Open::End;
        }
        const VBLObjectHeaderBase base = ObjectLayout::decodeBase(header.data());
        const bool framed = base.mHeaderSize >= ObjectLayout::BaseHeaderSize
                            && base.mObjectSize >= base.mHeaderSize;
        const bool container = base.mObjectType == BL_OBJ_TYPE_LOG_CONTAINER;
        // Padding or damage: look for the next signature past this one.
        if (!framed || (container && base.mObjectSize < LogContainer::HeaderSize)
            || (!container && base.mObjectSize > ObjectLayout::MaxObjectSize)) {
            damage = true;
            next += 4;
            continue;
        }
        const uint64_t start = next;
        next += base.mObjectSize;
        if (!container)
            continue; // bus objects belong inside containers; others carry nothing we use
        if (readAt(start + 16, header.data() + 16, 16) < 16) {
            damage = true;
            return Open::End;
        }
        payloadOffset = start + LogContainer::HeaderSize;
        payloadLeft = base.mObjectSize - LogContainer::HeaderSize;
        if (payloadLeft == 0)
            continue;
        const uint16_t method = LogContainer::method(header.data());
        if (method != LogContainer::MethodStored && method != LogContainer::MethodZlib) {
            damage = true;
            return Open::Skipped;
        }
        compressed = method == LogContainer::MethodZlib;
        statedSize = LogContainer::uncompressedSize(header.data());
        if (statedSize > WholeLimit || payloadLeft > uint64_t(statedSize) + WholeOverhead)
            statedSize = 0;
        if (compressed) {
            const int rc = zlibReady ? inflateReset(&zlib) : inflateInit(&zlib);
            if (rc != Z_OK)
                return Open::End;
            zlibReady = true;
            zlib.avail_in = 0;
        }
        open = true;
        return Open::Container;
    }
}

bool ContainerStream::seekSignature()
{
    std::array<uint8_t, 4096> block;
    const uint64_t from = next;
    for (;;) {
        const std::size_t got = readAt(next, block.data(), block.size());
        const std::size_t at = got < 4 ? got : ObjectLayout::findSignature(block.data(), got);
        if (at < got) {
            next += at;
            // A container is followed by up to three bytes of padding; more
            // is damage.
            damage = damage || next - from > 3;
            return true;
        }
        if (got < 4) {
            // Up to three bytes of padding may end the file; more is a cut
            // or damaged object.
            damage = damage || next + got - from > 3;
            return false;
        }
        next += got - 3; // a signature may begin in the last three bytes
    }
}

std::size_t ContainerStream::readAt(uint64_t offset, uint8_t *to, std::size_t size)
{
    file.clear();
    if (!file.seekg(std::streamoff(offset)))
        return 0;
    file.read(reinterpret_cast<char *>(to), std::streamsize(size));
    return std::size_t(file.gcount());
}

std::size_t ContainerStream::readPayload(uint8_t *to, std::size_t size)
{
    const std::size_t wanted = std::size_t(std::min<uint64_t>(size, payloadLeft));
    const std::size_t got = wanted > 0 ? readAt(payloadOffset, to, wanted) : 0;
    payloadOffset += got;
    payloadLeft = got < wanted ? 0 : payloadLeft - got; // short read: the file ends here
    damage = damage || got < wanted;
    return got;
}

std::size_t ContainerStream::pullStored(std::vector<uint8_t> &out)
{
    const std::size_t old = out.size();
    const auto wanted = std::size_t(std::min<uint64_t>(payloadLeft, LogContainer::ChunkSize));
    out.resize(old + wanted);
    const std::size_t got = readPayload(out.data() + old, wanted);
    out.resize(old + got);
    if (got < wanted)
        ended = true;
    if (payloadLeft == 0)
        open = false;
    return got;
}

std::size_t ContainerStream::pullWhole(std::vector<uint8_t> &out)
{
    const uint32_t expected = statedSize;
    statedSize = 0; // tried once; on failure the container streams from its start
    if (!inflater)
        inflater = libdeflate_alloc_decompressor();
    if (!inflater)
        return 0;
    // Read without touching the stream's state: a cut payload streams, and
    // the streaming path notes the damage.
    const auto size = std::size_t(payloadLeft);
    input.resize(size);
    if (readAt(payloadOffset, input.data(), size) < size)
        return 0;
    const std::size_t old = out.size();
    out.resize(old + expected);
    std::size_t consumed = 0;
    // Without an output count libdeflate insists on exactly the stated size;
    // bytes after the end of the zlib stream are ignored, as zlib ignores them.
    const libdeflate_result result = libdeflate_zlib_decompress_ex(
        inflater, input.data(), size, out.data() + old, expected, &consumed, nullptr);
    if (result != LIBDEFLATE_SUCCESS) {
        out.resize(old);
        return 0;
    }
    payloadOffset += payloadLeft;
    payloadLeft = 0;
    open = false;
    return expected;
}

std::size_t ContainerStream::pullCompressed(std::vector<uint8_t> &out)
{
    const std::size_t old = out.size();
    out.resize(old + LogContainer::ChunkSize);
    zlib.next_out = out.data() + old;
    zlib.avail_out = uInt(LogContainer::ChunkSize);
    while (zlib.avail_out > 0) {
        if (zlib.avail_in == 0) {
            input.resize(InputSlice);
            const std::size_t got = readPayload(input.data(), input.size());
            if (got == 0) { // cut short: keep what inflated so far
                ended = true;
                damage = true;
                break;
            }
            zlib.next_in = input.data();
            zlib.avail_in = uInt(got);
        }
        const int rc = inflate(&zlib, Z_NO_FLUSH);
        if (rc == Z_STREAM_END) {
            open = false; // bytes after the end of the zlib stream are ignored
            break;
        }
        if ((rc != Z_OK && rc != Z_BUF_ERROR) || (rc == Z_BUF_ERROR && zlib.avail_in > 0)) {
            ended = true; // damaged data
            damage = true;
            break;
        }
    }
    const std::size_t produced = LogContainer::ChunkSize - zlib.avail_out;
    out.resize(old + produced);
    return produced;
}

} // namespace binlog
