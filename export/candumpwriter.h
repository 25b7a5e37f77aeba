#pragma once

#include <cstdint>

struct ExportContext;
class LineBuffer;
class QTextStream;
struct Vemi_CANFD_Data;

// Writes the frames as a candump log, one line a frame:
// "(1436509052.249713) can0 123#DEADBEEF R". Each frame keeps its own time,
// since candump's times are clock times rather than offsets; channel n is
// interface can<n-1>, and a frame without a channel (0) is on can0, as the
// other writers put it on the first bus. Error entries produce no line.
class CandumpWriter final
{
public:
    // Stops early once the stream reports a failed write; the driver turns
    // that into the export's result.
    void write(const ExportContext &context, QTextStream &out) const;

    // The line of one frame, its line end included.
    static void appendLine(LineBuffer &line, const Vemi_CANFD_Data &frame);
};
