#pragma once

#include <QString>
#include <QVector>

#include "benchrunner.h"

// The side-by-side table: our figures, python-can's and their ratio, and
// whether each target is met.
class BenchReport final
{
public:
    // peerRatio: the least ratio to python-can we aim at (0: none);
    // atLeastAs: the label of one of our rows this one must not be slower than;
    // minRate: frames a second it must reach (0: none).
    void add(const QString &label, const Measurement &ours, const Measurement *peer = nullptr,
             double peerRatio = 0, const QString &atLeastAs = QString(), double minRate = 0);
    void addMemory(const QString &format, const LoadReport &load);
    // A time to wait rather than a rate, met at limit seconds or less.
    void addWait(const QString &label, const Measurement &wait, double limit);
    void print(qint64 frames) const;
    // The rows and the waits again, as a Markdown table for the README.
    void printMarkdown() const;

private:
    struct Row
    {
        QString label;
        Measurement ours;
        Measurement peer;
        bool hasPeer = false;
        double peerRatio = 0;
        QString atLeastAs;
        double minRate = 0;
    };
    struct MemoryRow
    {
        QString format;
        LoadReport load;
    };

    struct WaitRow
    {
        QString label;
        Measurement wait;
        double limit = 0;
    };

    const Row *find(const QString &label) const;
    void printWaits() const;

    QVector<Row> rows;
    QVector<MemoryRow> memory;
    QVector<WaitRow> waits;
};
