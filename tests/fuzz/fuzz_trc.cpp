// libFuzzer target: the PEAK trace reader over arbitrary bytes.
#include "parsercheck.h"
#include "trcparser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TrcParser parser;
    ParserCheck::run(parser, data, size, ParserCheck::Frames::BusFrames);
    return 0;
}
