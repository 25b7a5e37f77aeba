#pragma once

#include <string>
#include <string_view>

// A name pattern as a filter writes it: * stands for any run of characters,
// ? for any one; ASCII letters match in either case. Names in a database are
// plain identifiers, so nothing escapes a wildcard.
class DbcNamePattern final
{
public:
    explicit DbcNamePattern(std::string_view pattern);

    bool matches(std::string_view name) const;
    // Whether the pattern holds a wildcard, or names one message exactly.
    bool hasWildcard() const;

private:
    std::string pattern;
};
