#pragma once

// The columns of our CSV layout, in file order, after one header line. The
// CSV reader reads them by these names and the CSV writer writes them in this
// order; the layout has no channel column.
enum class CsvColumn {
    Direction,   // bits 6-7 of flags: 0 Rx, 1 Tx, 2 error entry
    Time,        // clock time "HH:mm:ss:zzz"
    Name,        // one blank
    Id,          // "0x%08X"
    CanType,     // protocol: 0 CAN, 2 CAN FD, 3 CAN FD with bit-rate switch
    FrameFormat, // 1: remote frame
    FrameType,   // 1: extended identifier
    Length,      // payload bytes
    Data         // "%02X " per byte
};

constexpr int CsvColumnCount = int(CsvColumn::Data) + 1;
