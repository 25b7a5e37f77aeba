#pragma once

#include "idataparser.h"

class QString;

// Reads BLF binary logs through the binlog library: classic CAN messages
// (object types 1 and 86) and CAN FD messages (types 100 and 101) become frame
// records; every other object is stepped over. Frames are handed over in
// batches of 2000 as the file is read, with progress by the share of the file
// read.
class BlfParser final : public IDataParser
{
    Q_OBJECT

public:
    BlfParser();
    ~BlfParser() override;

    bool parse(const QString &filePath, std::atomic<bool> &stopRequested) override;
};
