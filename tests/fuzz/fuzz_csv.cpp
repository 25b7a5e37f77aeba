// libFuzzer target: the CSV reader over arbitrary bytes.
#include "csvparser.h"
#include "parsercheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    CsvParser parser;
    ParserCheck::run(parser, data, size);
    return 0;
}
