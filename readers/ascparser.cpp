#include "ascparser.h"

#include <cstring>
#include <limits>
#include <string_view>

#include "ascline.h"
#include "linesource.h"
#include "textlogreader.h"

namespace {

bool contains(QLatin1String line, const char *word)
{
    return std::string_view(line.data(), std::size_t(line.size())).find(word)
           != std::string_view::npos;
}

bool contains(const QString &line, const char *word)
{
    return line.contains(QLatin1String(word));
}

bool startsWith(QLatin1String line, const char *prefix, int size)
{
    return line.size() >= size && std::memcmp(line.data(), prefix, std::size_t(size)) == 0;
}

bool startsWith(const QString &line, const char *prefix, int size)
{
    return line.startsWith(QLatin1String(prefix, size));
}

template<typename Text>
bool isSkippedLine(const Text &line)
{
    if (line.isEmpty())
        return true;
    switch (line.at(0).unicode()) {
    case ';': return true;
    case 'd': return startsWith(line, "date", 4);
    case 'b': return startsWith(line, "base", 4);
    case '/': return startsWith(line, "//", 2);
    case 'E': return startsWith(line, "End", 3);
    default: return false;
    }
}

// What the header lines said so far, and the time of the last event.
struct Dialect
{
    AscLine::Settings settings;
    uint64_t lastTime = 0;
};

uint64_t saturatingSum(uint64_t a, uint64_t b)
{
    return b > std::numeric_limits<uint64_t>::max() - a ? std::numeric_limits<uint64_t>::max()
                                                         : a + b;
}

template<typename Text>
TextLogReader::Line readLine(const Text &line, Dialect &dialect, Vemi_CANFD_Data &frame)
{
    using Line = TextLogReader::Line;
    if (isSkippedLine(line)) {
        if (startsWith(line, "base", 4))
            AscLine::readBaseLine(line, dialect.settings);
        return Line::Skipped;
    }
    const bool relative = dialect.settings.relative;
    if (AscLine::readFrame(line, dialect.settings.base, frame)) {
        if (relative)
            frame.timestamp = saturatingSum(dialect.lastTime, frame.timestamp);
        dialect.lastTime = frame.timestamp;
        return Line::Frame;
    }
    // Relative times count from the previous event, frame or not.
    uint64_t micros = 0;
    if (relative && AscLine::readTime(line, micros))
        dialect.lastTime = saturatingSum(dialect.lastTime, micros);
    // Lines that name no frame at all reach the closing step, as text between
    // frames always did; the others are passed over like headers.
    const bool namesFrame =
        contains(line, "CANFD") || contains(line, "Rx") || contains(line, "Tx");
    return namesFrame ? Line::Skipped : Line::Passed;
}

// A last line without its line end is whole when nothing of it can be missing:
// a header or comment, text that starts with no time (not the start of an
// event), or a frame with every data byte. Event text cut after its time
// reads as cut too.
template<typename Text>
bool isWholeLastLine(const Text &line, int base)
{
    uint64_t micros = 0;
    if (isSkippedLine(line) || !AscLine::readTime(line, micros))
        return true;
    Vemi_CANFD_Data frame;
    bool complete = false;
    return AscLine::readFrame(line, base, frame, &complete) && complete;
}

template<typename Text>
bool parseWholeLine(const Text &line, Vemi_CANFD_Data &frame, int base)
{
    if (AscLine::readFrame(line, base, frame))
        return true;
    // Not by assignment, which would keep the data bytes a failed line stored.
    std::memset(static_cast<void *>(&frame), 0, sizeof frame);
    return false;
}

} // namespace

AscParser::AscParser() = default;
AscParser::~AscParser() = default;

bool AscParser::parseLine(QLatin1String line, Vemi_CANFD_Data &frame, int base)
{
    return parseWholeLine(line, frame, base);
}

bool AscParser::parseLine(const QString &line, Vemi_CANFD_Data &frame, int base)
{
    return parseWholeLine(line, frame, base);
}

bool AscParser::parse(const QString &filePath, std::atomic<bool> &stopRequested)
{
    TextLogReader reader(*this, {QStringLiteral("开始解析ASC文件..."), QStringLiteral("正在解析..."),
                                 QStringLiteral("ASC文件解析成功")});
    Dialect dialect;
    // Not QIODevice::Text: that mode deletes every CR, also one standing
    // between two tokens, and glues them. The stream drops the CR of a CR LF
    // line end by itself; any other CR is whitespace like a tab.
    return reader.run(
        filePath, QIODevice::NotOpen, stopRequested,
        [&dialect](const LineSource &line, qint64, Vemi_CANFD_Data &frame) {
            return line.isAscii() ? readLine(line.asciiLine(), dialect, frame)
                                  : readLine(line.textLine(), dialect, frame);
        },
        [&dialect](const LineSource &line, qint64, TextLogReader::Line, const Vemi_CANFD_Data &) {
            const int base = dialect.settings.base;
            return line.isAscii() ? isWholeLastLine(line.asciiLine(), base)
                                  : isWholeLastLine(line.textLine(), base);
        });
}
