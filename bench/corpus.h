#pragma once

#include <QString>
#include <QVector>

#include "candataexporter.h"
#include "vemi_canfd_data.h"

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
