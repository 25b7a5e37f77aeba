#pragma once

#include <cstdint>

#include <QString>
#include <QVector>

#include "candataexporter.h"
#include "vemi_canfd_data.h"

// The frames of the corpus, one after the other: the same stream on every
// platform and library (splitmix64), in batches of any size.
class CorpusGenerator final
{
public:
    QVector<Vemi_CANFD_Data> batch(int count);
    int classicCount() const { return classic; }

private:
    uint64_t next();
    uint32_t below(uint32_t bound);
    void make(Vemi_CANFD_Data &frame);

    uint64_t state = 0x7A5B1C0DEull;
    uint64_t time = 0;
    int classic = 0;
};

// A deterministic mix of frames as users record them - about 70 % classic and
// 30 % CAN FD, every length, standard and extended identifiers, remote frames,
// Rx and Tx, bit-rate switch on and off - and the same frames as ASC, CSV and
// BLF files written by our exporter.
class Corpus final
{
public:
    explicit Corpus(int frameCount);

    const QVector<Vemi_CANFD_Data> &frames() const { return frameList; }
    int classicCount() const { return classic; }
    // Frees the frames; the files stay.
    void dropFrames() { frameList = QVector<Vemi_CANFD_Data>(); }

    // Writes corpus.asc, corpus.csv and corpus.blf into dir.
    bool writeFiles(const QString &dir);
    // Writes the first frameCount frames of the corpus to path, generated as
    // they are written: a corpus of any size in little memory.
    static bool writeStreamed(qint64 frameCount, ExportFormat format, const QString &path);
    QString path(ExportFormat format) const;

    // Every format the program writes, from the table of formats.
    static QVector<ExportFormat> formats();
    static QString suffix(ExportFormat format);
    static QString name(ExportFormat format);

private:
    QVector<Vemi_CANFD_Data> frameList;
    int classic = 0;
    QString folder;
};
