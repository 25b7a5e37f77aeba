#include "benchreport.h"

#include <cstdio>

namespace {

constexpr double RecordBytes = 136;
constexpr double MemoryLimit = 1.5; // times the records' own size

const char *verdict(bool met)
{
    return met ? "met" : "MISSED";
}

} // namespace

void BenchReport::add(const QString &label, const Measurement &ours, const Measurement *peer,
                      double peerRatio, const QString &atLeastAs, double minRate)
{
    Row row;
    row.label = label;
    row.ours = ours;
    row.hasPeer = peer && peer->ok;
    if (row.hasPeer)
        row.peer = *peer;
    row.peerRatio = peerRatio;
    row.atLeastAs = atLeastAs;
    row.minRate = minRate;
    rows << row;
}

void BenchReport::addMemory(const QString &format, const LoadReport &load)
{
    memory << MemoryRow{format, load};
}

const BenchReport::Row *BenchReport::find(const QString &label) const
{
    for (const Row &row : rows) {
        if (row.label == label)
            return &row;
    }
    return nullptr;
}

void BenchReport::print(qint64 frames) const
{
    std::printf("\n%-38s %12s %8s | %12s %8s | %7s  %s\n", "operation", "Tavrix fps", "MB/s",
                "python-can", "MB/s", "ratio", "target");
    for (const Row &row : rows) {
        std::printf("%-38s %12.0f %8.1f | ", qPrintable(row.label), row.ours.framesPerSecond(),
                    row.ours.megabytesPerSecond());
        if (!row.ours.ok)
            std::printf("(failed) ");
        if (row.hasPeer) {
            const double ratio = row.ours.framesPerSecond() / row.peer.framesPerSecond();
            std::printf("%12.0f %8.1f | %6.2fx", row.peer.framesPerSecond(),
                        row.peer.megabytesPerSecond(), ratio);
            if (row.peerRatio > 0)
                std::printf("  >= %gx %s", row.peerRatio, verdict(ratio >= row.peerRatio));
        } else {
            std::printf("%12s %8s | %7s", "-", "-", "-");
        }
        if (const Row *other = row.atLeastAs.isEmpty() ? nullptr : find(row.atLeastAs)) {
            std::printf("  >= %s %s", qPrintable(row.atLeastAs),
                        verdict(row.ours.framesPerSecond() >= other->ours.framesPerSecond()));
        }
        if (row.minRate > 0) {
            std::printf("  >= %.0fM fps %s", row.minRate / 1e6,
                        verdict(row.ours.ok && row.ours.framesPerSecond() >= row.minRate));
        }
        std::printf("\n");
    }

    if (memory.isEmpty())
        return;
    const double limit = MemoryLimit * RecordBytes * double(frames);
    std::printf("\nPeak resident memory of loading into the frame store, above the idle process "
                "(limit %.1f MB = 1.5 x 136 B x %lld frames)\n",
                limit / 1e6, frames);
    for (const MemoryRow &row : memory) {
        if (!row.load.ok) {
            std::printf("%-6s (failed)\n", qPrintable(row.format));
            continue;
        }
        const double above = double(row.load.loadPeak - row.load.idleResident);
        std::printf("%-6s %9.1f MB  %6.1f B/frame  %s\n", qPrintable(row.format), above / 1e6,
                    above / double(row.load.rows), verdict(above <= limit));
    }
}
