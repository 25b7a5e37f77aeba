// libFuzzer target: the BLF reader end to end, through the binlog library.
#include "blfparser.h"
#include "parsercheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    BlfParser parser;
    ParserCheck::run(parser, data, size, ParserCheck::Frames::BusFrames);
    return 0;
}
