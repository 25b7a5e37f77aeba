#pragma once

#include <algorithm>
#include <atomic>

#include <QFile>
#include <QString>
#include <QVector>

#include "idataparser.h"
#include "linesource.h"
#include "vemi_canfd_data.h"

// The reading loop the line-based readers share: start report, open, one line
// at a time with the stop flag tested before each, batches of 2000 frames,
// progress by the share of the file read every 10 000 lines, the report of a
// cut last line, and the closing reports. A reader supplies only its texts,
// what one line means and when a line is whole.
class TextLogReader
{
public:
    static constexpr int BatchSize = IDataParser::BatchSize;
    static constexpr int ProgressInterval = 10000;

    // What one line came to.
    enum class Line {
        Skipped, // passed over before the closing step: no batch or progress check
        Passed,  // no frame, but the closing step runs
        Frame    // the record was filled; it joins the batch, then the closing step
    };

    struct Texts
    {
        QString start;
        QString progress;
        QString success;
    };

    TextLogReader(IDataParser &parser, Texts texts);

    // handleLine(const LineSource &line, qint64 lineNumber, Vemi_CANFD_Data &frame)
    // gets each line (trimmed) and a zeroed record, and returns a Line.
    // isWhole(const LineSource &line, qint64 lineNumber, Line outcome,
    // const Vemi_CANFD_Data &frame) is asked about a last line that has no
    // line end: false when the line is not whole by the format's layout, and
    // the file was cut (frame is what handleLine made of it, and is dropped).
    template <typename LineHandler, typename WholeLine>
    bool run(const QString &filePath, QIODevice::OpenMode mode, std::atomic<bool> &stopRequested,
             LineHandler handleLine, WholeLine isWhole);

    // isWhole for formats whose lines are whole when they read at all: a last
    // line that gave no frame and is no comment may be one cut short.
    static bool unlessPassed(const LineSource &, qint64, Line outcome, const Vemi_CANFD_Data &)
    {
        return outcome != Line::Passed;
    }

private:
    bool open(QFile &file, const QString &filePath, QIODevice::OpenMode mode);
    void stopped();
    void closingStep(qint64 lineCount, const LineSource &lines);
    void finish(bool cut);

    IDataParser &parser;
    Texts texts;
    QVector<Vemi_CANFD_Data> batch;
};

template <typename LineHandler, typename WholeLine>
bool TextLogReader::run(const QString &filePath, QIODevice::OpenMode mode,
                        std::atomic<bool> &stopRequested, LineHandler handleLine,
                        WholeLine isWhole)
{
    QFile file;
    if (!open(file, filePath, mode))
        return false;
    LineSource lines(file);

    qint64 lineCount = 0;
    bool cut = false;
    while (!lines.atEnd()) {
        if (stopRequested.load()) {
            stopped();
            return false;
        }
        lines.readLine();
        ++lineCount;

        // The record is made in its place in the batch, and taken back when
        // the line yields none.
        batch.resize(batch.size() + 1);
        Line outcome = handleLine(lines, lineCount, batch.last());
        // Only the last line can lack its line end. The frame of a cut line
        // would show bytes it does not have: it is dropped.
        if (!lines.hasLineEnd() && !isWhole(lines, lineCount, outcome, batch.last())) {
            cut = true;
            outcome = outcome == Line::Frame ? Line::Passed : outcome;
        }
        if (outcome != Line::Frame)
            batch.removeLast();
        if (outcome == Line::Skipped)
            continue;
        closingStep(lineCount, lines);
    }
    finish(cut);
    return true;
}
