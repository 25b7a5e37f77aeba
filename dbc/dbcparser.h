#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "dbccontent.h"
#include "dbcreferenceparser.h"
#include "dbcreferences.h"
#include "dbctokenreader.h"
#include "dbctypes.h"

// Reads the statements of one DBC file into a DbcContent. A statement that
// breaks the format stops the file with an error; an item whose numbers
// cannot be right (a signal past its message, an identifier of 40 bits) is
// left out or mended with a warning. Statements it does not know are passed
// over.
class DbcParser final
{
public:
    using Token = DbcTokenReader::Token;

    // Parses in into content (which should be empty); references to names
    // are resolved once the whole file is read.
    static DbcLoadResult parse(std::istream &in, const std::string &fileName, DbcContent &content);

private:
    // An SG_ line's tokens, before their numbers are read.
    struct SignalTokens
    {
        Token name, mark, start, length, order, factor, offset, minimum, maximum;
    };

    DbcParser(std::istream &in, const std::string &fileName, DbcContent &content,
              DbcLoadResult &result);

    void run();
    void parseVersion();
    void parseNewSymbols();
    void parseBitTiming();
    void parseNodes();
    void parseMessage();
    // The SG_ lines after a BO_ line, into message; all read and passed over
    // when message is nullptr.
    void readSignals(DbcMessage *message, uint32_t fileId);
    bool parseSignal(DbcSignal &signal, const DbcMessage *message);
    bool readSignalNumbers(DbcSignal &signal, const DbcMessage &message,
                           const SignalTokens &tokens);
    void skipStatement();

    DbcTokenReader reader;
    DbcContent &content;
    DbcReferences references;
    DbcReferenceParser statements;
    std::unordered_map<uint32_t, std::size_t> byKey; // DbcMessage::key to position
    std::unordered_set<std::string> nodeNames;
    std::vector<DbcSignal> parsed; // one message's signals, and their lines' columns
    std::vector<int> columns;
};
