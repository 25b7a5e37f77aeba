#pragma once

#include <QLatin1String>

#include "idataparser.h"

class QString;
struct Vemi_CANFD_Data;

// Reads ASC text logs: lines in the classic CAN or the CAN FD layout are frames;
// every other line (headers, events, error frames) is passed over in silence.
// The "base" header lines set the number base and the time mode of the lines
// after them.
class AscParser final : public IDataParser
{
    Q_OBJECT

public:
    AscParser();
    ~AscParser() override;

    bool parse(const QString &filePath, std::atomic<bool> &stopRequested) override;

    // Turns one trimmed line into a record when it fits the classic or the CAN
    // FD layout; otherwise false, and the record stays zero. base (16 or 10) is
    // the number base of identifiers and data bytes. The line is split at runs
    // of whitespace as the pattern "\s+" splits it; the ASCII form reads its
    // numbers by hand, as Qt reads them.
    static bool parseLine(const QString &line, Vemi_CANFD_Data &frame, int base = 16);
    static bool parseLine(QLatin1String line, Vemi_CANFD_Data &frame, int base = 16);
};
