#pragma once

// Where each field of an object sits on disk: the object headers, and the body
// of every type that binlog.h describes by a structure. Bodies travel between a
// caller's host-order structure and little-endian file bytes field by field;
// bodies of other types, and bytes beyond a known layout, are copied as they are.

#include <cstddef>
#include <cstdint>

#include "binlog.h"

namespace binlog {

class ObjectLayout final
{
public:
    ObjectLayout() = delete;

    static constexpr std::size_t BaseHeaderSize = 16;   // signature to object type
    static constexpr std::size_t V1HeaderSize = 32;     // base + flags, client, version, time
    static constexpr std::size_t V2HeaderSize = 40;     // ... + original time stamp
    // The largest object this library frames or writes. Bus objects are far
    // smaller; a larger size read from a file is damage, not a reason to buffer.
    static constexpr uint32_t MaxObjectSize = 4u << 20;

    // Offset of the first "LOBJ" in size bytes, or size when there is none.
    static std::size_t findSignature(const uint8_t *data, std::size_t size);

    static VBLObjectHeaderBase decodeBase(const uint8_t *file);
    static void encodeBase(const VBLObjectHeaderBase &base, uint8_t *file);

    // A caller's version-1 header as the 32 bytes of the file.
    static void encodeHeader(const VBLObjectHeader &header, uint8_t *file);

    // The header of a framed object in version-1 form: header size 32, version 1,
    // object size = 32 + body size, client index 0 for version-2 headers. False
    // when the file's header version or size cannot be presented that way.
    static bool presentHeader(const uint8_t *file, VBLObjectHeader &header);

    // Converts size body bytes (the bytes after the 32-byte header) of an object
    // of the given type.
    static void bodyToFile(uint32_t type, const uint8_t *host, uint8_t *file, std::size_t size);
    static void bodyFromFile(uint32_t type, const uint8_t *file, uint8_t *host, std::size_t size);
};

} // namespace binlog
