#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <unordered_set>
#include <vector>

#include <QCoreApplication>
#include <QString>

#include "framesnapshot.h"
#include "vemi_canfd_data.h"

// Which frames to show or convert, in a small language of terms that must
// all hold (AND), separated by white space:
//   100  100-1FF  18DA00F1x  100,200-2FF  !7DF   identifiers (hex, 0x allowed;
//                 x: extended only; !: not; a list holds when an item does)
//   ch 2  ch 1,3  the channel
//   rx  tx  fd  classic  remote    direction, protocol, remote frames
//   t 10.5-20  t 10-  t -20        seconds since the log's first frame
//   data 02 10 ??                  payload bytes from the start; ?? any byte
//   name Brake*                    message names of a loaded database
// A text that does not parse gives an error that names the bad term.
class FrameFilter final
{
    Q_DECLARE_TR_FUNCTIONS(FrameFilter)

public:
    // Keys (Key()) of the messages whose names match pattern; false with
    // error set when there is no database to ask.
    using NameMatcher = std::function<bool(const QString &pattern,
                                           std::unordered_set<uint64_t> &keys, QString &error)>;

    // Matches every frame.
    FrameFilter();

    // The filter of text; see isValid() and error().
    static FrameFilter parse(const QString &text, const NameMatcher &names = NameMatcher());

    bool isValid() const { return problem.isEmpty(); }
    // Why text does not parse, naming the term, in the current language.
    QString error() const { return problem; }
    // No terms: every frame matches.
    bool isEmpty() const { return terms.empty(); }

    // origin: the timestamp of the log's first frame, where "t" counts from.
    bool matches(const Vemi_CANFD_Data &frame, uint64_t origin) const;
    // The positions of the frames of snapshot that match, in order, from
    // first on (frames that arrived since an earlier call); stops early, with
    // what it found so far, once cancel is set. "t" counts from the
    // snapshot's first frame whatever first is.
    std::vector<uint32_t> select(const FrameSnapshot &frames,
                                 const std::atomic<bool> *cancel = nullptr, int first = 0) const;

    // A message key: the identifier and the extended flag in one number.
    static uint64_t key(uint32_t identifier, bool extended)
    {
        return uint64_t(identifier) | (extended ? uint64_t(1) << 32 : 0);
    }

private:
    struct IdRange
    {
        uint32_t low;
        uint32_t high;
        bool extendedOnly;
        bool excluded;
    };

    struct Term
    {
        enum Kind { Ids, Channels, Sent, Received, Fd, Classic, Remote, Time, Data, Names };
        Kind kind;
        std::vector<IdRange> ranges;        // Ids
        std::vector<int> channels;          // Channels
        uint64_t fromMicros = 0;            // Time
        uint64_t untilMicros = ~uint64_t(0);
        std::vector<int> bytes;             // Data: 0-255, or -1 for any
        std::unordered_set<uint64_t> keys;  // Names
    };

    static bool holds(const Term &term, const Vemi_CANFD_Data &frame, uint64_t origin);

    std::vector<Term> terms;
    QString problem;
};
