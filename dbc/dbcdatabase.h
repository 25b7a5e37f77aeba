#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "dbccontent.h"
#include "dbcmessage.h"
#include "dbctypes.h"

// The messages of the DBC files loaded so far, found by identifier. Each file
// adds its messages; an identifier a file defines again keeps its first
// message, with a warning. Const calls may run on several threads at once;
// pointers to messages stay valid until the next load or clear.
class DbcDatabase final
{
public:
    // Reads a DBC file and adds what it defines. A file that does not parse
    // adds nothing: the result has the error with its line and column.
    DbcLoadResult load(const std::string &path);
    // The same from a stream; fileName names it in diagnostics.
    DbcLoadResult load(std::istream &in, const std::string &fileName);
    DbcLoadResult loadText(std::string_view text, const std::string &fileName);
    void clear();
    bool isEmpty() const { return content.messages.empty(); }

    // The message of a frame's identifier, or nullptr: one hash lookup.
    const DbcMessage *find(uint32_t id, bool extended) const;
    // Messages whose names match a pattern with * (any run) and ? (any one
    // character), ASCII letters in either case.
    std::vector<const DbcMessage *> messagesMatching(std::string_view pattern) const;

    const std::vector<DbcMessage> &messages() const { return content.messages; }
    const DbcContent &contents() const { return content; }
    // The files loaded, in order.
    const std::vector<std::string> &files() const { return fileNames; }

private:
    void merge(DbcContent &&added, const std::string &fileName, DbcLoadResult &result);

    DbcContent content;
    std::unordered_map<uint32_t, uint32_t> index; // DbcMessage::key to position
    std::vector<std::string> fileNames;
};
