#pragma once

#include <string>
#include <vector>

#include "dbcmessage.h"
#include "dbctypes.h"

// A named value table (VAL_TABLE_): kept for reference, since signals carry
// their own value descriptions (VAL_).
struct DbcValueTable
{
    std::string name;
    std::vector<DbcValueDescription> values;
};

// Everything one or more DBC files define, in the order read.
struct DbcContent
{
    std::string version;
    std::string comment;
    std::vector<DbcAttribute> attributes;
    std::vector<DbcNode> nodes;
    std::vector<DbcValueTable> valueTables;
    std::vector<DbcAttributeDefinition> attributeDefinitions;
    std::vector<DbcMessage> messages;
};
