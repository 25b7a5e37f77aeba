#pragma once

struct ExportContext;

// Writes the frames as a BLF binary log through the binlog library: one CAN
// message object per classic frame, one CAN FD message object per CAN FD
// frame. Error entries produce no object. The library lays out the file.
class BlfWriter final
{
public:
    // True only when every library call succeeded, the closing one included:
    // the library writes its last container only then, so a full disk may
    // show nowhere else. Stops at the first failed call.
    bool write(const ExportContext &context) const;
};
