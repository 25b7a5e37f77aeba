#pragma once

#include <QLatin1String>

#include "idataparser.h"

class QString;
struct Vemi_CANFD_Data;

// Reads ASC text logs: classic CAN lines and CAN FD lines; every other line is
// passed over in silence.
class AscParser final : public IDataParser
{
    Q_OBJECT

public:
    AscParser();
    ~AscParser() override;

    bool parse(const QString &filePath, std::atomic<bool> &stopRequested) override;

    // Turns one trimmed frame line into a zeroed record; false when the line
    // is dropped. The line split at runs of whitespace as the pattern "\s+"
    // splits it; the ASCII form reads its numbers by hand, as Qt reads them.
    static bool parseLine(const QString &line, Vemi_CANFD_Data &frame);
    static bool parseLine(QLatin1String line, Vemi_CANFD_Data &frame);
};
