#include "corpus.h"

#include <algorithm>
#include <cstdint>
#include <thread>

#include <QDir>

#include "framestream.h"
#include "idataparser.h"
#include "logformat.h"

namespace {

// CAN FD frames carry at least one byte: python-can's ASC reader (4.1) fails on
// a CAN FD line without data bytes, and it has to read the same file.
constexpr uint8_t fdLengths[] = {1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64};

} // namespace

uint64_t CorpusGenerator::next()
{
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint32_t CorpusGenerator::below(uint32_t bound)
{
    return uint32_t(next() % bound);
}

void CorpusGenerator::make(Vemi_CANFD_Data &frame)
{
    const bool fd = below(10) >= 7;
    const bool extended = below(4) == 0;
    frame.id = extended ? below(0x20000000u) : below(0x800u);
    if (extended)
        frame.id |= Vemi_CANFD_Data::ExtendedBit;
    frame.setDirection(below(3) == 0 ? 1 : 0);
    if (fd) {
        frame.length = fdLengths[below(sizeof fdLengths)];
        frame.setProtocol(below(2) ? Vemi_CANFD_Data::ProtocolCanFdBrs
                                   : Vemi_CANFD_Data::ProtocolCanFd);
    } else {
        ++classic;
        frame.length = uint8_t(below(9));
        if (below(20) == 0)
            frame.id |= Vemi_CANFD_Data::RemoteBit;
    }
    for (int i = 0; i < frame.length; i += 8) {
        const uint64_t bytes = next();
        for (int k = 0; k < 8 && i + k < frame.length; ++k)
            frame.data[i + k] = uint8_t(bytes >> (8 * k));
    }
    time += 1 + below(400);
    frame.timestamp = time;
}

QVector<Vemi_CANFD_Data> CorpusGenerator::batch(int count)
{
    QVector<Vemi_CANFD_Data> frames(count);
    for (Vemi_CANFD_Data &frame : frames)
        make(frame);
    return frames;
}

Corpus::Corpus(int frameCount)
{
    CorpusGenerator generator;
    frameList = generator.batch(frameCount);
    classic = generator.classicCount();
}

bool Corpus::writeStreamed(qint64 frameCount, ExportFormat format, const QString &path)
{
    FrameStream stream;
    std::thread producer([&stream, frameCount] {
        CorpusGenerator generator;
        for (qint64 left = frameCount; left > 0; left -= IDataParser::BatchSize) {
            if (!stream.push(generator.batch(int(std::min<qint64>(left, IDataParser::BatchSize)))))
                break;
        }
        stream.finish();
    });
    const bool written = CanDataExporter().exportStream(stream, format, path);
    producer.join();
    return written;
}

QVector<ExportFormat> Corpus::formats()
{
    QVector<ExportFormat> writable;
    for (const LogFormat &format : LogFormat::all()) {
        if (format.writable)
            writable << format.exportFormat;
    }
    return writable;
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
