#include "logfilewriter.h"

#include <algorithm>
#include <thread>
#include <limits>

#include "containerencoder.h"
#include "logcontainer.h"
#include "objectlayout.h"

namespace binlog {

namespace {

uint64_t nanoseconds(const VBLObjectHeader &header)
{
    if (header.mObjectFlags != BL_OBJ_FLAG_TIME_TEN_MICS)
        return header.mObjectTimeStamp;
    constexpr uint64_t tenMicroseconds = 10000;
    constexpr uint64_t largest = std::numeric_limits<uint64_t>::max() / tenMicroseconds;
    return header.mObjectTimeStamp > largest ? std::numeric_limits<uint64_t>::max()
                                             : header.mObjectTimeStamp * tenMicroseconds;
}

} // namespace

LogFileWriter::LogFileWriter()
    : threads(std::max(1u, std::thread::hardware_concurrency()))
{
}

// The compressor's threads stop before the file closes.
LogFileWriter::~LogFileWriter() = default;

void LogFileWriter::setCompressionThreads(unsigned count)
{
    threads = count;
}

bool LogFileWriter::open(const char *path)
{
    file.open(path, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!file.is_open())
        return false;
    fileHeader.compressionLevel = uint8_t(level);
    uint8_t placeholder[FileHeader::Size];
    fileHeader.encode(placeholder);
    writeBytes(placeholder, sizeof placeholder);
    return true;
}

bool LogFileWriter::setApplication(uint8_t id, uint8_t major, uint8_t minor, uint8_t build)
{
    fileHeader.applicationId = id;
    fileHeader.applicationMajor = major;
    fileHeader.applicationMinor = minor;
    fileHeader.applicationBuild = build;
    return !failed;
}

bool LogFileWriter::setMeasurementStartTime(const SYSTEMTIME &start)
{
    fileHeader.measurementStartTime = start;
    return !failed;
}

bool LogFileWriter::setCompressionLevel(uint32_t compression)
{
    if (compression > 9 || fileHeader.objectCount > 0)
        return false;
    level = int(compression);
    fileHeader.compressionLevel = uint8_t(level);
    return !failed;
}

bool LogFileWriter::write(const VBLObjectHeaderBase &base)
{
    const uint32_t size = base.mObjectSize;
    if (base.mSignature != BL_OBJ_SIGNATURE || base.mHeaderSize != sizeof(VBLObjectHeader)
        || base.mHeaderVersion != 1 || size < sizeof(VBLObjectHeader)
        || size > ObjectLayout::MaxObjectSize || base.mObjectType == BL_OBJ_TYPE_LOG_CONTAINER)
        return false;
    if (failed)
        return false;

    // The caller's structure begins with a version-1 header and is size bytes long.
    const auto &header = reinterpret_cast<const VBLObjectHeader &>(base);
    const std::size_t old = pending.size();
    pending.resize(old + size);
    ObjectLayout::encodeHeader(header, pending.data() + old);
    ObjectLayout::bodyToFile(base.mObjectType,
                             reinterpret_cast<const uint8_t *>(&base) + sizeof header,
                             pending.data() + old + sizeof header, size - sizeof header);
    ++fileHeader.objectCount;
    lastObjectTime = std::max(lastObjectTime, nanoseconds(header));

    while (pending.size() >= LogContainer::ChunkSize && !failed) {
        const auto cut = pending.begin() + std::ptrdiff_t(LogContainer::ChunkSize);
        std::vector<uint8_t> slice(pending.begin(), cut);
        pending.erase(pending.begin(), cut);
        emitContainer(std::move(slice));
    }
    return !failed;
}

bool LogFileWriter::close()
{
    if (!failed && !pending.empty())
        emitContainer(std::move(pending));
    pending.clear();
    if (compressor) {
        compressor->finish();
        compressor.reset();
    }
    if (fileHeader.objectCount > 0)
        fileHeader.lastObjectTime = FileHeader::addNanoseconds(fileHeader.measurementStartTime,
                                                               lastObjectTime);
    if (!failed) {
        uint8_t bytes[FileHeader::Size];
        fileHeader.encode(bytes);
        file.seekp(0);
        writeBytes(bytes, sizeof bytes);
    }
    file.close();
    return !failed && !file.fail();
}

void LogFileWriter::emitContainer(std::vector<uint8_t> slice)
{
    if (threads == 0 || level == 0) {
        if (!encoder)
            encoder = std::make_unique<ContainerEncoder>(level);
        writeContainer(encoder->encode(slice.data(), slice.size()), slice.size());
        return;
    }
    if (!compressor) {
        compressor = std::make_unique<ContainerCompressor>(
            level, threads, [this](const std::vector<uint8_t> &container, std::size_t size) {
                writeContainer(container, size);
            });
    }
    compressor->submit(std::move(slice));
}

void LogFileWriter::writeContainer(const std::vector<uint8_t> &container, std::size_t sliceSize)
{
    if (failed)
        return;
    if (container.empty()) {
        failed = true;
        return;
    }
    writeBytes(container.data(), container.size());
    fileHeader.fileSize += container.size();
    fileHeader.uncompressedSize += LogContainer::HeaderSize + sliceSize;
}

void LogFileWriter::writeBytes(const uint8_t *data, std::size_t size)
{
    // Flushed at once, so that a full disk shows in the call that filled it.
    file.write(reinterpret_cast<const char *>(data), std::streamsize(size));
    file.flush();
    if (!file)
        failed = true;
}

} // namespace binlog
