#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "dbctypes.h"

// The statements that refer to messages, signals and nodes by name (CM_, BA_,
// VAL_, SIG_VALTYPE_, SG_MUL_VAL_, BA_DEF_DEF_), held by the parser until the
// whole file is read, since a file may give them before what they name.
struct DbcReferences
{
    // What a statement refers to: a message by its identifier as the file
    // writes it, a signal of it, or a node or other object by name.
    struct Target
    {
        DbcObjectKind kind = DbcObjectKind::Network;
        uint32_t message = 0;
        std::string name;
        int line = 0;
        int column = 0;
    };
    struct Comment
    {
        Target target;
        std::string text;
    };
    struct Values
    {
        Target target;
        std::vector<DbcValueDescription> values;
    };
    struct Attribute
    {
        Target target;
        std::string name;
        std::string value;
        bool quoted = false; // given as text, not as a number
    };
    struct ValueType
    {
        Target target;
        uint64_t type = 0;
    };
    struct Multiplex
    {
        Target target;
        std::string switchName;
        std::vector<DbcMultiplexRange> ranges;
    };

    std::vector<Comment> comments;
    std::vector<Values> values;
    std::vector<Attribute> attributes;
    std::vector<Attribute> defaults; // BA_DEF_DEF_: name and value only
    std::vector<ValueType> valueTypes;
    std::vector<Multiplex> multiplexing;

    // Each message's position in the content, by the identifier the file writes.
    std::unordered_map<uint32_t, std::size_t> messageIndex;
    // Messages and signals left out with a warning already (or on purpose):
    // statements about them are passed over without another.
    std::unordered_set<uint32_t> leftOutMessages;
    std::unordered_set<std::string> leftOutSignals; // "identifier name"

    static std::string signalKey(uint32_t message, const std::string &name)
    {
        return std::to_string(message) + ' ' + name;
    }
};
