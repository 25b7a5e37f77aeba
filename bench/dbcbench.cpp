#include "dbcbench.h"

#include <cstdint>
#include <string>
#include <vector>

#include <QElapsedTimer>

#include "dbcdatabase.h"

namespace {

constexpr int MessageCount = 50;
constexpr int FdMessages = 10;
constexpr int MultiplexedMessages = 5;

struct BenchFrame
{
    uint32_t id;
    bool extended;
    uint8_t length;
    uint8_t data[64];
};

uint32_t messageId(int index)
{
    return index < MessageCount - FdMessages ? 0x100u + uint32_t(index) * 0x10u
                                             : 0x18FF0000u + uint32_t(index);
}

bool isExtended(int index)
{
    return index >= MessageCount - FdMessages;
}

// Classic messages: eight signals of assorted kinds in 8 bytes, the first
// few multiplexed; CAN FD ones: sixteen 32-bit signals in 64 bytes.
std::string database()
{
    std::string text = "VERSION \"\"\n\nBS_:\n\nBU_: Ecu Gateway\n\n";
    for (int m = 0; m < MessageCount; ++m) {
        const uint32_t fileId = messageId(m) | (isExtended(m) ? 0x80000000u : 0u);
        const std::string id = std::to_string(fileId);
        const std::string name = "Message" + std::to_string(m);
        auto signal = [&text](const std::string &line) { text += " SG_ " + line + " Gateway\n"; };
        if (isExtended(m)) {
            text += "BO_ " + id + ' ' + name + ": 64 Ecu\n";
            for (int s = 0; s < 16; ++s) {
                const std::string start = std::to_string(s % 2 ? s * 32 + 7 : s * 32);
                signal("Fd" + std::to_string(s) + " : " + start + "|32@" + (s % 2 ? "0" : "1")
                       + (s % 3 ? "+" : "-") + " (0.01,-100) [0|0] \"unit\"");
            }
            text += "SIG_VALTYPE_ " + id + " Fd4 : 1;\n";
            continue;
        }
        text += "BO_ " + id + ' ' + name + ": 8 Ecu\n";
        if (m < MultiplexedMessages) {
            signal("Mode M : 0|4@1+ (1,0) [0|15] \"\"");
            signal("A m0 : 4|12@1+ (0.5,0) [0|0] \"rpm\"");
            signal("B m1 : 4|12@1- (1,0) [0|0] \"\"");
            signal("C m2 : 11|12@0+ (1,0) [0|0] \"\"");
        } else {
            signal("Flag : 0|1@1+ (1,0) [0|1] \"\"");
            signal("State : 1|3@1+ (1,0) [0|7] \"\"");
            signal("Level : 4|12@1+ (0.1,0) [0|409.5] \"%\"");
            signal("Moto : 23|12@0- (0.25,-40) [-40|200] \"degC\"");
        }
        signal("Speed : 32|16@1+ (0.01,0) [0|655.35] \"km/h\"");
        signal("Torque : 55|16@0- (0.5,0) [0|0] \"Nm\"");
        signal("Counter : 56|4@1+ (1,0) [0|15] \"\"");
        signal("Check : 60|4@1+ (1,0) [0|15] \"\"");
        text += "VAL_ " + id + " Counter 0 \"Zero\" 15 \"Invalid\" ;\n";
    }
    return text;
}

std::vector<BenchFrame> frames(int count)
{
    std::vector<BenchFrame> result(static_cast<std::size_t>(count));
    uint32_t state = 0x9E3779B9u;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    for (BenchFrame &frame : result) {
        const int m = int(next() % MessageCount);
        frame.id = messageId(m);
        frame.extended = isExtended(m);
        frame.length = frame.extended ? 64 : 8;
        for (uint8_t &byte : frame.data)
            byte = uint8_t(next() >> 24);
    }
    return result;
}

} // namespace

Measurement DbcBench::decode(int frameCount)
{
    Measurement measurement;
    DbcDatabase dbc;
    const DbcLoadResult loaded = dbc.loadText(database(), "bench.dbc");
    if (!loaded.ok || !loaded.warnings.empty() || dbc.messages().size() != MessageCount)
        return measurement;
    const std::vector<BenchFrame> input = frames(frameCount);

    std::vector<DbcDecodedSignal> decoded;
    std::size_t present = 0;
    double sum = 0;
    QElapsedTimer timer;
    timer.start();
    for (const BenchFrame &frame : input) {
        const DbcMessage *message = dbc.find(frame.id, frame.extended);
        if (!message)
            continue;
        present += message->decode(frame.data, frame.length, decoded);
        sum += decoded.front().value;
        measurement.bytes += frame.length;
    }
    measurement.seconds = double(timer.nsecsElapsed()) / 1e9;
    measurement.frames = frameCount;
    // Every frame's message is known and its signals decoded; the sum keeps
    // the values from being optimised away.
    measurement.ok = present > std::size_t(frameCount) && sum == sum;
    return measurement;
}
