#pragma once

// BLF files built byte by byte for the binlog tests, independently of the
// library's own encoders, and helpers that drive the binlog API.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>

#include "binlog.h"

class BlfBytes final
{
public:
    // Little-endian fields of width bytes in a byte array.
    static void put(QByteArray &bytes, int offset, quint64 value, int width);
    static quint64 get(const QByteArray &bytes, qint64 offset, int width);

    // 2024-03-05 (a Tuesday) 06:07:08.009
    static SYSTEMTIME startTime();

    // A 144-byte "LOGG" header with the start time above and zero counts.
    static QByteArray header(quint32 headerSize = 144);

    // An inner object: base header, version-1 (32 bytes) or version-2 (40 bytes)
    // header extension, body.
    static QByteArray object(quint32 type, const QByteArray &body, quint64 time = 0,
                             int headerVersion = 1, quint32 timeFlags = 2);
    // Type 1 with channel 1; data bytes count up from first.
    static QByteArray canMessage(quint32 id, quint8 dlc, quint64 time = 0, quint8 flags = 0,
                                 int headerVersion = 1, quint32 timeFlags = 2,
                                 quint8 first = 0x11);
    // Type 86 with channel 1; data bytes count up from 0x31 for min(dlc, 8) bytes.
    static QByteArray canMessage2(quint32 id, quint8 dlc, quint8 flags, quint64 time = 0);
    // Type 100 with channel 1, 120 bytes as the vendor writes it or 116 as
    // python-can does; data bytes count up from 0x41 for `stored` bytes (-1:
    // the valid ones).
    static QByteArray canFdMessage(quint32 id, quint8 canFdFlags, quint8 valid, quint8 flags = 0,
                                   quint8 dlc = 0, int stored = -1, quint64 time = 0,
                                   int size = 120);
    // Type 101 without extension, 72 + valid bytes long.
    static QByteArray canFd64(quint32 id, quint8 valid, quint64 time = 0, quint32 flags = 0x1000,
                              quint8 txCount = 0, quint8 first = 0x21);

    // The object with the byte at offset of its structure set to value.
    static QByteArray withByte(QByteArray object, std::size_t offset, quint8 value);

    // A log container around payload: method 2 compresses it, any other method
    // stores it as given. statedSize -1 states the true size.
    static QByteArray container(const QByteArray &payload, quint16 method = 2,
                                qint64 statedSize = -1);
    // Header followed by containers holding the stream cut into pieces of the given sizes
    // (the last piece takes the rest).
    static QByteArray file(const QByteArray &stream, const QList<int> &pieces = {},
                           quint16 method = 2);

    // Top-level walk over a file we wrote; false on anything but well-formed containers.
    struct Container
    {
        qint64 offset = 0;
        quint32 objectSize = 0;
        quint16 method = 0;
        quint32 statedSize = 0;
        QByteArray payload; // inflated
    };
    static bool walk(const QByteArray &file, QList<Container> &containers, QString &problem);

    // Every object as the API delivers it: the peeked base header, then the
    // structure read into structSize bytes (the peeked base copied in first).
    struct Read
    {
        VBLObjectHeaderBase peeked{};
        QByteArray bytes;
        template<typename T> T as() const
        {
            T value{};
            memcpy(&value, bytes.constData(), qMin<size_t>(sizeof value, size_t(bytes.size())));
            return value;
        }
    };
    static QVector<Read> readAll(const QString &path, size_t structSize = 136,
                                 bool *opened = nullptr);

    // Writes the objects (each a structure starting with its header) through the API.
    static bool writeAll(const QString &path, const QList<QByteArray> &objects, int level = 6,
                         const SYSTEMTIME *start = nullptr);

    // A python-can script that prints each frame of the BLF file argv[1] as
    // "id extended remote fd brs rx dlc data time", data in hex or "-", time
    // in microseconds since the measurement start.
    static QString pythonCanDumpScript();

    // Data rows "stored" and "zlib" of an int column "level": compression 0 and 6.
    static void addLevelRows();

    // One object of every type with a layout, every field a distinct sentinel:
    // types 1, 86, 100, 101 and 73, client index 0x2222, object version 0x3333.
    static QList<QByteArray> sentinelObjects();

    // The way the program fills the two message structures.
    static VBLCANMessage canStruct(quint32 id, quint8 dlc, quint64 time, quint8 flags = 0);
    static VBLCANFDMessage64 fdStruct(quint32 id, quint8 length, quint64 time, bool brs, bool tx);
    template<typename T> static QByteArray bytesOf(const T &value)
    {
        return QByteArray(reinterpret_cast<const char *>(&value), int(sizeof value));
    }
};
