#pragma once

// Reading and writing BLF bus logs: a C-style API over a handle, with one packed
// little-endian structure per object type. Plain C++ and zlib; no Qt.

#include <cstddef>
#include <cstdint>

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using ULONGLONG = uint64_t;
using BOOL = int;
using HANDLE = void *;
using LPCSTR = const char *;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// All bits set: what BLCreateFile returns when the file cannot be opened.
#define BL_INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(~static_cast<uintptr_t>(0)))

// Access codes for BLCreateFile.
constexpr DWORD BL_GENERIC_READ = 0x80000000u;
constexpr DWORD BL_GENERIC_WRITE = 0x40000000u;

constexpr DWORD BL_OBJ_SIGNATURE = 0x4A424F4Cu; // "LOBJ"
constexpr DWORD BL_FILE_SIGNATURE = 0x47474F4Cu; // "LOGG"

// Object types this library knows by layout; every other type is framed by its
// object size alone.
constexpr DWORD BL_OBJ_TYPE_CAN_MESSAGE = 1;
constexpr DWORD BL_OBJ_TYPE_LOG_CONTAINER = 10;
constexpr DWORD BL_OBJ_TYPE_CAN_ERROR_EXT = 73;
constexpr DWORD BL_OBJ_TYPE_CAN_MESSAGE2 = 86;
constexpr DWORD BL_OBJ_TYPE_CAN_FD_MESSAGE = 100;
constexpr DWORD BL_OBJ_TYPE_CAN_FD_MESSAGE_64 = 101;

// mObjectFlags: the unit of mObjectTimeStamp.
constexpr DWORD BL_OBJ_FLAG_TIME_TEN_MICS = 0x00000001u; // 10 microseconds
constexpr DWORD BL_OBJ_FLAG_TIME_ONE_NANS = 0x00000002u; // 1 nanosecond

// CAN message flags (types 1 and 86).
constexpr BYTE BL_CAN_MSG_FLAG_TX = 0x01;
constexpr BYTE BL_CAN_MSG_FLAG_REMOTE_FRAME = 0x80;

// CAN FD 64 flags (type 101, mFlags); each a bit of its own.
// Bit 31 of a CAN object's mID: the identifier is an extended (29-bit) one.
constexpr DWORD BL_CAN_ID_EXTENDED = 0x80000000u;
constexpr DWORD BL_CANFD64_FLAG_REMOTE_FRAME = 0x0010u; // classic frames only
constexpr DWORD BL_CANFD64_FLAG_EDL = 0x1000u; // FDF: a CAN FD frame; clear: classic
constexpr DWORD BL_CANFD64_FLAG_BRS = 0x2000u;
constexpr DWORD BL_CANFD64_FLAG_ESI = 0x4000u;

// CAN FD flags (type 100, mCANFDFlags).
constexpr BYTE BL_CANFD_FLAG_EDL = 0x01;
constexpr BYTE BL_CANFD_FLAG_BRS = 0x02;
constexpr BYTE BL_CANFD_FLAG_ESI = 0x04;

#pragma pack(push, 1)

// Calendar time without time zone, millisecond resolution.
struct SYSTEMTIME
{
    WORD wYear;
    WORD wMonth;     // 1-12
    WORD wDayOfWeek; // 0 = Sunday
    WORD wDay;       // 1-31
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
static_assert(sizeof(SYSTEMTIME) == 16, "SYSTEMTIME is 16 bytes");

// The 16 bytes every object starts with.
struct VBLObjectHeaderBase
{
    DWORD mSignature;      // BL_OBJ_SIGNATURE
    WORD mHeaderSize;      // 32 for version-1 headers
    WORD mHeaderVersion;   // 1
    DWORD mObjectSize;     // header and body, padding excluded
    DWORD mObjectType;
};
static_assert(sizeof(VBLObjectHeaderBase) == 16, "base header is 16 bytes");

// Version-1 object header. Objects read from a file are always presented in
// this form, whatever header version the file used.
struct VBLObjectHeader
{
    VBLObjectHeaderBase mBase;
    DWORD mObjectFlags;        // BL_OBJ_FLAG_TIME_*
    WORD mClientIndex;
    WORD mObjectVersion;
    ULONGLONG mObjectTimeStamp; // in the unit of mObjectFlags, since measurement start
};
static_assert(sizeof(VBLObjectHeader) == 32, "object header is 32 bytes");

// Type 1.
struct VBLCANMessage
{
    VBLObjectHeader mHeader;
    WORD mChannel;   // 1-based
    BYTE mFlags;     // BL_CAN_MSG_FLAG_*
    BYTE mDLC;
    DWORD mID;       // bit 31 marks an extended identifier
    BYTE mData[8];
};
static_assert(sizeof(VBLCANMessage) == 48, "CAN message is 48 bytes");

// Type 86: a CAN message with frame length and bit count.
struct VBLCANMessage2
{
    VBLObjectHeader mHeader;
    WORD mChannel;
    BYTE mFlags;
    BYTE mDLC;
    DWORD mID;
    BYTE mData[8];
    DWORD mFrameLength; // nanoseconds
    BYTE mBitCount;
    BYTE mReservedCANMessage1;
    WORD mReservedCANMessage2;
};
static_assert(sizeof(VBLCANMessage2) == 56, "CAN message 2 is 56 bytes");

// Type 73: an error frame with what is known of the damaged frame.
struct VBLCANErrorFrameExt
{
    VBLObjectHeader mHeader;
    WORD mChannel;
    WORD mLength;          // error frame length, may be 0
    DWORD mFlags;          // which of the following fields are valid
    BYTE mECC;             // error code capture
    BYTE mPosition;        // bit position of the error
    BYTE mDLC;             // DLC of the damaged frame
    BYTE mReserved1;
    DWORD mFrameLengthInNS;
    DWORD mID;             // bit 31 marks an extended identifier
    WORD mFlagsExt;        // segment, direction, error code
    WORD mReserved2;
    BYTE mData[8];
};
static_assert(sizeof(VBLCANErrorFrameExt) == 64, "CAN error frame ext is 64 bytes");

// Type 100: CAN FD message with a fixed 64-byte data field.
struct VBLCANFDMessage
{
    VBLObjectHeader mHeader;
    WORD mChannel;
    BYTE mFlags;          // BL_CAN_MSG_FLAG_*
    BYTE mDLC;            // DLC code 0-15
    DWORD mID;
    DWORD mFrameLength;   // nanoseconds
    BYTE mArbBitCount;
    BYTE mCANFDFlags;     // BL_CANFD_FLAG_*
    BYTE mValidDataBytes;
    BYTE mReservedCANFDMessage1;
    DWORD mReservedCANFDMessage2;
    BYTE mData[64];
    DWORD mReservedCANFDMessage3;
};
static_assert(sizeof(VBLCANFDMessage) == 120, "CAN FD message is 120 bytes");

// Type 101: CAN FD message up to and including the data; the optional extended
// frame data that may follow in a file is not part of this structure.
struct VBLCANFDMessage64
{
    VBLObjectHeader mHeader;
    BYTE mChannel;
    BYTE mDLC;             // DLC code 0-15
    BYTE mValidDataBytes;
    BYTE mTxCount;         // bits 0-3 attempts, bits 4-7 max attempts
    DWORD mID;
    DWORD mFrameLength;    // nanoseconds
    DWORD mFlags;          // BL_CANFD64_FLAG_*
    DWORD mBtrCfgArb;
    DWORD mBtrCfgData;
    DWORD mTimeOffsetBrsNs;
    DWORD mTimeOffsetCrcDelNs;
    WORD mBitCount;
    BYTE mDir;             // 0 Rx, 1 Tx, 2 Tx request: any but 0 is a sent frame
    BYTE mExtDataOffset;   // from the object's start; 0: no extended data
    DWORD mCRC;
    BYTE mData[64];
};
static_assert(sizeof(VBLCANFDMessage64) == 136, "CAN FD 64 message is 136 bytes");

#pragma pack(pop)

// File statistics, in the reading of the header where bytes 8-15 hold the API
// number, application id, compression level and application version.
struct VBLFileStatisticsEx
{
    DWORD mStatisticsSize;          // set by the caller to sizeof(VBLFileStatisticsEx)
    DWORD mAPINumber;
    BYTE mApplicationID;
    BYTE mCompressionLevel;
    BYTE mApplicationMajor;
    BYTE mApplicationMinor;
    DWORD mReserved0;
    ULONGLONG mFileSize;
    ULONGLONG mUncompressedFileSize;
    DWORD mObjectCount;
    DWORD mApplicationBuild;
    SYSTEMTIME mMeasurementStartTime;
    SYSTEMTIME mLastObjectTime;
    ULONGLONG mRestorePointsOffset;
    DWORD mReserved[14];
};
static_assert(sizeof(VBLFileStatisticsEx) == 136, "file statistics are 136 bytes");

// Opens fileName for reading (BL_GENERIC_READ) or creates/truncates it for
// writing (BL_GENERIC_WRITE). BL_INVALID_HANDLE_VALUE on failure.
HANDLE BLCreateFile(LPCSTR fileName, DWORD desiredAccess);

// Closes the handle; for a written file, flushes the last container and writes
// the final file header. FALSE when anything could not be written.
BOOL BLCloseHandle(HANDLE handle);

// Reading. Objects are presented in version-1 form whatever header version the
// file used: mHeaderSize 32, mHeaderVersion 1, mObjectSize 32 + body size,
// mObjectFlags and mObjectTimeStamp as stored (no unit conversion). Objects
// with other header versions, and anything that cannot be framed (damaged
// sizes, padding, the tail of a truncated file), are stepped over.
// Fills the statistics of an open file, as far as pStatistics->mStatisticsSize allows.
BOOL BLGetFileStatisticsEx(HANDLE handle, VBLFileStatisticsEx *pStatistics);
// Fills the base header of the next object without consuming it. FALSE at the
// end of the file, which is also where undecodable compressed data ends it.
BOOL BLPeekObject(HANDLE handle, VBLObjectHeaderBase *pBase);
// Reads the next object into the structure that starts at pBase, expectedSize
// bytes long (at least 32): the header, then the body; a shorter body leaves
// the rest of the structure zero, a longer one is cut. 1 on success, 0 on failure.
BOOL BLReadObjectSecure(HANDLE handle, VBLObjectHeaderBase *pBase, size_t expectedSize);
// Releases what a read attached to the structure (nothing, for the CAN types).
BOOL BLFreeObject(HANDLE handle, VBLObjectHeaderBase *pBase);
// Steps over the next object, whose base header pBase holds.
BOOL BLSkipObject(HANDLE handle, VBLObjectHeaderBase *pBase);

// Additions of this library, for a reader that reports progress and tells a
// whole file from a cut or damaged one:
// How far into the file the objects read so far reach, and the file's size.
BOOL BLGetReadPosition(HANDLE handle, ULONGLONG *pPosition, ULONGLONG *pFileSize);
// TRUE once the reading met a cut or damaged container or object, or bytes
// that had to be stepped over and were more than padding. Asked after the
// last object, it tells whether the file ended early.
BOOL BLIsDamaged(HANDLE handle);

// Writing. A failed write to the file is remembered: that call and every later
// one return FALSE, and BLCloseHandle too.
// appBuild goes to the header's application build field.
BOOL BLSetApplication(HANDLE handle, BYTE appID, BYTE appMajor, BYTE appMinor, BYTE appBuild);
// Calendar time of time stamp 0, stored as given (local time by convention).
BOOL BLSetMeasurementStartTime(HANDLE handle, const SYSTEMTIME *pStartTime);
// compression: level 0 (stored) to 9 as zlib counts them, 6 until set;
// reserved is ignored.
// FALSE for other levels and once an object was written.
BOOL BLSetWriteOptions(HANDLE handle, DWORD compression, DWORD reserved);
// Appends one object; its base header's mObjectSize says how many bytes to take.
// The object must start with a version-1 header (signature "LOBJ", header size
// 32, version 1), be 32 bytes to 4 MiB long and not be a log container.
BOOL BLWriteObject(HANDLE handle, VBLObjectHeaderBase *pBase);
