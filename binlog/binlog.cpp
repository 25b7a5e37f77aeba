#include "binlog.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "blfreader.h"
#include "logfilewriter.h"

// The classes behind the API live in their own namespace, so that a program
// linking the library may use the same class names for its own parts.
using binlog::BlfReader;
using binlog::LogFileWriter;

namespace {

// What a HANDLE points to. The tag tells our handles from stray pointers to
// other memory of the right size, the two members the kind of handle.
struct Handle
{
    static constexpr uint32_t Tag = 0x4E484C42; // "BLHN"
    uint32_t tag = Tag;
    std::unique_ptr<BlfReader> reader;
    std::unique_ptr<LogFileWriter> writer;
};

Handle *toHandle(HANDLE handle)
{
    if (!handle || handle == BL_INVALID_HANDLE_VALUE)
        return nullptr;
    auto *h = static_cast<Handle *>(handle);
    return h->tag == Handle::Tag ? h : nullptr;
}

BlfReader *readerOf(HANDLE handle)
{
    Handle *h = toHandle(handle);
    return h ? h->reader.get() : nullptr;
}

LogFileWriter *writerOf(HANDLE handle)
{
    Handle *h = toHandle(handle);
    return h ? h->writer.get() : nullptr;
}

// Nothing may escape through the C interface; a failed allocation is a failed call.
template<typename Call>
BOOL guarded(Call call)
{
    try {
        return call() ? TRUE : FALSE;
    } catch (...) {
        return FALSE;
    }
}

} // namespace

HANDLE BLCreateFile(LPCSTR fileName, DWORD desiredAccess)
{
    const DWORD access = desiredAccess & (BL_GENERIC_READ | BL_GENERIC_WRITE);
    if (!fileName || (access != BL_GENERIC_READ && access != BL_GENERIC_WRITE))
        return BL_INVALID_HANDLE_VALUE;
    try {
        auto handle = std::make_unique<Handle>();
        if (access == BL_GENERIC_READ) {
            handle->reader = std::make_unique<BlfReader>();
            if (!handle->reader->open(fileName))
                return BL_INVALID_HANDLE_VALUE;
        } else {
            handle->writer = std::make_unique<LogFileWriter>();
            if (!handle->writer->open(fileName))
                return BL_INVALID_HANDLE_VALUE;
        }
        return handle.release();
    } catch (...) {
        return BL_INVALID_HANDLE_VALUE;
    }
}

BOOL BLCloseHandle(HANDLE handle)
{
    Handle *h = toHandle(handle);
    if (!h)
        return FALSE;
    const BOOL ok = guarded([h] { return !h->writer || h->writer->close(); });
    h->tag = 0;
    delete h;
    return ok;
}

BOOL BLGetFileStatisticsEx(HANDLE handle, VBLFileStatisticsEx *pStatistics)
{
    BlfReader *reader = readerOf(handle);
    if (!reader || !pStatistics || pStatistics->mStatisticsSize < sizeof(DWORD))
        return FALSE;
    const VBLFileStatisticsEx statistics = reader->header().statistics();
    const std::size_t size = std::min<std::size_t>(pStatistics->mStatisticsSize,
                                                   sizeof statistics);
    // The caller's size stays as given; the fields after it are filled as far as it reaches.
    std::memcpy(reinterpret_cast<char *>(pStatistics) + sizeof(DWORD),
                reinterpret_cast<const char *>(&statistics) + sizeof(DWORD),
                size - sizeof(DWORD));
    return TRUE;
}

BOOL BLPeekObject(HANDLE handle, VBLObjectHeaderBase *pBase)
{
    BlfReader *reader = readerOf(handle);
    return reader && pBase && guarded([&] { return reader->peek(*pBase); });
}

BOOL BLReadObjectSecure(HANDLE handle, VBLObjectHeaderBase *pBase, size_t expectedSize)
{
    BlfReader *reader = readerOf(handle);
    return reader && pBase && guarded([&] {
        return reader->read(reinterpret_cast<uint8_t *>(pBase), expectedSize);
    });
}

BOOL BLFreeObject(HANDLE handle, VBLObjectHeaderBase *pBase)
{
    return readerOf(handle) && pBase ? TRUE : FALSE;
}

BOOL BLSkipObject(HANDLE handle, VBLObjectHeaderBase *pBase)
{
    BlfReader *reader = readerOf(handle);
    return reader && pBase && guarded([&] { return reader->skip(); });
}

BOOL BLGetReadPosition(HANDLE handle, ULONGLONG *pPosition, ULONGLONG *pFileSize)
{
    BlfReader *reader = readerOf(handle);
    if (!reader || !pPosition || !pFileSize)
        return FALSE;
    *pPosition = reader->position();
    *pFileSize = reader->fileSize();
    return TRUE;
}

BOOL BLIsDamaged(HANDLE handle)
{
    BlfReader *reader = readerOf(handle);
    return reader && reader->damaged() ? TRUE : FALSE;
}

BOOL BLSetApplication(HANDLE handle, BYTE appID, BYTE appMajor, BYTE appMinor, BYTE appBuild)
{
    LogFileWriter *writer = writerOf(handle);
    return writer && writer->setApplication(appID, appMajor, appMinor, appBuild);
}

BOOL BLSetMeasurementStartTime(HANDLE handle, const SYSTEMTIME *pStartTime)
{
    LogFileWriter *writer = writerOf(handle);
    return writer && pStartTime && writer->setMeasurementStartTime(*pStartTime);
}

BOOL BLSetWriteOptions(HANDLE handle, DWORD compression, DWORD /*reserved*/)
{
    LogFileWriter *writer = writerOf(handle);
    return writer && writer->setCompressionLevel(compression);
}

BOOL BLWriteObject(HANDLE handle, VBLObjectHeaderBase *pBase)
{
    LogFileWriter *writer = writerOf(handle);
    return writer && pBase && guarded([&] { return writer->write(*pBase); });
}
