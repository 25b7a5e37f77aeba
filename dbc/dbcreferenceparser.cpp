#include "dbcreferenceparser.h"

#include <utility>

#include "dbcnumber.h"

namespace {

using Kind = DbcLexer::Token::Kind;

const char *objectKeyword(DbcObjectKind kind)
{
    switch (kind) {
    case DbcObjectKind::Node:
        return "BU_";
    case DbcObjectKind::Message:
        return "BO_";
    case DbcObjectKind::Signal:
        return "SG_";
    case DbcObjectKind::EnvironmentVariable:
        return "EV_";
    case DbcObjectKind::Network:
        break;
    }
    return "";
}

} // namespace

DbcReferenceParser::DbcReferenceParser(DbcTokenReader &tokens, DbcContent &target,
                                       DbcReferences &statements)
    : reader(tokens), content(target), references(statements)
{
}

bool DbcReferenceParser::parse(const std::string &keyword)
{
    if (keyword == "CM_")
        parseComment();
    else if (keyword == "BA_")
        parseAttribute();
    else if (keyword == "VAL_")
        parseValueDescriptions();
    else if (keyword == "BA_DEF_")
        parseAttributeDefinition();
    else if (keyword == "BA_DEF_DEF_")
        parseAttributeDefault();
    else if (keyword == "SIG_VALTYPE_")
        parseValueType();
    else if (keyword == "SG_MUL_VAL_")
        parseMultiplexValues();
    else if (keyword == "VAL_TABLE_")
        parseValueTable();
    else
        return false;
    return true;
}

DbcReferences::Target DbcReferenceParser::parseTarget(const Token &at, bool &usable)
{
    DbcReferences::Target target;
    target.line = at.line;
    target.column = at.column;
    usable = true;
    const Token &next = reader.peek();
    if (next.kind != Kind::Identifier)
        return target;
    const Token keyword = reader.take();
    if (keyword.text == "BU_" || keyword.text == "EV_") {
        target.kind
            = keyword.text == "BU_" ? DbcObjectKind::Node : DbcObjectKind::EnvironmentVariable;
        target.name = reader.expect(Kind::Identifier, "a name").text;
    } else if (keyword.text == "BO_" || keyword.text == "SG_") {
        target.kind = keyword.text == "BO_" ? DbcObjectKind::Message : DbcObjectKind::Signal;
        usable = reader.messageIdOf(reader.expect(Kind::Number, "a message identifier"),
                                    target.message);
        if (target.kind == DbcObjectKind::Signal)
            target.name = reader.expect(Kind::Identifier, "a signal name").text;
    } else {
        reader.fail(keyword,
                    "expected BU_, BO_, SG_ or EV_, found " + DbcTokenReader::describe(keyword));
    }
    return target;
}

DbcReferences::Target DbcReferenceParser::parseSignalTarget(const Token &at, bool &usable)
{
    DbcReferences::Target target;
    target.kind = DbcObjectKind::Signal;
    target.line = at.line;
    target.column = at.column;
    usable
        = reader.messageIdOf(reader.expect(Kind::Number, "a message identifier"), target.message);
    target.name = reader.expect(Kind::Identifier, "a signal name").text;
    return target;
}

void DbcReferenceParser::parseComment()
{
    const Token keyword = reader.take();
    bool usable = true;
    DbcReferences::Comment comment{parseTarget(keyword, usable), {}};
    comment.text = reader.expect(Kind::String, "the comment text").text;
    reader.expectPunctuation(';', "after the comment");
    if (usable)
        references.comments.push_back(std::move(comment));
}

void DbcReferenceParser::parseAttributeDefinition()
{
    reader.take();
    DbcAttributeDefinition definition;
    const Token &next = reader.peek();
    if (next.kind == Kind::Identifier) {
        static const DbcObjectKind kinds[]
            = {DbcObjectKind::Node, DbcObjectKind::Message, DbcObjectKind::Signal,
               DbcObjectKind::EnvironmentVariable};
        bool known = false;
        for (const DbcObjectKind kind : kinds) {
            if (next.text == objectKeyword(kind)) {
                definition.kind = kind;
                known = true;
            }
        }
        if (!known)
            reader.fail(next, "expected BU_, BO_, SG_, EV_ or the attribute's name, found "
                                  + DbcTokenReader::describe(next));
        reader.take();
    }
    definition.name = reader.expect(Kind::String, "the attribute's name").text;
    const Token type = reader.expect(Kind::Identifier, "the attribute's type");
    using Type = DbcAttributeDefinition::Type;
    if (type.text == "INT" || type.text == "HEX" || type.text == "FLOAT") {
        definition.type = type.text == "INT"   ? Type::Integer
                          : type.text == "HEX" ? Type::Hex
                                               : Type::Float;
        const Token minimum = reader.expect(Kind::Number, "the attribute's minimum");
        const Token maximum = reader.expect(Kind::Number, "the attribute's maximum");
        if (!DbcNumber::toDouble(minimum.text, definition.minimum)
            || !DbcNumber::toDouble(maximum.text, definition.maximum)) {
            reader.warn(minimum, "attribute " + definition.name + ": the range " + minimum.text
                                     + ' ' + maximum.text + " is not usable; read as 0 0");
            definition.minimum = definition.maximum = 0;
        }
    } else if (type.text == "STRING") {
        definition.type = Type::String;
    } else if (type.text == "ENUM") {
        definition.type = Type::Enumeration;
        while (reader.peek().kind == Kind::String) {
            definition.labels.push_back(reader.take().text);
            if (!reader.peek().isPunctuation(','))
                break;
            reader.take();
        }
    } else {
        reader.fail(type, "expected INT, HEX, FLOAT, STRING or ENUM, found "
                              + DbcTokenReader::describe(type));
    }
    reader.expectPunctuation(';', "after the attribute definition");
    content.attributeDefinitions.push_back(std::move(definition));
}

void DbcReferenceParser::parseAttributeDefault()
{
    const Token keyword = reader.take();
    DbcReferences::Attribute entry;
    entry.target.line = keyword.line;
    entry.target.column = keyword.column;
    entry.name = reader.expect(Kind::String, "the attribute's name").text;
    const Token value = reader.take();
    if (value.kind != Kind::Number && value.kind != Kind::String)
        reader.fail(value, "expected the attribute's default value, found "
                               + DbcTokenReader::describe(value));
    entry.value = value.text;
    entry.quoted = value.kind == Kind::String;
    reader.expectPunctuation(';', "after the attribute's default value");
    references.defaults.push_back(std::move(entry));
}

void DbcReferenceParser::parseAttribute()
{
    const Token keyword = reader.take();
    DbcReferences::Attribute entry;
    entry.name = reader.expect(Kind::String, "the attribute's name").text;
    bool usable = true;
    entry.target = parseTarget(keyword, usable);
    const Token value = reader.take();
    if (value.kind != Kind::Number && value.kind != Kind::String)
        reader.fail(value,
                    "expected the attribute's value, found " + DbcTokenReader::describe(value));
    entry.value = value.text;
    entry.quoted = value.kind == Kind::String;
    reader.expectPunctuation(';', "after the attribute's value");
    if (usable)
        references.attributes.push_back(std::move(entry));
}

std::vector<DbcValueDescription> DbcReferenceParser::parseValuePairs()
{
    std::vector<DbcValueDescription> values;
    while (reader.peek().kind == Kind::Number) {
        const Token number = reader.take();
        DbcValueDescription entry;
        entry.text = reader.expect(Kind::String, "the value's text").text;
        uint64_t unsignedValue = 0;
        if (DbcNumber::toSigned(number.text, entry.value)) {
        } else if (DbcNumber::toUnsigned(number.text, unsignedValue)) {
            // Above the largest signed number: kept as the same 64 bits.
            entry.value = int64_t(unsignedValue);
        } else {
            reader.warn(number, "value " + number.text + " (\"" + entry.text
                                    + "\") is not a whole 64-bit number; left out");
            continue;
        }
        values.push_back(std::move(entry));
    }
    reader.expectPunctuation(';', "after the value descriptions");
    return values;
}

void DbcReferenceParser::parseValueDescriptions()
{
    const Token keyword = reader.take();
    // VAL_ message signal pairs; or VAL_ variable pairs, for an environment
    // variable, which nothing here keeps.
    if (reader.peek().kind == Kind::Identifier) {
        reader.take();
        parseValuePairs();
        return;
    }
    DbcReferences::Values entry;
    bool usable = true;
    entry.target = parseSignalTarget(keyword, usable);
    entry.values = parseValuePairs();
    if (usable)
        references.values.push_back(std::move(entry));
}

void DbcReferenceParser::parseValueTable()
{
    reader.take();
    DbcValueTable table;
    table.name = reader.expect(Kind::Identifier, "the value table's name").text;
    table.values = parseValuePairs();
    content.valueTables.push_back(std::move(table));
}

void DbcReferenceParser::parseValueType()
{
    const Token keyword = reader.take();
    DbcReferences::ValueType entry;
    bool usable = true;
    entry.target = parseSignalTarget(keyword, usable);
    if (reader.peek().isPunctuation(':'))
        reader.take();
    const Token type = reader.expect(Kind::Number, "the value type (0, 1 or 2)");
    reader.expectPunctuation(';', "after the value type");
    if (!DbcNumber::toUnsigned(type.text, entry.type) || entry.type > 2) {
        reader.warn(type, "signal " + entry.target.name + ": value type " + type.text
                              + " is not 0, 1 (float) or 2 (double); passed over");
        return;
    }
    if (usable)
        references.valueTypes.push_back(std::move(entry));
}

void DbcReferenceParser::parseMultiplexValues()
{
    const Token keyword = reader.take();
    DbcReferences::Multiplex entry;
    bool usable = true;
    entry.target = parseSignalTarget(keyword, usable);
    entry.switchName = reader.expect(Kind::Identifier, "the switch's name").text;
    // Ranges "first-last", separated by commas. A dash with a space before
    // the second number reaches here as that number's sign.
    for (;;) {
        const Token first = reader.expect(Kind::Number, "a range of switch values");
        Token last;
        if (reader.peek().isPunctuation('-')) {
            reader.take();
            last = reader.expect(Kind::Number, "the last switch value of the range");
        } else {
            last = reader.expect(Kind::Number, "'-' and the last switch value of the range");
            if (last.text[0] != '-')
                reader.fail(last, "expected '-' between the switch values, found "
                                      + DbcTokenReader::describe(last));
            last.text.erase(0, 1);
        }
        DbcMultiplexRange range;
        if (!DbcNumber::toUnsigned(first.text, range.first)
            || !DbcNumber::toUnsigned(last.text, range.last) || range.first > range.last) {
            reader.warn(first, "signal " + entry.target.name + ": switch values " + first.text
                                   + '-' + last.text
                                   + " are not a range; the statement is passed over");
            usable = false;
        }
        entry.ranges.push_back(range);
        if (!reader.peek().isPunctuation(','))
            break;
        reader.take();
    }
    reader.expectPunctuation(';', "after the switch values");
    if (usable)
        references.multiplexing.push_back(std::move(entry));
}
