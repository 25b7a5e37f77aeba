// libFuzzer target: the ASC reader over arbitrary bytes.
#include "ascparser.h"
#include "parsercheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    AscParser parser;
    ParserCheck::run(parser, data, size, ParserCheck::Frames::BusFrames);
    return 0;
}
