#include "linesource.h"

#include <algorithm>
#include <cstring>

#include <QFile>
#include <QTextStream>

namespace {

// The mib numbers of the codecs that decode ASCII bytes as themselves and
// never use a line feed byte inside another character.
constexpr int Utf8Mib = 106;
constexpr int Latin1Mib = 4;

// QTextStream reads its device in blocks of this many bytes and decodes each
// as it comes. Where a block ends shows in a few results: how a broken
// sequence cut by the block end decodes, whether a byte-order mark at the
// start of a block is dropped, whether bytes at the end of the file that
// decode to nothing make an empty last line.
constexpr qint64 StreamBlock = 16384;

bool isAsciiText(const char *begin, const char *end)
{
    uint64_t seen = 0;
    for (; end - begin >= 8; begin += 8) {
        uint64_t word;
        std::memcpy(&word, begin, 8);
        seen |= word;
    }
    for (; begin < end; ++begin)
        seen |= uint8_t(*begin);
    return (seen & 0x8080808080808080ull) == 0;
}

// QChar::isSpace for ASCII: tab, line feed, vertical tab, form feed, carriage
// return and space.
bool isAsciiSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Removes the carriage returns of [begin, end) in place; returns the new end.
char *withoutCarriageReturns(char *begin, char *end)
{
    char *out = static_cast<char *>(std::memchr(begin, '\r', std::size_t(end - begin)));
    if (!out)
        return end;
    for (const char *in = out; in < end; ++in) {
        if (*in != '\r')
            *out++ = *in;
    }
    return out;
}

qint64 blockEnd(qint64 offset)
{
    return (offset / StreamBlock + 1) * StreamBlock;
}

} // namespace

LineSource::LineSource(QFile &input, Decoding decoding, std::size_t bytesPerRead)
    : file(input)
    , readSize(std::max<std::size_t>(bytesPerRead, 1))
{
    // The text stream reads with the device's text mode off and drops the
    // carriage returns from the decoded text; so it looks for a byte-order
    // mark among the raw bytes, and so does this.
    textMode = file.isTextModeEnabled();
    file.setTextModeEnabled(false);
    codec = QTextCodec::codecForUtfText(file.peek(4), QTextCodec::codecForLocale());
    file.setTextModeEnabled(textMode);
    const int mib = codec ? codec->mibEnum() : 0;
    if (decoding == Decoding::Stream || (mib != Utf8Mib && mib != Latin1Mib)) {
        stream = std::make_unique<QTextStream>(&file);
        return;
    }
    file.setTextModeEnabled(false);
    fileSize = file.size();
    buffer.resize(2 * readSize);
}

LineSource::~LineSource()
{
    file.setTextModeEnabled(textMode);
}

bool LineSource::atEnd()
{
    if (stream)
        return stream->atEnd();
    if (!prepared) {
        hasNext = prepareNext();
        prepared = true;
    }
    return !hasNext;
}

void LineSource::readLine()
{
    if (stream) {
        stream->readLineInto(&text);
        text = std::move(text).trimmed();
        ascii = false;
        return;
    }
    if (atEnd())
        return;
    prepared = false;
    ascii = nextAscii;
    asciiText = nextAsciiText;
    ended = nextEnded;
    endOffset = nextEnd;
    if (!ascii)
        text.swap(nextText);
}

bool LineSource::prepareNext()
{
    for (;;) {
        char *begin = buffer.data() + head;
        char *end = buffer.data() + filled;
        if (void *feed = std::memchr(begin, '\n', std::size_t(end - begin))) {
            char *lineEnd = static_cast<char *>(feed);
            head = std::size_t(lineEnd + 1 - buffer.data());
            nextEnded = true;
            nextEnd = offsetOf(lineEnd) + 1;
            take(begin, lineEnd, true);
            streamRead = std::min(fileSize, blockEnd(offsetOf(lineEnd)));
            return true;
        }
        if (!exhausted) {
            fill();
            continue;
        }
        if (begin == end)
            return false;
        head = filled;
        // A carriage return alone ends a line too.
        nextEnded = end[-1] == '\r';
        nextEnd = offsetOf(end);
        return take(begin, end, false);
    }
}

qint64 LineSource::position() const
{
    return stream ? file.pos() : endOffset;
}

qint64 LineSource::size() const
{
    return stream ? file.size() : fileSize;
}

void LineSource::fill()
{
    if (head > 0) {
        std::memmove(buffer.data(), buffer.data() + head, filled - head);
        bufferOffset += qint64(head);
        filled -= head;
        head = 0;
    }
    if (buffer.size() - filled < readSize)
        buffer.resize(filled + 2 * readSize);
    const qint64 got = file.read(buffer.data() + filled, qint64(readSize));
    if (got <= 0)
        exhausted = true;
    else
        filled += std::size_t(got);
}

qint64 LineSource::offsetOf(const char *at) const
{
    return bufferOffset + qint64(at - buffer.data());
}

bool LineSource::take(char *begin, char *end, bool terminated)
{
    nextAscii = isAsciiText(begin, end);
    if (nextAscii) {
        if (textMode)
            end = withoutCarriageReturns(begin, end);
        // An unterminated last line of carriage returns alone decodes to nothing.
        if (!terminated && begin == end && streamRead == fileSize)
            return false;
        while (begin < end && isAsciiSpace(*begin))
            ++begin;
        while (end > begin && isAsciiSpace(end[-1]))
            --end;
        nextAsciiText = QLatin1String(begin, int(end - begin));
        return true;
    }
    decode(begin, terminated ? end + 1 : end);
    if (terminated)
        nextText.chop(1);
    if (textMode)
        nextText.remove(QLatin1Char('\r'));
    // The stream has read the whole file already: bytes that decode to no
    // character make no line.
    if (!terminated && nextText.isEmpty() && streamRead == fileSize)
        return false;
    nextText = std::move(nextText).trimmed();
    return true;
}

void LineSource::decode(const char *begin, const char *end)
{
    // The stream's decoder is in a clean state after a line feed. Decoded in
    // the pieces the stream's blocks cut, from the same state.
    QTextCodec::ConverterState state(headerDone ? QTextCodec::IgnoreHeader
                                                : QTextCodec::DefaultConversion);
    nextText.clear();
    qint64 offset = offsetOf(begin);
    // Within a block the stream's decoder is past its start, where alone it
    // drops a byte-order mark: a line feed before the line keeps it there.
    const bool midBlock = offset % StreamBlock != 0;
    if (midBlock && !headerDone) {
        const QString feed = codec->toUnicode("\n", 1, &state);
        Q_UNUSED(feed);
    }
    while (begin < end) {
        const qint64 piece = std::min<qint64>(end - begin, blockEnd(offset) - offset);
        nextText += codec->toUnicode(begin, int(piece), &state);
        begin += piece;
        offset += piece;
    }
    headerDone = headerDone || (state.flags & QTextCodec::IgnoreHeader);
}
