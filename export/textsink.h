#pragma once

#include <QTextStream>

class LineBuffer;

// Where a text writer's frame lines go: the output file, as the text stream
// over it would write them. A line of ASCII text comes out of the stream's
// codec as the same bytes wherever the codec maps ASCII to itself (UTF-8, the
// Latin and most other 8-bit encodings); there the lines are gathered and
// written to the file directly, which spares the stream's widening of every
// line to UTF-16 and encoding it back. Other codecs get the lines through the
// stream.
class TextSink final
{
public:
    enum class Route {
        Direct, // as above, where the codec allows
        Stream  // always through the stream
    };

    explicit TextSink(QTextStream &out, Route route = Route::Direct);
    // Writes what is gathered; the stream may be used again afterwards.
    ~TextSink();
    TextSink(const TextSink &) = delete;
    TextSink &operator=(const TextSink &) = delete;

    Route route() const { return direct ? Route::Direct : Route::Stream; }

    // line holds ASCII text only.
    void write(const LineBuffer &line);
    // False once a write failed.
    bool ok() const { return direct ? !failed : out.status() == QTextStream::Ok; }

private:
    void flush();

    static constexpr int BlockSize = 1 << 16;

    QTextStream &out;
    bool direct = false;
    bool failed = false;
    int used = 0;
    char block[BlockSize];
};
