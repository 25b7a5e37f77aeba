#pragma once

// The data length codes of CAN FD: codes 0 to 8 are the byte count itself,
// codes 9 to 15 stand for 12, 16, 20, 24, 32, 48 and 64 bytes. Writers that
// store a DLC and readers that get one share this one table.
class CanFdDlc final
{
public:
    CanFdDlc() = delete;

    // DLC code of a CAN FD payload length. A length between the CAN FD sizes
    // has no code of its own and gets 15, the code of 64 bytes.
    static int lengthToDlc(int length);
    // Payload length of a DLC code; codes above 15 (a damaged file) read as 64
    // bytes, negative ones as 0.
    static int dlcToLength(int dlc);
};
