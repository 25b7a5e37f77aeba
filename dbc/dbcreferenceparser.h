#pragma once

#include <string>
#include <vector>

#include "dbccontent.h"
#include "dbcreferences.h"
#include "dbctokenreader.h"

// Reads the statements that describe what other statements define: comments
// (CM_), attributes (BA_DEF_, BA_DEF_DEF_, BA_), value descriptions (VAL_,
// VAL_TABLE_), float types (SIG_VALTYPE_) and switch values (SG_MUL_VAL_).
// What names a message or signal is kept in the references for later.
class DbcReferenceParser final
{
public:
    using Token = DbcTokenReader::Token;

    DbcReferenceParser(DbcTokenReader &reader, DbcContent &content, DbcReferences &references);

    // Reads the statement that starts with keyword; false, having read
    // nothing, when keyword is not one of these statements'.
    bool parse(const std::string &keyword);

private:
    // The object after CM_ or BA_: none (the network), BU_ node, BO_ message,
    // SG_ message signal, EV_ variable. usable is false after a warning.
    DbcReferences::Target parseTarget(const Token &at, bool &usable);
    // A message identifier and a signal name, as VAL_ and others begin.
    DbcReferences::Target parseSignalTarget(const Token &at, bool &usable);
    std::vector<DbcValueDescription> parseValuePairs();
    void parseComment();
    void parseAttributeDefinition();
    void parseAttributeDefault();
    void parseAttribute();
    void parseValueDescriptions();
    void parseValueTable();
    void parseValueType();
    void parseMultiplexValues();

    DbcTokenReader &reader;
    DbcContent &content;
    DbcReferences &references;
};
