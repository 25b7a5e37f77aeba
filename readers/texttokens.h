#pragma once

#include <QLatin1String>

// The tokens of a line of bytes, one after the other: the runs of characters
// between runs of whitespace (tab to carriage return, and space, as the
// pattern "\s" matches them).
class TextTokens final
{
public:
    explicit TextTokens(QLatin1String line, int from = 0)
        : text(line)
        , pos(from)
    {
    }

    // The next token; empty after the last one.
    QLatin1String next()
    {
        while (pos < text.size() && isSpace(text.at(pos).toLatin1()))
            ++pos;
        const int start = pos;
        while (pos < text.size() && !isSpace(text.at(pos).toLatin1()))
            ++pos;
        return text.mid(start, pos - start);
    }

    static bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

private:
    QLatin1String text;
    int pos;
};
