#include "dbcresolver.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "dbcnumber.h"

namespace {

const char CycleTimeAttribute[] = "GenMsgCycleTime";

} // namespace

void DbcResolver::resolve(DbcContent &content, const DbcReferences &references,
                          const std::string &fileName, DbcLoadResult &result)
{
    DbcResolver resolver(content, references, fileName, result);
    resolver.applyDefaults();
    resolver.applyComments();
    resolver.applyAttributes();
    resolver.applyValues();
    resolver.applyValueTypes();
    resolver.applyMultiplexing();
    for (DbcMessage &message : content.messages) {
        resolver.resolveSwitches(message);
        resolver.setCycleTime(message);
    }
}

DbcResolver::DbcResolver(DbcContent &target, const DbcReferences &statements,
                         const std::string &name, DbcLoadResult &outcome)
    : content(target), references(statements), fileName(name), result(outcome)
{
    // Of an attribute defined twice for one kind of object, the first counts.
    for (std::size_t i = 0; i < content.attributeDefinitions.size(); ++i) {
        const DbcAttributeDefinition &defined = content.attributeDefinitions[i];
        definitionIndex.emplace(definitionKey(defined.name, defined.kind), i);
    }
}

void DbcResolver::applyDefaults()
{
    static const DbcObjectKind kinds[]
        = {DbcObjectKind::Network, DbcObjectKind::Node, DbcObjectKind::Message,
           DbcObjectKind::Signal, DbcObjectKind::EnvironmentVariable};
    for (const DbcReferences::Attribute &entry : references.defaults) {
        bool defined = false;
        for (const DbcObjectKind kind : kinds) {
            const auto found = definitionIndex.find(definitionKey(entry.name, kind));
            if (found == definitionIndex.end())
                continue;
            defined = true;
            DbcAttributeDefinition &definition = content.attributeDefinitions[found->second];
            uint64_t index = 0;
            const bool label = definition.type == DbcAttributeDefinition::Type::Enumeration
                               && !entry.quoted && DbcNumber::toUnsigned(entry.value, index)
                               && index < definition.labels.size();
            definition.defaultValue = label ? definition.labels[index] : entry.value;
        }
        if (!defined)
            warn(entry.target.line, entry.target.column,
                 "default for attribute " + entry.name + ", which is not defined; passed over");
    }
}

void DbcResolver::applyComments()
{
    for (const DbcReferences::Comment &comment : references.comments) {
        switch (comment.target.kind) {
        case DbcObjectKind::Network:
            content.comment = comment.text;
            break;
        case DbcObjectKind::Node:
            if (DbcNode *node = findNode(comment.target))
                node->comment = comment.text;
            break;
        case DbcObjectKind::Message:
            if (DbcMessage *message = findMessage(comment.target))
                message->comment = comment.text;
            break;
        case DbcObjectKind::Signal:
            if (DbcSignal *signal = findSignal(comment.target))
                signal->comment = comment.text;
            break;
        case DbcObjectKind::EnvironmentVariable:
            break;
        }
    }
}

void DbcResolver::applyAttributes()
{
    for (const DbcReferences::Attribute &entry : references.attributes) {
        std::string value = entry.value;
        const DbcAttributeDefinition *defined = definition(entry.name, entry.target.kind);
        uint64_t index = 0;
        if (defined && defined->type == DbcAttributeDefinition::Type::Enumeration && !entry.quoted
            && DbcNumber::toUnsigned(value, index) && index < defined->labels.size())
            value = defined->labels[index];
        switch (entry.target.kind) {
        case DbcObjectKind::Network:
            content.attributes.push_back(DbcAttribute{entry.name, value});
            break;
        case DbcObjectKind::Node:
            if (DbcNode *node = findNode(entry.target))
                node->attributes.push_back(DbcAttribute{entry.name, value});
            break;
        case DbcObjectKind::Message:
            if (DbcMessage *message = findMessage(entry.target))
                message->attributes.push_back(DbcAttribute{entry.name, value});
            break;
        case DbcObjectKind::Signal:
            if (DbcSignal *signal = findSignal(entry.target))
                signal->attributes.push_back(DbcAttribute{entry.name, value});
            break;
        case DbcObjectKind::EnvironmentVariable:
            break;
        }
    }
}

void DbcResolver::applyValues()
{
    for (const DbcReferences::Values &entry : references.values) {
        DbcSignal *signal = findSignal(entry.target);
        if (!signal)
            continue;
        // Ascending for lookups; of a value given twice, the first text counts.
        signal->values = entry.values;
        std::vector<DbcValueDescription> &values = signal->values;
        std::stable_sort(values.begin(), values.end(),
                         [](const DbcValueDescription &a, const DbcValueDescription &b) {
                             return a.value < b.value;
                         });
        values.erase(std::unique(values.begin(), values.end(),
                                 [](const DbcValueDescription &a, const DbcValueDescription &b) {
                                     return a.value == b.value;
                                 }),
                     values.end());
    }
}

void DbcResolver::applyValueTypes()
{
    for (const DbcReferences::ValueType &entry : references.valueTypes) {
        DbcSignal *signal = findSignal(entry.target);
        if (!signal)
            continue;
        if (entry.type == 0) {
            signal->valueType = DbcValueType::Integer;
            continue;
        }
        const unsigned bits = entry.type == 1 ? 32 : 64;
        if (signal->length != bits) {
            warn(entry.target.line, entry.target.column,
                 "signal " + signal->name + ": a " + (bits == 32 ? "float" : "double") + " needs "
                     + std::to_string(bits) + " bits, it has " + std::to_string(signal->length)
                     + "; read as a whole number");
            continue;
        }
        signal->valueType = bits == 32 ? DbcValueType::Float : DbcValueType::Double;
    }
}

void DbcResolver::applyMultiplexing()
{
    for (const DbcReferences::Multiplex &entry : references.multiplexing) {
        DbcMessage *message = nullptr;
        DbcSignal *signal = findSignal(entry.target, &message);
        if (!signal)
            continue;
        const int switchIndex = message->signalIndex(entry.switchName);
        if (switchIndex < 0) {
            warn(entry.target.line, entry.target.column,
                 "signal " + signal->name + ": message " + message->name + " has no switch "
                     + entry.switchName + "; passed over");
            continue;
        }
        signal->multiplexor = switchIndex;
        signal->multiplexValues = entry.ranges;
        namedSwitch.insert(signal);
    }
}

void DbcResolver::resolveSwitches(DbcMessage &message)
{
    // Without SG_MUL_VAL_, m<n> refers to the message's one switch; with
    // several, to the one switch that is not itself selected.
    int only = -1;
    int topOnly = -1;
    int switches = 0;
    int topSwitches = 0;
    for (std::size_t i = 0; i < message.signalList.size(); ++i) {
        const DbcSignal &signal = message.signalList[i];
        if (!signal.isMultiplexor)
            continue;
        ++switches;
        only = int(i);
        if (signal.multiplexValues.empty()) {
            ++topSwitches;
            topOnly = int(i);
        }
    }
    const int chosen = switches == 1 ? only : topSwitches == 1 ? topOnly : -1;
    for (DbcSignal &signal : message.signalList) {
        if (signal.multiplexValues.empty() || namedSwitch.count(&signal))
            continue;
        if (chosen < 0 || &message.signalList[std::size_t(chosen)] == &signal) {
            warn(signal.line, 1,
                 "signal " + signal.name + " of message " + message.name + ": "
                     + (switches == 0 ? "the message has no switch (M)"
                                      : "which switch selects it is not told (SG_MUL_VAL_)")
                     + "; not decoded");
            signal.decodable = false;
            continue;
        }
        signal.multiplexor = chosen;
    }
    for (const std::size_t i : message.prepareMultiplexing()) {
        const DbcSignal &signal = message.signalList[i];
        warn(signal.line, 1,
             "signal " + signal.name + " of message " + message.name
                 + ": its switches select each other in a circle; not decoded");
    }
}

void DbcResolver::setCycleTime(DbcMessage &message) const
{
    const std::string *value = DbcAttribute::find(message.attributes, CycleTimeAttribute);
    if (!value) {
        const DbcAttributeDefinition *defined
            = definition(CycleTimeAttribute, DbcObjectKind::Message);
        value = defined ? &defined->defaultValue : nullptr;
    }
    double milliseconds = 0;
    if (value && DbcNumber::toDouble(*value, milliseconds) && milliseconds >= 0
        && milliseconds <= double(std::numeric_limits<int>::max()))
        message.cycleTime = int(std::lround(milliseconds));
}

DbcMessage *DbcResolver::findMessage(const Target &target)
{
    const auto found = references.messageIndex.find(target.message);
    if (found != references.messageIndex.end())
        return &content.messages[found->second];
    if (!references.leftOutMessages.count(target.message))
        warn(target.line, target.column,
             "no message has identifier " + DbcNumber::hex(target.message) + "; passed over");
    return nullptr;
}

DbcSignal *DbcResolver::findSignal(const Target &target, DbcMessage **owner)
{
    DbcMessage *message = findMessage(target);
    if (!message)
        return nullptr;
    const std::size_t position = std::size_t(message - content.messages.data());
    auto &names = signalIndex[position];
    if (names.empty()) {
        for (std::size_t i = 0; i < message->signalList.size(); ++i)
            names.emplace(message->signalList[i].name, i);
    }
    const auto found = names.find(target.name);
    if (found == names.end()) {
        if (!references.leftOutSignals.count(
                DbcReferences::signalKey(target.message, target.name)))
            warn(target.line, target.column,
                 "message " + message->name + " has no signal " + target.name + "; passed over");
        return nullptr;
    }
    if (owner)
        *owner = message;
    return &message->signalList[found->second];
}

DbcNode *DbcResolver::findNode(const Target &target)
{
    if (nodeIndex.empty()) {
        for (std::size_t i = 0; i < content.nodes.size(); ++i)
            nodeIndex.emplace(content.nodes[i].name, i);
    }
    const auto found = nodeIndex.find(target.name);
    if (found == nodeIndex.end()) {
        warn(target.line, target.column, "no node is named " + target.name + "; passed over");
        return nullptr;
    }
    return &content.nodes[found->second];
}

std::string DbcResolver::definitionKey(const std::string &name, DbcObjectKind kind)
{
    return char('0' + int(kind)) + name;
}

const DbcAttributeDefinition *DbcResolver::definition(const std::string &name,
                                                      DbcObjectKind kind) const
{
    const auto found = definitionIndex.find(definitionKey(name, kind));
    return found == definitionIndex.end() ? nullptr : &content.attributeDefinitions[found->second];
}

void DbcResolver::warn(int line, int column, const std::string &message)
{
    result.warn(DbcDiagnostic{fileName, line, column, message});
}
