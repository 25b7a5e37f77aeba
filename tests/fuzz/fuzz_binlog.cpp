// libFuzzer target: the binlog reading calls over arbitrary bytes. Each object
// is peeked, then read into a structure of one of the sizes callers use (each
// in a heap block of exactly that size, so an overrun shows), read without a
// peek, or skipped; the choice rotates with the object type and count.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "binlog.h"
#include "fuzzinput.h"

namespace {

// The header alone, types 1, 86, 73, 100 and 101, and a larger buffer.
constexpr std::size_t structureSizes[] = {
    sizeof(VBLObjectHeader),     sizeof(VBLCANMessage),     sizeof(VBLCANMessage2),
    sizeof(VBLCANErrorFrameExt), sizeof(VBLCANFDMessage),   sizeof(VBLCANFDMessage64),
    4096};
constexpr std::size_t choices = std::size(structureSizes) + 3;
// Whole objects read into a buffer of their own size, up to this much.
constexpr std::size_t wholeObjectLimit = 1 << 16;
// Enough for any input the fuzzer makes; a loop past it would be a hang.
constexpr int objectLimit = 1 << 20;

void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "binlog contract broken: %s\n", what);
        std::abort();
    }
}

// Reads the next object into exactly size bytes and checks the presented header.
void readInto(HANDLE handle, std::size_t size, const VBLObjectHeaderBase *peeked)
{
    std::vector<uint8_t> block(size);
    auto *base = reinterpret_cast<VBLObjectHeaderBase *>(block.data());
    if (peeked)
        *base = *peeked;
    const BOOL read = BLReadObjectSecure(handle, base, size);
    if (read == 0)
        return;
    require(read == 1, "read result other than 0 or 1");
    require(base->mSignature == BL_OBJ_SIGNATURE, "read object without signature");
    require(base->mHeaderSize == sizeof(VBLObjectHeader) && base->mHeaderVersion == 1,
            "read object not in version-1 form");
    require(base->mObjectSize >= sizeof(VBLObjectHeader), "read object smaller than its header");
    require(!peeked || peeked->mObjectType == base->mObjectType,
            "read another object than peeked");
    BLFreeObject(handle, base);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    HANDLE handle = BLCreateFile(FuzzInput::write(data, size).constData(), BL_GENERIC_READ);
    if (handle == BL_INVALID_HANDLE_VALUE)
        return 0;
    VBLFileStatisticsEx statistics{};
    statistics.mStatisticsSize = sizeof statistics;
    BLGetFileStatisticsEx(handle, &statistics);

    // A structure too small for the header is refused, whatever the file holds.
    uint8_t small[16] = {};
    require(!BLReadObjectSecure(handle, reinterpret_cast<VBLObjectHeaderBase *>(small),
                                sizeof small),
            "read into 16 bytes");

    VBLObjectHeaderBase peeked{};
    int count = 0;
    for (; count < objectLimit && BLPeekObject(handle, &peeked); ++count) {
        require(peeked.mSignature == BL_OBJ_SIGNATURE, "peeked object without signature");
        const std::size_t choice = (peeked.mObjectType + std::size_t(count)) % choices;
        if (choice < std::size(structureSizes)) {
            readInto(handle, structureSizes[choice], &peeked);
        } else if (choice == std::size(structureSizes)) {
            readInto(handle, std::min<std::size_t>(peeked.mObjectSize, wholeObjectLimit),
                     &peeked);
        } else if (choice == std::size(structureSizes) + 1) {
            readInto(handle, sizeof(VBLCANFDMessage64), nullptr);
        } else if (!BLSkipObject(handle, &peeked)) {
            break;
        }
    }
    require(count < objectLimit, "object loop does not end");
    BLCloseHandle(handle);
    return 0;
}
