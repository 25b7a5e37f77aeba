#pragma once

#include <cstddef>
#include <cstdint>

#include <QByteArray>

// The fuzz input as a file, since the readers and the BLF library take paths.
// One in-memory file (memfd) per process, rewritten for every input: no disk
// traffic, and nothing left behind when the fuzzer stops.
class FuzzInput final
{
public:
    // Replaces the file's content with size bytes at data; returns its path.
    static const QByteArray &write(const uint8_t *data, std::size_t size);
};
