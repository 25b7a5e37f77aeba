#pragma once

#include <cstdint>

#include <QLatin1String>

class QString;
struct Vemi_CANFD_Data;

// The grammar of one line of an ASC log: the classic CAN and the CAN FD frame
// layouts, the "base" header line, and the time an event line starts with.
// Lines are trimmed; they are split at runs of whitespace as the pattern "\s+"
// splits them. The ASCII form reads its numbers by hand, as Qt reads them; the
// other form through Qt.
class AscLine final
{
public:
    AscLine() = delete;

    // What the "base" header lines said so far.
    struct Settings
    {
        int base = 16;         // of identifiers and data bytes: 16 or 10
        bool relative = false; // each time counts from the previous event
    };

    // Fills a zeroed record from a line in either frame layout; false when the
    // line fits neither, and then the record may hold some fields.
    // complete, when given, tells whether the line holds the frame whole:
    // every data byte (missing ones read as 0), a remote frame's DLC, and in
    // the CAN FD layout the flags field whole or no trailing fields; false
    // for a line that may have been cut inside its frame.
    static bool readFrame(QLatin1String line, int base, Vemi_CANFD_Data &frame,
                          bool *complete = nullptr);
    static bool readFrame(const QString &line, int base, Vemi_CANFD_Data &frame,
                          bool *complete = nullptr);

    // "base hex|dec  timestamps absolute|relative": a part that is missing or
    // unknown leaves its setting as it was.
    static void readBaseLine(QLatin1String line, Settings &settings);
    static void readBaseLine(const QString &line, Settings &settings);

    // The time in microseconds that the line begins with; false when its first
    // token is no number.
    static bool readTime(QLatin1String line, uint64_t &micros);
    static bool readTime(const QString &line, uint64_t &micros);
};
