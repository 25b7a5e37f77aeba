#include "objectlayout.h"

#include <cstring>

#include "littleendian.h"

namespace binlog {

namespace {

// A run of count fields of one width; byte arrays are runs of width 1.
struct FieldRun
{
    uint8_t width;
    uint8_t count;
};

struct BodyLayout
{
    uint32_t type;
    const FieldRun *runs;
    std::size_t runCount;
};

// Bodies after the 32-byte header, in the order of the structures in binlog.h.
constexpr FieldRun canMessage[] = {{2, 1}, {1, 2}, {4, 1}, {1, 8}};
constexpr FieldRun canMessage2[] = {{2, 1}, {1, 2}, {4, 1}, {1, 8}, {4, 1}, {1, 2}, {2, 1}};
constexpr FieldRun canFdMessage[] = {{2, 1}, {1, 2}, {4, 2}, {1, 4}, {4, 1}, {1, 64}, {4, 1}};
constexpr FieldRun canFdMessage64[] = {{1, 4}, {4, 7}, {2, 1}, {1, 2}, {4, 1}, {1, 64}};
constexpr FieldRun canErrorExt[] = {{2, 2}, {4, 1}, {1, 4}, {4, 2}, {2, 2}, {1, 8}};

template<std::size_t N>
constexpr std::size_t bodySize(const FieldRun (&runs)[N])
{
    std::size_t size = 0;
    for (const FieldRun &run : runs)
        size += std::size_t(run.width) * run.count;
    return size;
}

static_assert(32 + bodySize(canMessage) == sizeof(VBLCANMessage), "type 1 layout");
static_assert(32 + bodySize(canMessage2) == sizeof(VBLCANMessage2), "type 86 layout");
static_assert(32 + bodySize(canFdMessage) == sizeof(VBLCANFDMessage), "type 100 layout");
static_assert(32 + bodySize(canFdMessage64) == sizeof(VBLCANFDMessage64), "type 101 layout");
static_assert(32 + bodySize(canErrorExt) == sizeof(VBLCANErrorFrameExt), "type 73 layout");

template<std::size_t N>
constexpr BodyLayout layout(uint32_t type, const FieldRun (&runs)[N])
{
    return {type, runs, N};
}

constexpr BodyLayout layouts[] = {
    layout(BL_OBJ_TYPE_CAN_MESSAGE, canMessage),
    layout(BL_OBJ_TYPE_CAN_MESSAGE2, canMessage2),
    layout(BL_OBJ_TYPE_CAN_FD_MESSAGE, canFdMessage),
    layout(BL_OBJ_TYPE_CAN_FD_MESSAGE_64, canFdMessage64),
    layout(BL_OBJ_TYPE_CAN_ERROR_EXT, canErrorExt),
};

const BodyLayout *findLayout(uint32_t type)
{
    for (const BodyLayout &candidate : layouts) {
        if (candidate.type == type)
            return &candidate;
    }
    return nullptr;
}

uint64_t loadHost(const uint8_t *p, std::size_t width)
{
    switch (width) {
    case 2: { uint16_t v; std::memcpy(&v, p, 2); return v; }
    case 4: { uint32_t v; std::memcpy(&v, p, 4); return v; }
    case 8: { uint64_t v; std::memcpy(&v, p, 8); return v; }
    default: return *p;
    }
}

void storeHost(uint8_t *p, std::size_t width, uint64_t value)
{
    switch (width) {
    case 2: { const auto v = uint16_t(value); std::memcpy(p, &v, 2); break; }
    case 4: { const auto v = uint32_t(value); std::memcpy(p, &v, 4); break; }
    case 8: std::memcpy(p, &value, 8); break;
    default: *p = uint8_t(value); break;
    }
}

// Walks the fields of a body; toFile chooses the direction. A field cut by the
// end of size, and everything past the known layout, is copied byte for byte.
void convertBody(uint32_t type, const uint8_t *from, uint8_t *to, std::size_t size, bool toFile)
{
    // Every field sits at the same offset on both sides; only the byte order
    // may differ.
    if (LittleEndian::hostOrder) {
        std::memcpy(to, from, size);
        return;
    }
    std::size_t offset = 0;
    if (const BodyLayout *body = findLayout(type)) {
        for (std::size_t r = 0; r < body->runCount; ++r) {
            const FieldRun run = body->runs[r];
            for (unsigned i = 0; i < run.count && offset + run.width <= size; ++i) {
                if (run.width == 1)
                    to[offset] = from[offset];
                else if (toFile)
                    LittleEndian::put(to + offset, run.width, loadHost(from + offset, run.width));
                else
                    storeHost(to + offset, run.width, LittleEndian::get(from + offset, run.width));
                offset += run.width;
            }
        }
    }
    if (offset < size)
        std::memcpy(to + offset, from + offset, size - offset);
}

} // namespace

VBLObjectHeaderBase ObjectLayout::decodeBase(const uint8_t *file)
{
    VBLObjectHeaderBase base;
    base.mSignature = LittleEndian::get32(file);
    base.mHeaderSize = LittleEndian::get16(file + 4);
    base.mHeaderVersion = LittleEndian::get16(file + 6);
    base.mObjectSize = LittleEndian::get32(file + 8);
    base.mObjectType = LittleEndian::get32(file + 12);
    return base;
}

std::size_t ObjectLayout::findSignature(const uint8_t *data, std::size_t size)
{
    static const uint8_t signature[4] = {'L', 'O', 'B', 'J'};
    std::size_t offset = 0;
    while (size - offset >= 4) {
        const void *hit = std::memchr(data + offset, 'L', size - offset - 3);
        if (!hit)
            break;
        offset = std::size_t(static_cast<const uint8_t *>(hit) - data);
        if (std::memcmp(data + offset, signature, 4) == 0)
            return offset;
        ++offset;
    }
    return size;
}

void ObjectLayout::encodeBase(const VBLObjectHeaderBase &base, uint8_t *file)
{
    LittleEndian::put32(file, base.mSignature);
    LittleEndian::put16(file + 4, base.mHeaderSize);
    LittleEndian::put16(file + 6, base.mHeaderVersion);
    LittleEndian::put32(file + 8, base.mObjectSize);
    LittleEndian::put32(file + 12, base.mObjectType);
}

void ObjectLayout::encodeHeader(const VBLObjectHeader &header, uint8_t *file)
{
    encodeBase(header.mBase, file);
    LittleEndian::put32(file + 16, header.mObjectFlags);
    LittleEndian::put16(file + 20, header.mClientIndex);
    LittleEndian::put16(file + 22, header.mObjectVersion);
    LittleEndian::put64(file + 24, header.mObjectTimeStamp);
}

bool ObjectLayout::presentHeader(const uint8_t *file, VBLObjectHeader &header)
{
    const VBLObjectHeaderBase base = decodeBase(file);
    // Version 2 keeps flags, object version and time stamp where version 1 has
    // them; its bytes 20-21 are a time stamp status, not a client index.
    const bool v1 = base.mHeaderVersion == 1 && base.mHeaderSize >= V1HeaderSize;
    const bool v2 = base.mHeaderVersion == 2 && base.mHeaderSize >= V2HeaderSize;
    if ((!v1 && !v2) || base.mObjectSize < base.mHeaderSize)
        return false;
    header.mBase = base;
    header.mBase.mHeaderSize = WORD(V1HeaderSize);
    header.mBase.mHeaderVersion = 1;
    header.mBase.mObjectSize = DWORD(V1HeaderSize + (base.mObjectSize - base.mHeaderSize));
    header.mObjectFlags = LittleEndian::get32(file + 16);
    header.mClientIndex = v1 ? LittleEndian::get16(file + 20) : 0;
    header.mObjectVersion = LittleEndian::get16(file + 22);
    header.mObjectTimeStamp = LittleEndian::get64(file + 24);
    return true;
}

void ObjectLayout::bodyToFile(uint32_t type, const uint8_t *host, uint8_t *file, std::size_t size)
{
    convertBody(type, host, file, size, true);
}

void ObjectLayout::bodyFromFile(uint32_t type, const uint8_t *file, uint8_t *host,
                                std::size_t size)
{
    convertBody(type, file, host, size, false);
}

} // namespace binlog
