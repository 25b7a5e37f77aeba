#pragma once

#include <memory>
#include <vector>

#include <QLatin1String>
#include <QString>
#include <QTextCodec>

class QFile;
class QTextStream;

// The lines of a text file as QTextStream::readLineInto reads them with the
// stream's default decoding (the locale's codec, or the Unicode codec a
// byte-order mark announces), each trimmed. Decoding every byte into UTF-16
// would dominate the reading of a log of millions of lines, so the file is cut
// into lines as bytes, and a line of ASCII characters alone - which any of the
// codecs handled here decodes into the same characters - is handed out as its
// bytes. Other lines are decoded with the codec, from the same state the
// stream would be in. Encodings whose bytes cannot be cut at line feeds before
// decoding (UTF-16, UTF-32, locale codecs other than UTF-8 and Latin-1) are
// read through a text stream.
class LineSource final
{
public:
    enum class Decoding {
        Bytes, // as above, where the encoding allows
        Stream // always a QTextStream
    };

    static constexpr std::size_t DefaultReadSize = 1 << 20;

    // file is open for reading. readSize: bytes asked of the file at a time (a
    // longer line grows the buffer).
    explicit LineSource(QFile &file, Decoding decoding = Decoding::Bytes,
                        std::size_t readSize = DefaultReadSize);
    ~LineSource();
    LineSource(const LineSource &) = delete;
    LineSource &operator=(const LineSource &) = delete;

    Decoding decoding() const { return stream ? Decoding::Stream : Decoding::Bytes; }

    bool atEnd();
    // Moves to the next line; the current one stays valid until the next call
    // of atEnd or readLine.
    void readLine();

    // The current line, trimmed: its bytes when it holds ASCII characters
    // alone, else its text.
    bool isAscii() const { return ascii; }
    QLatin1String asciiLine() const { return asciiText; }
    const QString &textLine() const { return text; }
    // Whether the current line ended with a line feed or a carriage return; a
    // last line without either may have been cut. Read through a text stream,
    // every line counts as ended.
    bool hasLineEnd() const { return ended; }
    // How many bytes of the file the lines so far took, and the file's size
    // (0 where it has none, as a pipe); through a text stream, the bytes the
    // stream has read ahead count too.
    qint64 position() const;
    qint64 size() const;

private:
    bool prepareNext();
    void fill();
    qint64 offsetOf(const char *at) const;
    // Makes the bytes [begin, end) the next line; false when they are no line
    // at all.
    bool take(char *begin, char *end, bool terminated);
    void decode(const char *begin, const char *end);

    QFile &file;
    std::unique_ptr<QTextStream> stream;
    QTextCodec *codec = nullptr;

    bool textMode = false; // the file was opened in text mode
    qint64 fileSize = 0;

    std::size_t readSize;
    std::vector<char> buffer;
    qint64 bufferOffset = 0; // file offset of the buffer's first byte
    std::size_t head = 0;    // first byte not yet consumed
    std::size_t filled = 0;
    bool exhausted = false;  // nothing more to read from the file

    // What a text stream would know at this point: how far it has read the
    // file, and whether its decoder has passed the place of a byte-order mark.
    qint64 streamRead = 0;
    bool headerDone = false;

    bool prepared = false; // the next line is read ahead
    bool hasNext = false;
    bool nextAscii = true;
    QLatin1String nextAsciiText;
    QString nextText;
    bool nextEnded = true;
    qint64 nextEnd = 0; // file offset after the next line

    bool ascii = true;
    QLatin1String asciiText;
    QString text;
    bool ended = true;
    qint64 endOffset = 0; // file offset after the current line
};
