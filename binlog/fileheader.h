#pragma once

// The 144-byte file header ("LOGG"), in the reading where bytes 8-15 hold the
// API number, application id, compression level and application version, and
// bytes 36-39 the application build.

#include <cstddef>
#include <cstdint>

#include "binlog.h"

namespace binlog {

class FileHeader final
{
public:
    static constexpr std::size_t Size = 144;
    // API number written into our files; no reader decodes it.
    static constexpr uint32_t ApiNumber = 5;

    uint32_t headerSize = Size;
    uint32_t apiNumber = ApiNumber;
    uint8_t applicationId = 0;
    uint8_t compressionLevel = 0;
    uint8_t applicationMajor = 0;
    uint8_t applicationMinor = 0;
    uint64_t fileSize = Size;            // whole file, padding included
    uint64_t uncompressedSize = Size;    // 144 + sum of (32 + container payload)
    uint32_t objectCount = 0;            // inner objects
    uint32_t applicationBuild = 0;
    SYSTEMTIME measurementStartTime{};
    SYSTEMTIME lastObjectTime{};
    uint64_t restorePointsOffset = 0;

    void encode(uint8_t *out) const; // Size bytes

    // Decodes the first size bytes of a file (fields beyond them stay zero).
    // False unless the file starts with "LOGG".
    bool decode(const uint8_t *in, std::size_t size);

    // Where the first top-level object may start: the stated header size when
    // it is plausible, else 144.
    uint64_t dataOffset() const;

    VBLFileStatisticsEx statistics() const;

    // start + nanoseconds as calendar time; all zero when start is no valid date.
    static SYSTEMTIME addNanoseconds(const SYSTEMTIME &start, uint64_t nanoseconds);
};

} // namespace binlog
