#pragma once

// Writes a BLF file: a placeholder header, the objects packed into one stream
// that is cut into log containers of LogContainer::ChunkSize bytes, and at the
// end the final container and the true header. The containers are compressed
// on worker threads and written in order. A failed write is remembered; every
// later call then reports failure (a container that fails to reach the disk
// shows a few objects later than the object that filled it).

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <memory>
#include <vector>

#include "binlog.h"
#include "containercompressor.h"
#include "containerencoder.h"
#include "fileheader.h"

namespace binlog {

class LogFileWriter final
{
public:
    LogFileWriter();
    ~LogFileWriter();

    // Creates or truncates path. False when it cannot be opened; a placeholder
    // header that cannot be written only marks the writer as failed.
    bool open(const char *path);

    bool setApplication(uint8_t id, uint8_t major, uint8_t minor, uint8_t build);
    bool setMeasurementStartTime(const SYSTEMTIME &start);
    // Level 0 (stored) to 9, as zlib counts them; fixed once the first object
    // was written, so that one file never mixes compression methods.
    bool setCompressionLevel(uint32_t level);
    // Compression threads; 0 compresses each container on the writing thread.
    // Defaults to one per core. The file is the same either way.
    void setCompressionThreads(unsigned threads);

    // Appends the object that starts at base, base.mObjectSize bytes long.
    // False when the object is malformed (nothing is written) or the file failed.
    bool write(const VBLObjectHeaderBase &base);

    // Writes the last container and the final header and closes the file.
    bool close();

private:
    void emitContainer(std::vector<uint8_t> slice);
    void writeContainer(const std::vector<uint8_t> &container, std::size_t sliceSize);
    void writeBytes(const uint8_t *data, std::size_t size);

    std::ofstream file;
    FileHeader fileHeader;
    int level = 6;
    unsigned threads;
    std::unique_ptr<ContainerCompressor> compressor; // made with the first container
    std::unique_ptr<ContainerEncoder> encoder;       // without compression threads
    bool failed = false;
    uint64_t lastObjectTime = 0; // nanoseconds, the largest seen
    std::vector<uint8_t> pending; // stream bytes not yet in a container
};

} // namespace binlog
