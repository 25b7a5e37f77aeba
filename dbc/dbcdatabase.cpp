#include "dbcdatabase.h"

#include <fstream>
#include <sstream>
#include <unordered_set>
#include <utility>

#include "dbcnamepattern.h"
#include "dbcnumber.h"
#include "dbcparser.h"

DbcLoadResult DbcDatabase::load(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        DbcLoadResult result;
        result.error = DbcDiagnostic{path, 0, 0, "cannot open the file"};
        return result;
    }
    return load(in, path);
}

DbcLoadResult DbcDatabase::loadText(std::string_view text, const std::string &fileName)
{
    std::istringstream in{std::string(text)};
    return load(in, fileName);
}

DbcLoadResult DbcDatabase::load(std::istream &in, const std::string &fileName)
{
    DbcContent added;
    DbcLoadResult result = DbcParser::parse(in, fileName, added);
    if (!result.ok)
        return result;
    if (in.bad()) {
        result.ok = false;
        result.error = DbcDiagnostic{fileName, 0, 0, "the file could not be read to its end"};
        return result;
    }
    merge(std::move(added), fileName, result);
    return result;
}

void DbcDatabase::clear()
{
    content = DbcContent();
    index.clear();
    fileNames.clear();
}

const DbcMessage *DbcDatabase::find(uint32_t id, bool extended) const
{
    const auto found = index.find(DbcMessage::key(id, extended));
    return found == index.end() ? nullptr : &content.messages[found->second];
}

std::vector<const DbcMessage *> DbcDatabase::messagesMatching(std::string_view pattern) const
{
    const DbcNamePattern matcher(pattern);
    std::vector<const DbcMessage *> matching;
    for (const DbcMessage &message : content.messages) {
        if (matcher.matches(message.name))
            matching.push_back(&message);
    }
    return matching;
}

void DbcDatabase::merge(DbcContent &&added, const std::string &fileName, DbcLoadResult &result)
{
    const std::size_t file = fileNames.size();
    fileNames.push_back(fileName);
    if (fileNames.size() == 1) {
        // The first file as it stands: the parser already left out its duplicates.
        content = std::move(added);
        for (std::size_t i = 0; i < content.messages.size(); ++i) {
            content.messages[i].file = file;
            index.emplace(content.messages[i].key(), uint32_t(i));
        }
        return;
    }
    if (content.version.empty())
        content.version = std::move(added.version);
    if (content.comment.empty())
        content.comment = std::move(added.comment);
    for (DbcAttribute &attribute : added.attributes)
        content.attributes.push_back(std::move(attribute));
    std::unordered_set<std::string> nodeNames;
    for (const DbcNode &node : content.nodes)
        nodeNames.insert(node.name);
    for (DbcNode &node : added.nodes) {
        if (nodeNames.insert(node.name).second)
            content.nodes.push_back(std::move(node));
    }
    for (DbcValueTable &table : added.valueTables)
        content.valueTables.push_back(std::move(table));
    for (DbcAttributeDefinition &definition : added.attributeDefinitions)
        content.attributeDefinitions.push_back(std::move(definition));

    content.messages.reserve(content.messages.size() + added.messages.size());
    for (DbcMessage &message : added.messages) {
        const auto found = index.find(message.key());
        if (found != index.end()) {
            const DbcMessage &first = content.messages[found->second];
            result.warn(DbcDiagnostic{fileName, message.line, 1,
                                      "message " + message.name + ": identifier "
                                          + DbcNumber::hex(message.id)
                                          + " already belongs to message " + first.name + " of "
                                          + fileNames[first.file] + "; this one is left out"});
            continue;
        }
        message.file = file;
        index.emplace(message.key(), uint32_t(content.messages.size()));
        content.messages.push_back(std::move(message));
    }
}
