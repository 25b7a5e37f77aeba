#pragma once

#include <vector>

#include <QByteArray>
#include <QLatin1String>

#include "idataparser.h"

struct Vemi_CANFD_Data;

// Reads the logs of SocketCAN's candump (-l): one frame a line,
// "(1436509052.249713) can0 123#DEADBEEF", with an optional R or T for the
// direction after the frame. Error frames and lines of any other form are
// passed over in silence. Times are kept as the file gives them (seconds
// since 1970 as candump writes them). Each interface becomes a channel: the
// first one the file names is channel 1, the next new one channel 2, and so
// on up to 255, which any further ones share.
class CandumpParser final : public IDataParser
{
    Q_OBJECT

public:
    // The interface names of one file in the order they first came.
    using Interfaces = std::vector<QByteArray>;

    CandumpParser();
    ~CandumpParser() override;

    bool parse(const QString &filePath, std::atomic<bool> &stopRequested) override;

    // Fills a zeroed record from one trimmed line and gives it the channel of
    // its interface, adding the name to interfaces when it is new; false, with
    // the record left zero, for an error frame or any other line. Identifiers
    // have 3 hexadecimal digits (standard) or 8 (extended); a classic frame
    // has at most 8 data bytes, a CAN FD frame at most 64, and a raw DLC
    // ("_E") only after 8 bytes.
    static bool parseLine(QLatin1String line, Vemi_CANFD_Data &frame, Interfaces &interfaces);
};
