#pragma once

#include <cstdint>
#include <istream>
#include <string>

#include "dbclexer.h"
#include "dbctypes.h"

// The tokens of one DBC file with what every statement's reading needs:
// expecting a kind of token, stopping the file at a broken statement, and
// warning about one item.
class DbcTokenReader final
{
public:
    using Token = DbcLexer::Token;

    // Thrown where a statement breaks the format; ends the file's parse.
    struct Failure
    {
        int line;
        int column;
        std::string message;
    };

    DbcTokenReader(std::istream &in, const std::string &fileName, DbcLoadResult &result);

    // The tokens ahead; a token the lexer could not read (a text without its
    // closing quote) stops the file here.
    const Token &peek(std::size_t ahead = 0);
    Token take();
    // The next token, which must be of that kind; what names it in the error.
    Token expect(Token::Kind kind, const char *what);
    void expectPunctuation(char c, const char *where);
    [[noreturn]] void fail(const Token &at, const std::string &message);
    void warn(const Token &at, const std::string &message);
    void warn(int line, int column, const std::string &message);
    // A message identifier as references write it; warns when it has more
    // than 32 bits.
    bool messageIdOf(const Token &token, uint32_t &id);

    // The token as an error message names it.
    static std::string describe(const Token &token);
    // Statement keywords of the format, known or passed over: one ends a
    // list of names (nodes, receivers) and, at a line's start, a statement
    // being passed over.
    static bool isKeyword(const std::string &word);

private:
    DbcLexer lexer;
    const std::string &fileName;
    DbcLoadResult &result;
};
