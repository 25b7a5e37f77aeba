#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The small value types a database is made of, and the outcome of loading a file.

enum class DbcByteOrder : uint8_t { Intel, Motorola };

// How a signal's bits are read: a whole number, or an IEEE float (32 bits) or
// double (64 bits) as SIG_VALTYPE_ marks it (1 and 2 in the file).
enum class DbcValueType : uint8_t { Integer, Float, Double };

// What an attribute, comment or definition belongs to.
enum class DbcObjectKind : uint8_t { Network, Node, Message, Signal, EnvironmentVariable };

// One row of a value table: a raw value and its text.
struct DbcValueDescription
{
    int64_t value = 0;
    std::string text;
};

// Switch values first to last, inclusive, that select a multiplexed signal.
struct DbcMultiplexRange
{
    uint64_t first = 0;
    uint64_t last = 0;
};

// An attribute value as the file gives it; an enumeration's index is stored
// as its label. An attribute given twice is kept twice, in order.
struct DbcAttribute
{
    std::string name;
    std::string value;

    // The value that counts (the last given) of the named attribute, or nullptr.
    static const std::string *find(const std::vector<DbcAttribute> &attributes,
                                   std::string_view name)
    {
        for (auto it = attributes.rbegin(); it != attributes.rend(); ++it) {
            if (it->name == name)
                return &it->value;
        }
        return nullptr;
    }
};

struct DbcAttributeDefinition
{
    enum class Type : uint8_t { Integer, Hex, Float, String, Enumeration };
    std::string name;
    DbcObjectKind kind = DbcObjectKind::Network;
    Type type = Type::String;
    double minimum = 0;
    double maximum = 0;
    std::vector<std::string> labels; // Enumeration only
    std::string defaultValue;        // from BA_DEF_DEF_, empty when there is none
};

struct DbcNode
{
    std::string name;
    std::string comment;
    std::vector<DbcAttribute> attributes;
};

// A place in a file and what was found there. line and column count from 1;
// the column counts bytes.
struct DbcDiagnostic
{
    std::string file;
    int line = 0;
    int column = 0;
    std::string message;

    // "file:line:column: message", the way compilers write it.
    std::string text() const
    {
        return file + ':' + std::to_string(line) + ':' + std::to_string(column) + ": " + message;
    }
};

// What loading one file gave: ok and its warnings, or the error that stopped it.
struct DbcLoadResult
{
    // Kept warnings at most; a damaged 100 MB file could otherwise hold millions.
    static constexpr std::size_t WarningLimit = 1000;

    bool ok = false;
    DbcDiagnostic error;
    std::vector<DbcDiagnostic> warnings;
    std::size_t droppedWarnings = 0; // warnings past the limit, counted only

    void warn(DbcDiagnostic warning)
    {
        if (warnings.size() < WarningLimit)
            warnings.push_back(std::move(warning));
        else
            ++droppedWarnings;
    }
};
