#include "corpus.h"

#include <cstdint>

#include <QDir>

#include "logformat.h"

namespace {

// splitmix64: the same stream on every platform and library.
class Random
{
public:
    uint64_t next()
    {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t below(uint32_t bound) { return uint32_t(next() % bound); }

private:
    uint64_t state = 0x7A5B1C0DEull;
};

// CAN FD frames carry at least one byte: python-can's ASC reader (4.1) fails on
// a CAN FD line without data bytes, and it has to read the same file.
constexpr uint8_t fdLengths[] = {1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64};

} // namespace

QVector<ExportFormat> Corpus::formats()
{
    QVector<ExportFormat> writable;
    for (const LogFormat &format : LogFormat::all()) {
        if (format.writable)
            writable << format.exportFormat;
    }
    return writable;
}

Corpus::Corpus(int frameCount)
{
    Random random;
    frameList.resize(frameCount);
    uint64_t time = 0;
    for (Vemi_CANFD_Data &frame : frameList) {
        const bool fd = random.below(10) >= 7;
        const bool extended = random.below(4) == 0;
        frame.id = extended ? random.below(0x20000000u) : random.below(0x800u);
        if (extended)
            frame.id |= Vemi_CANFD_Data::ExtendedBit;
        frame.setDirection(random.below(3) == 0 ? 1 : 0);
        if (fd) {
            frame.length = fdLengths[random.below(sizeof fdLengths)];
            frame.setProtocol(random.below(2) ? Vemi_CANFD_Data::ProtocolCanFdBrs
                                              : Vemi_CANFD_Data::ProtocolCanFd);
        } else {
            ++classic;
            frame.length = uint8_t(random.below(9));
            if (random.below(20) == 0)
                frame.id |= Vemi_CANFD_Data::RemoteBit;
        }
        for (int i = 0; i < frame.length; i += 8) {
            const uint64_t bytes = random.next();
            for (int k = 0; k < 8 && i + k < frame.length; ++k)
                frame.data[i + k] = uint8_t(bytes >> (8 * k));
        }
        time += 1 + random.below(400);
        frame.timestamp = time;
    }
}

bool Corpus::writeFiles(const QString &dir)
{
    folder = dir;
    CanDataExporter exporter;
    for (ExportFormat format : formats()) {
        if (!exporter.exportData(frameList, format, SortOrder::None, path(format)))
            return false;
    }
    return true;
}

QString Corpus::path(ExportFormat format) const
{
    return QDir(folder).filePath(QStringLiteral("corpus.") + suffix(format));
}

QString Corpus::suffix(ExportFormat format)
{
    return QLatin1String(LogFormat::forExport(format)->suffixes.front());
}

QString Corpus::name(ExportFormat format)
{
    return QLatin1String(LogFormat::forExport(format)->displayName);
}
