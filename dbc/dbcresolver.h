#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "dbccontent.h"
#include "dbcreferences.h"
#include "dbctypes.h"

// Applies what a file says about its messages, signals and nodes by name,
// once the whole file is read: comments, attributes and their defaults,
// value descriptions, float types and multiplexing. A name that is not
// defined gets a warning and changes nothing.
class DbcResolver final
{
public:
    static void resolve(DbcContent &content, const DbcReferences &references,
                        const std::string &fileName, DbcLoadResult &result);

private:
    using Target = DbcReferences::Target;

    DbcResolver(DbcContent &content, const DbcReferences &references, const std::string &fileName,
                DbcLoadResult &result);

    void applyDefaults();
    void applyComments();
    void applyAttributes();
    void applyValues();
    void applyValueTypes();
    void applyMultiplexing();
    void resolveSwitches(DbcMessage &message);
    void setCycleTime(DbcMessage &message) const;

    DbcMessage *findMessage(const Target &target);
    DbcSignal *findSignal(const Target &target, DbcMessage **owner = nullptr);
    DbcNode *findNode(const Target &target);
    static std::string definitionKey(const std::string &name, DbcObjectKind kind);
    const DbcAttributeDefinition *definition(const std::string &name, DbcObjectKind kind) const;
    void warn(int line, int column, const std::string &message);

    DbcContent &content;
    const DbcReferences &references;
    const std::string &fileName;
    DbcLoadResult &result;
    // Built on first use: each message's signals, and the nodes, by name.
    std::unordered_map<std::size_t, std::unordered_map<std::string_view, std::size_t>> signalIndex;
    std::unordered_map<std::string_view, std::size_t> nodeIndex;
    std::unordered_map<std::string, std::size_t> definitionIndex; // by definitionKey
    // Signals whose switch SG_MUL_VAL_ names.
    std::unordered_set<const DbcSignal *> namedSwitch;
};
