#include "textsink.h"

#include <cstring>

#include <QIODevice>
#include <QTextCodec>

#include "linebuffer.h"

namespace {

bool encodesAsciiAsItself(const QTextCodec *codec)
{
    if (!codec)
        return false;
    QByteArray ascii(128, '\0');
    for (int c = 0; c < 128; ++c)
        ascii[c] = char(c);
    // A stateless conversion: no byte-order mark or shift sequence in front.
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    const QString text = QString::fromLatin1(ascii.constData(), ascii.size());
    return codec->fromUnicode(text.constData(), text.size(), &state) == ascii;
}

} // namespace

TextSink::TextSink(QTextStream &stream, Route route)
    : out(stream)
{
    direct = route == Route::Direct && out.device() && encodesAsciiAsItself(out.codec());
    // What the stream holds goes out first.
    if (direct)
        out.flush();
}

TextSink::~TextSink()
{
    flush();
}

void TextSink::write(const LineBuffer &line)
{
    if (!direct) {
        line.writeTo(out);
        return;
    }
    if (used + line.size() > BlockSize)
        flush();
    std::memcpy(block + used, line.data(), std::size_t(line.size()));
    used += line.size();
}

void TextSink::flush()
{
    if (!direct || used == 0)
        return;
    if (!failed && out.device()->write(block, used) != used) {
        failed = true;
        // The stream says so too: the file's own error does not outlive its
        // closing, and a writer with nothing else to write through the
        // stream would leave the failure unseen.
        out.setStatus(QTextStream::WriteFailed);
    }
    used = 0;
}
