// libFuzzer target: the DBC parser over arbitrary bytes, loaded twice into one
// database as a second file would be; then every message it kept decodes
// frames cut from the same bytes at no length, its own length and 64 bytes.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dbcdatabase.h"

namespace {

// Enough messages to reach every decoding path; more would only slow a run.
constexpr std::size_t messageLimit = 4096;

void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "dbc contract broken: %s\n", what);
        std::abort();
    }
}

void checkDecoding(const DbcMessage &message, const uint8_t *frame, std::size_t length)
{
    std::vector<DbcDecodedSignal> decoded;
    const std::size_t present = message.decode(frame, length, decoded);
    require(decoded.size() == message.signalList.size(), "not one value a signal");
    std::size_t counted = 0;
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        const DbcSignal &signal = message.signalList[i];
        if (!decoded[i].present)
            continue;
        ++counted;
        require(signal.decodable, "an undecodable signal decoded");
        require(signal.bytesNeeded() <= length, "a signal decoded past the frame");
        require(signal.length == 64 || decoded[i].raw >> signal.length == 0,
                "a value wider than its signal");
        require(signal.multiplexor < 0 || decoded[std::size_t(signal.multiplexor)].present,
                "a signal decoded without its switch");
    }
    require(present == counted, "the count of signals present is wrong");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    DbcDatabase database;
    const DbcLoadResult result = database.loadText(text, "fuzz.dbc");
    require(result.ok || database.isEmpty(), "a file that failed added messages");
    require(result.ok || result.error.line >= 1, "an error without its line");
    require(result.warnings.size() <= DbcLoadResult::WarningLimit, "warnings past the limit");
    if (!result.ok)
        return 0;

    const std::size_t count = database.messages().size();
    const DbcLoadResult again = database.loadText(text, "again.dbc");
    require(again.ok, "the same text failed the second time");
    require(database.messages().size() == count, "a second load added a known identifier");

    uint8_t frame[64];
    for (std::size_t i = 0; i < sizeof frame; ++i)
        frame[i] = size ? data[i % size] : 0;
    const std::size_t checked = std::min(count, messageLimit);
    for (std::size_t m = 0; m < checked; ++m) {
        const DbcMessage &message = database.messages()[m];
        require(database.find(message.id, message.extended) == &message,
                "a message not found by its identifier");
        for (const std::size_t length : {std::size_t(0), std::size_t(message.length),
                                         sizeof frame})
            checkDecoding(message, frame, length);
    }
    return 0;
}
