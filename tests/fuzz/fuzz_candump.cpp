// libFuzzer target: the candump log reader over arbitrary bytes.
#include "candumpparser.h"
#include "parsercheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    CandumpParser parser;
    ParserCheck::run(parser, data, size, ParserCheck::Frames::BusFrames);
    return 0;
}
