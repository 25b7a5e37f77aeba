#include "dbcnamepattern.h"

namespace {

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

} // namespace

DbcNamePattern::DbcNamePattern(std::string_view text) : pattern(text) {}

bool DbcNamePattern::hasWildcard() const
{
    return pattern.find_first_of("*?") != std::string::npos;
}

bool DbcNamePattern::matches(std::string_view name) const
{
    // Greedy, going back to the last * on a mismatch: time bounded by the
    // product of the lengths, without recursion.
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t star = std::string::npos;
    std::size_t resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (p < pattern.size()
                   && (pattern[p] == '?' || lower(pattern[p]) == lower(name[n]))) {
            ++p;
            ++n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}
