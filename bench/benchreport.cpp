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

void BenchReport::addWait(const QString &label, const Measurement &wait, double limit)
{
    waits << WaitRow{label, wait, limit};
}

void BenchReport::printWaits() const
{
    if (waits.isEmpty())
        return;
    std::printf("\nFrom the click to the first rows in the store\n");
    for (const WaitRow &row : waits) {
        if (!row.wait.ok) {
            std::printf("%-38s (failed)\n", qPrintable(row.label));
            continue;
        }
        std::printf("%-38s %9.1f ms  %6lld rows  <= %g ms %s\n", qPrintable(row.label),
                    row.wait.seconds * 1e3, row.wait.frames, row.limit * 1e3,
                    verdict(row.wait.seconds <= row.limit));
    }
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
    printWaits();

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

void BenchReport::printMarkdown() const
{
    std::printf("\n| Operation | Tavrix frames/s | MB/s | python-can frames/s | MB/s | Ratio |\n"
                "|---|---:|---:|---:|---:|---:|\n");
    for (const Row &row : rows) {
        std::printf("| %s | %.0f | %.1f | ", qPrintable(row.label), row.ours.framesPerSecond(),
                    row.ours.megabytesPerSecond());
        if (row.hasPeer) {
            std::printf("%.0f | %.1f | %.1f× |\n", row.peer.framesPerSecond(),
                        row.peer.megabytesPerSecond(),
                        row.ours.framesPerSecond() / row.peer.framesPerSecond());
        } else {
            std::printf("– | – | – |\n");
        }
    }
    for (const WaitRow &row : waits)
        std::printf("| %s | %.1f ms to the first %lld rows | | | | |\n", qPrintable(row.label),
                    row.wait.seconds * 1e3, row.wait.frames);
}
