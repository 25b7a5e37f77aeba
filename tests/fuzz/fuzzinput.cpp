#include "fuzzinput.h"

#include <cstdio>
#include <cstdlib>

#include <sys/mman.h>
#include <unistd.h>

const QByteArray &FuzzInput::write(const uint8_t *data, std::size_t size)
{
    static const int fd = memfd_create("tavrix-fuzz", 0);
    static const QByteArray path = QByteArray::number(fd).prepend("/proc/self/fd/");
    if (fd < 0 || ftruncate(fd, 0) != 0
        || (size > 0 && pwrite(fd, data, size, 0) != ssize_t(size))) {
        std::perror("fuzz input file");
        std::abort();
    }
    return path;
}
