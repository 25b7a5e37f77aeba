#pragma once

#include <QLatin1String>

#include "idataparser.h"

class QString;
class QStringView;
struct Vemi_CANFD_Data;

// Reads comma-separated logs in the layout our CSV export writes: one header
// line, then direction, time, name, identifier, CAN type, frame format, frame
// type, length and data bytes on each line. Lines that cannot hold a frame are
// passed over in silence.
class CsvParser final : public IDataParser
{
    Q_OBJECT

public:
    CsvParser();
    ~CsvParser() override;

    bool parse(const QString &filePath, std::atomic<bool> &stopRequested) override;

    // Fills a zeroed record from one trimmed line after the first; false when
    // the line has fewer than nine fields or is a header line.
    static bool parseLine(QStringView line, Vemi_CANFD_Data &frame);
    static bool parseLine(QLatin1String line, Vemi_CANFD_Data &frame);
};
