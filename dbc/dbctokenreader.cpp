#include "dbctokenreader.h"

#include <string_view>
#include <unordered_set>

#include "dbcnumber.h"

namespace {

using Kind = DbcLexer::Token::Kind;

} // namespace

DbcTokenReader::DbcTokenReader(std::istream &in, const std::string &name, DbcLoadResult &outcome)
    : lexer(in), fileName(name), result(outcome)
{
}

const DbcTokenReader::Token &DbcTokenReader::peek(std::size_t ahead)
{
    const Token &token = lexer.peek(ahead);
    if (token.kind == Kind::Error)
        fail(token, token.text);
    return token;
}

DbcTokenReader::Token DbcTokenReader::take()
{
    peek();
    return lexer.take();
}

bool DbcTokenReader::isKeyword(const std::string &word)
{
    static const std::unordered_set<std::string_view> keywords{"VERSION",
                                                               "NS_",
                                                               "NS_DESC_",
                                                               "BS_",
                                                               "BU_",
                                                               "BO_",
                                                               "SG_",
                                                               "EV_",
                                                               "CM_",
                                                               "BA_DEF_",
                                                               "BA_DEF_DEF_",
                                                               "BA_",
                                                               "VAL_",
                                                               "VAL_TABLE_",
                                                               "SIG_VALTYPE_",
                                                               "SG_MUL_VAL_",
                                                               "BO_TX_BU_",
                                                               "ENVVAR_DATA_",
                                                               "EV_DATA_",
                                                               "SGTYPE_",
                                                               "SGTYPE_VAL_",
                                                               "SIG_TYPE_REF_",
                                                               "SIG_GROUP_",
                                                               "SIGTYPE_VALTYPE_",
                                                               "BA_DEF_SGTYPE_",
                                                               "BA_SGTYPE_",
                                                               "BA_DEF_REL_",
                                                               "BA_REL_",
                                                               "BA_DEF_DEF_REL_",
                                                               "BU_SG_REL_",
                                                               "BU_EV_REL_",
                                                               "BU_BO_REL_",
                                                               "CAT_DEF_",
                                                               "CAT_",
                                                               "FILTER"};
    return keywords.count(word) != 0;
}

bool DbcTokenReader::messageIdOf(const Token &token, uint32_t &id)
{
    uint64_t value = 0;
    if (!DbcNumber::toUnsigned(token.text, value) || value > 0xFFFFFFFFu) {
        warn(token, "message identifier " + token.text
                        + " is not a 32-bit number; the statement is passed over");
        return false;
    }
    id = uint32_t(value);
    return true;
}

DbcTokenReader::Token DbcTokenReader::expect(Token::Kind kind, const char *what)
{
    Token token = take();
    if (token.kind != kind)
        fail(token, std::string("expected ") + what + ", found " + describe(token));
    return token;
}

void DbcTokenReader::expectPunctuation(char c, const char *where)
{
    const Token token = take();
    if (!token.isPunctuation(c))
        fail(token, std::string("expected '") + c + "' " + where + ", found " + describe(token));
}

void DbcTokenReader::fail(const Token &at, const std::string &message)
{
    throw Failure{at.line, at.column, message};
}

void DbcTokenReader::warn(const Token &at, const std::string &message)
{
    warn(at.line, at.column, message);
}

void DbcTokenReader::warn(int line, int column, const std::string &message)
{
    result.warn(DbcDiagnostic{fileName, line, column, message});
}

std::string DbcTokenReader::describe(const Token &token)
{
    switch (token.kind) {
    case Kind::End:
        return "the end of the file";
    case Kind::String:
        return "a quoted text";
    case Kind::Punctuation: {
        const unsigned char c = static_cast<unsigned char>(token.text[0]);
        if (c < 0x20 || c >= 0x7F)
            return "the byte " + DbcNumber::hex(c);
        return '\'' + token.text + '\'';
    }
    case Kind::Identifier:
    case Kind::Number:
    case Kind::Error:
        break;
    }
    return '\'' + (token.text.size() > 40 ? token.text.substr(0, 40) + "..." : token.text) + '\'';
}
