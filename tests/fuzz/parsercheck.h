#pragma once

#include <cstddef>
#include <cstdint>

class IDataParser;

// Runs one reader over the fuzz input, as the dispatcher would on its worker
// thread, and aborts when the run breaks the reader contract: an empty or
// damaged batch, progress outside 0-100 or going back, signals after the
// end, or a result that disagrees with the signals.
class ParserCheck final
{
public:
    enum class Frames {
        Any,       // as the record allows
        BusFrames  // as a bus carries them: a classic frame at most 8 bytes and
                   // never with ESI, a remote frame always classic
    };

    static void run(IDataParser &parser, const uint8_t *data, std::size_t size,
                    Frames frames = Frames::Any);
};
