#include "fileheader.h"

#include <algorithm>
#include <cstring>

#include "littleendian.h"

namespace binlog {

namespace {

void encodeTime(const SYSTEMTIME &time, uint8_t *out)
{
    const WORD fields[] = {time.wYear, time.wMonth, time.wDayOfWeek, time.wDay,
                           time.wHour, time.wMinute, time.wSecond, time.wMilliseconds};
    for (std::size_t i = 0; i < 8; ++i)
        LittleEndian::put16(out + 2 * i, fields[i]);
}

SYSTEMTIME decodeTime(const uint8_t *in)
{
    SYSTEMTIME time;
    WORD *fields[] = {&time.wYear, &time.wMonth, &time.wDayOfWeek, &time.wDay,
                      &time.wHour, &time.wMinute, &time.wSecond, &time.wMilliseconds};
    for (std::size_t i = 0; i < 8; ++i)
        *fields[i] = LittleEndian::get16(in + 2 * i);
    return time;
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

void civilFromDays(int64_t z, int64_t &y, unsigned &m, unsigned &d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = int64_t(yoe) + era * 400 + (m <= 2);
}

bool isValidDate(const SYSTEMTIME &t)
{
    return t.wYear >= 1601 && t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 && t.wDay <= 31
           && t.wHour < 24 && t.wMinute < 60 && t.wSecond < 60 && t.wMilliseconds < 1000;
}

} // namespace

void FileHeader::encode(uint8_t *out) const
{
    std::memset(out, 0, Size);
    LittleEndian::put32(out, BL_FILE_SIGNATURE);
    LittleEndian::put32(out + 4, headerSize);
    LittleEndian::put32(out + 8, apiNumber);
    out[12] = applicationId;
    out[13] = compressionLevel;
    out[14] = applicationMajor;
    out[15] = applicationMinor;
    LittleEndian::put64(out + 16, fileSize);
    LittleEndian::put64(out + 24, uncompressedSize);
    LittleEndian::put32(out + 32, objectCount);
    LittleEndian::put32(out + 36, applicationBuild);
    encodeTime(measurementStartTime, out + 40);
    encodeTime(lastObjectTime, out + 56);
    LittleEndian::put64(out + 72, restorePointsOffset);
}

bool FileHeader::decode(const uint8_t *in, std::size_t size)
{
    uint8_t bytes[Size] = {};
    std::memcpy(bytes, in, std::min(size, Size));
    if (size < 4 || LittleEndian::get32(bytes) != BL_FILE_SIGNATURE)
        return false;
    headerSize = LittleEndian::get32(bytes + 4);
    apiNumber = LittleEndian::get32(bytes + 8);
    applicationId = bytes[12];
    compressionLevel = bytes[13];
    applicationMajor = bytes[14];
    applicationMinor = bytes[15];
    fileSize = LittleEndian::get64(bytes + 16);
    uncompressedSize = LittleEndian::get64(bytes + 24);
    objectCount = LittleEndian::get32(bytes + 32);
    applicationBuild = LittleEndian::get32(bytes + 36);
    measurementStartTime = decodeTime(bytes + 40);
    lastObjectTime = decodeTime(bytes + 56);
    restorePointsOffset = LittleEndian::get64(bytes + 72);
    return true;
}

uint64_t FileHeader::dataOffset() const
{
    // Headers of 72 bytes (the older field set) and somewhat longer ones exist;
    // anything else is damage, and 144 is what every known writer uses.
    constexpr uint32_t smallest = 72;
    constexpr uint32_t largest = 4096;
    return headerSize >= smallest && headerSize <= largest ? headerSize : Size;
}

VBLFileStatisticsEx FileHeader::statistics() const
{
    VBLFileStatisticsEx s{};
    s.mStatisticsSize = sizeof(VBLFileStatisticsEx);
    s.mAPINumber = apiNumber;
    s.mApplicationID = applicationId;
    s.mCompressionLevel = compressionLevel;
    s.mApplicationMajor = applicationMajor;
    s.mApplicationMinor = applicationMinor;
    s.mFileSize = fileSize;
    s.mUncompressedFileSize = uncompressedSize;
    s.mObjectCount = objectCount;
    s.mApplicationBuild = applicationBuild;
    s.mMeasurementStartTime = measurementStartTime;
    s.mLastObjectTime = lastObjectTime;
    s.mRestorePointsOffset = restorePointsOffset;
    return s;
}

SYSTEMTIME FileHeader::addNanoseconds(const SYSTEMTIME &start, uint64_t nanoseconds)
{
    SYSTEMTIME result{};
    if (!isValidDate(start))
        return result;
    constexpr int64_t msPerDay = 86400000;
    const int64_t days = daysFromCivil(start.wYear, start.wMonth, start.wDay);
    const int64_t msOfDay = ((int64_t(start.wHour) * 60 + start.wMinute) * 60 + start.wSecond)
                                * 1000 + start.wMilliseconds;
    const int64_t total = msOfDay + int64_t(nanoseconds / 1000000);
    const int64_t day = days + total / msPerDay;
    int64_t ms = total % msPerDay;
    int64_t year = 0;
    unsigned month = 0;
    unsigned dayOfMonth = 0;
    civilFromDays(day, year, month, dayOfMonth);
    if (year > 30827) // the largest year a SYSTEMTIME holds
        return result;
    result.wYear = WORD(year);
    result.wMonth = WORD(month);
    result.wDay = WORD(dayOfMonth);
    result.wDayOfWeek = WORD((day % 7 + 11) % 7); // 1970-01-01 was a Thursday (4)
    result.wMilliseconds = WORD(ms % 1000);
    ms /= 1000;
    result.wSecond = WORD(ms % 60);
    ms /= 60;
    result.wMinute = WORD(ms % 60);
    result.wHour = WORD(ms / 60);
    return result;
}

} // namespace binlog
