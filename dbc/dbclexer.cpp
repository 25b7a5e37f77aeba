#include "dbclexer.h"

#include <cstring>

namespace {

constexpr std::size_t BlockSize = 1 << 16;

bool isDigit(int c)
{
    return c >= '0' && c <= '9';
}

bool isHexDigit(int c)
{
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Names may hold bytes of any 8-bit encoding besides ASCII letters.
bool startsIdentifier(int c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x80;
}

bool continuesIdentifier(int c)
{
    return startsIdentifier(c) || isDigit(c);
}

bool isSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

} // namespace

DbcLexer::DbcLexer(std::istream &stream) : in(stream), buffer(BlockSize)
{
    if (peekChar() == 0xEF && peekChar(1) == 0xBB && peekChar(2) == 0xBF)
        position += 3;
}

const DbcLexer::Token &DbcLexer::peek(std::size_t ahead)
{
    while (lookahead.size() <= ahead)
        lookahead.push_back(read());
    return lookahead[ahead];
}

DbcLexer::Token DbcLexer::take()
{
    if (lookahead.empty())
        return read();
    Token token = std::move(lookahead.front());
    lookahead.pop_front();
    return token;
}

bool DbcLexer::fill(std::size_t wanted)
{
    if (end - position >= wanted)
        return true;
    if (exhausted)
        return false;
    // Keep the unread bytes and read a block behind them.
    std::memmove(buffer.data(), buffer.data() + position, end - position);
    end -= position;
    position = 0;
    while (!exhausted && end - position < wanted) {
        if (buffer.size() - end < BlockSize)
            buffer.resize(end + BlockSize);
        in.read(buffer.data() + end, std::streamsize(BlockSize));
        const std::streamsize got = in.gcount();
        end += std::size_t(got > 0 ? got : 0);
        if (got <= 0 || !in)
            exhausted = true;
    }
    return end - position >= wanted;
}

int DbcLexer::peekChar(std::size_t ahead)
{
    if (!fill(ahead + 1))
        return -1;
    return static_cast<unsigned char>(buffer[position + ahead]);
}

void DbcLexer::advance()
{
    const int c = peekChar();
    if (c < 0)
        return;
    ++position;
    previous = c;
    if (c == '\n') {
        ++line;
        column = 1;
        atLineStart = true;
    } else {
        ++column;
    }
}

DbcLexer::Token DbcLexer::read()
{
    for (;;) {
        const int c = peekChar();
        if (isSpace(c)) {
            advance();
        } else if (c == '/' && peekChar(1) == '/') {
            while (peekChar() >= 0 && peekChar() != '\n')
                advance();
        } else {
            break;
        }
    }
    Token token;
    token.line = line;
    token.column = column;
    token.lineStart = atLineStart;
    atLineStart = false;

    const int c = peekChar();
    const int next = peekChar(1);
    // A sign belongs to a number unless it follows a word or a number, as
    // the sign of "@1+" or the dash of a range "3-5" do.
    const bool signedNumber = (c == '-' || c == '+')
                              && (isDigit(next) || (next == '.' && isDigit(peekChar(2))))
                              && !continuesIdentifier(previous) && previous != '.';
    if (c < 0) {
        token.kind = Token::Kind::End;
    } else if (isDigit(c) || (c == '.' && isDigit(next)) || signedNumber) {
        readNumber(token);
    } else if (startsIdentifier(c)) {
        token.kind = Token::Kind::Identifier;
        while (continuesIdentifier(peekChar())) {
            token.text += char(peekChar());
            advance();
        }
    } else if (c == '"') {
        readString(token);
    } else {
        token.kind = Token::Kind::Punctuation;
        token.text = char(c);
        advance();
    }
    return token;
}

void DbcLexer::readNumber(Token &token)
{
    token.kind = Token::Kind::Number;
    auto take = [this, &token] {
        token.text += char(peekChar());
        advance();
    };
    if (peekChar() == '-' || peekChar() == '+')
        take();
    if (peekChar() == '0' && (peekChar(1) == 'x' || peekChar(1) == 'X')
        && isHexDigit(peekChar(2))) {
        take();
        take();
        while (isHexDigit(peekChar()))
            take();
        return;
    }
    while (isDigit(peekChar()))
        take();
    if (peekChar() == '.') {
        take();
        while (isDigit(peekChar()))
            take();
    }
    const int e = peekChar();
    const int after = peekChar(1);
    if ((e == 'e' || e == 'E')
        && (isDigit(after) || ((after == '-' || after == '+') && isDigit(peekChar(2))))) {
        take();
        take();
        while (isDigit(peekChar()))
            take();
    }
}

void DbcLexer::readString(Token &token)
{
    advance(); // the opening quote
    for (;;) {
        const int c = peekChar();
        if (c < 0) {
            token.kind = Token::Kind::Error;
            token.text = "the text that starts here has no closing quote";
            return;
        }
        advance();
        if (c == '"')
            break;
        // Line ends inside a text read the same from any system.
        if (c == '\r' && peekChar() == '\n')
            continue;
        // Writers escape quotes and backslashes; any other backslash is text.
        if (c == '\\' && (peekChar() == '"' || peekChar() == '\\')) {
            token.text += char(peekChar());
            advance();
            continue;
        }
        token.text += char(c);
    }
    token.kind = Token::Kind::String;
}
