#pragma once

#include <cstddef>
#include <deque>
#include <istream>
#include <string>
#include <vector>

// Splits DBC text into tokens, reading the stream in blocks so that a file of
// any size passes through a fixed buffer. White space, line ends of any kind
// and // comments separate tokens; a UTF-8 byte order mark is passed over.
class DbcLexer final
{
public:
    struct Token
    {
        enum class Kind : unsigned char { End, Identifier, Number, String, Punctuation, Error };
        Kind kind = Kind::End;
        // The identifier or number as written, the string's content with its
        // escapes resolved, the punctuation character, or the error's text.
        std::string text;
        int line = 0;
        int column = 0;
        bool lineStart = false; // the first token on its line

        bool is(Kind k, char c) const { return kind == k && text.size() == 1 && text[0] == c; }
        bool isPunctuation(char c) const { return is(Kind::Punctuation, c); }
        bool isIdentifier(const char *word) const
        {
            return kind == Kind::Identifier && text == word;
        }
    };

    explicit DbcLexer(std::istream &in);

    // The token ahead tokens after the next one, without taking it.
    const Token &peek(std::size_t ahead = 0);
    Token take();

private:
    int peekChar(std::size_t ahead = 0);
    void advance();
    bool fill(std::size_t wanted);
    Token read();
    void readNumber(Token &token);
    void readString(Token &token);

    std::istream &in;
    std::vector<char> buffer;
    std::size_t position = 0;
    std::size_t end = 0;
    bool exhausted = false;
    int line = 1;
    int column = 1;
    int previous = '\n'; // the character before the current one
    bool atLineStart = true;
    std::deque<Token> lookahead;
};
