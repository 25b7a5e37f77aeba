#include "dbcparser.h"

#include <algorithm>
#include <numeric>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "dbcnumber.h"
#include "dbcreferenceparser.h"
#include "dbcresolver.h"

namespace {

using Kind = DbcLexer::Token::Kind;

// Identifiers above 29 bits: tools park signals that belong to no message in
// a pseudo message with this identifier, which is no frame's.
constexpr uint32_t PseudoMessageId = 0xC0000000u;
constexpr uint32_t ExtendedMark = 0x80000000u;

} // namespace

DbcLoadResult DbcParser::parse(std::istream &in, const std::string &fileName, DbcContent &content)
{
    DbcLoadResult result;
    DbcParser parser(in, fileName, content, result);
    try {
        parser.run();
    } catch (const DbcTokenReader::Failure &failure) {
        result.ok = false;
        result.error = DbcDiagnostic{fileName, failure.line, failure.column, failure.message};
        return result;
    }
    DbcResolver::resolve(content, parser.references, fileName, result);
    // Any text reads as a database of unknown sections; say when nothing came of it.
    if (content.messages.empty())
        parser.reader.warn(1, 1, "the file defines no messages (BO_)");
    // In the file's order, whichever step found them.
    std::stable_sort(result.warnings.begin(), result.warnings.end(),
                     [](const DbcDiagnostic &a, const DbcDiagnostic &b) {
                         return a.line != b.line ? a.line < b.line : a.column < b.column;
                     });
    result.ok = true;
    return result;
}

DbcParser::DbcParser(std::istream &in, const std::string &fileName, DbcContent &target,
                     DbcLoadResult &result)
    : reader(in, fileName, result), content(target), statements(reader, target, references)
{
}

void DbcParser::run()
{
    for (;;) {
        const Token &next = reader.peek();
        if (next.kind == Kind::End)
            return;
        if (next.kind != Kind::Identifier)
            reader.fail(next, "expected a keyword such as BO_ or SG_, found "
                                  + DbcTokenReader::describe(next));
        const std::string word = next.text;
        if (word == "BO_") {
            parseMessage();
        } else if (word == "SG_") {
            reader.warn(next, "signal outside a message; left out");
            DbcSignal ignored;
            parseSignal(ignored, nullptr);
        } else if (statements.parse(word)) {
        } else if (word == "BU_") {
            parseNodes();
        } else if (word == "VERSION") {
            parseVersion();
        } else if (word == "NS_") {
            parseNewSymbols();
        } else if (word == "BS_") {
            parseBitTiming();
        } else {
            skipStatement();
        }
    }
}

void DbcParser::parseVersion()
{
    reader.take();
    content.version = reader.expect(Kind::String, "the version text").text;
}

void DbcParser::parseNewSymbols()
{
    reader.take();
    reader.expectPunctuation(':', "after NS_");
    // The list names keywords, one a line; it ends where the sections begin.
    // A name followed by something other than a name starts a statement.
    for (;;) {
        const Token &name = reader.peek();
        if (name.kind != Kind::Identifier || name.text == "BS_" || name.text == "BU_"
            || name.text == "BO_" || name.text == "SG_" || name.text == "VERSION")
            return;
        const Kind after = reader.peek(1).kind;
        if (after != Kind::Identifier && after != Kind::End)
            return;
        reader.take();
    }
}

void DbcParser::parseBitTiming()
{
    reader.take();
    reader.expectPunctuation(':', "after BS_");
    // An optional "baud rate : BTR1 , BTR2", which nothing here uses.
    while (reader.peek().kind == Kind::Number || reader.peek().isPunctuation(':')
           || reader.peek().isPunctuation(','))
        reader.take();
}

void DbcParser::parseNodes()
{
    reader.take();
    reader.expectPunctuation(':', "after BU_");
    while (reader.peek().kind == Kind::Identifier
           && !DbcTokenReader::isKeyword(reader.peek().text)) {
        const Token name = reader.take();
        if (nodeNames.insert(name.text).second)
            content.nodes.push_back(DbcNode{name.text, {}, {}});
    }
}

void DbcParser::parseMessage()
{
    const Token keyword = reader.take();
    const Token idToken = reader.expect(Kind::Number, "the message identifier");
    const Token name = reader.expect(Kind::Identifier, "the message name");
    reader.expectPunctuation(':', "after the message name");
    const Token lengthToken = reader.expect(Kind::Number, "the message length");
    DbcMessage message;
    message.name = name.text;
    message.line = keyword.line;
    if (reader.peek().kind == Kind::Identifier && !DbcTokenReader::isKeyword(reader.peek().text))
        message.transmitter = reader.take().text;

    // Whether the message is kept: its signals are read either way.
    bool keep = true;
    uint64_t raw = 0;
    // Warnings name the message; built only when one is given.
    auto warn = [this, &name](const Token &at, const std::string &what) {
        reader.warn(at, "message " + name.text + ": " + what);
    };
    if (!DbcNumber::toUnsigned(idToken.text, raw) || raw > 0xFFFFFFFFu) {
        warn(idToken,
             "identifier " + idToken.text + " is not a 32-bit number; the message is left out");
        keep = false;
    } else if (raw == PseudoMessageId) {
        keep = false;
    } else if ((raw & ExtendedMark) && (raw & ~ExtendedMark) > 0x1FFFFFFFu) {
        warn(idToken, "identifier " + DbcNumber::hex(raw & ~ExtendedMark)
                          + " has more than 29 bits; the message is left out");
        keep = false;
    } else if (!(raw & ExtendedMark) && raw > 0x7FFu) {
        warn(idToken, "standard identifier " + DbcNumber::hex(raw)
                          + " has more than 11 bits; read as an extended identifier");
    }
    const uint32_t fileId = uint32_t(raw);
    message.extended = (raw & ExtendedMark) || raw > 0x7FFu;
    message.id = uint32_t(raw & 0x1FFFFFFFu);

    uint64_t length = 0;
    if (keep && !DbcNumber::toUnsigned(lengthToken.text, length)) {
        warn(lengthToken,
             "length " + lengthToken.text + " is not a whole number; read as 8 bytes");
        length = 8;
    } else if (keep && length > DbcSignal::MaxFrameBytes) {
        warn(lengthToken, "length " + lengthToken.text + " is more than 64 bytes; read as 64");
        length = DbcSignal::MaxFrameBytes;
    }
    message.length = uint8_t(length);

    if (keep) {
        const auto taken = byKey.find(message.key());
        if (taken != byKey.end()) {
            const DbcMessage &first = content.messages[taken->second];
            warn(idToken, "identifier " + DbcNumber::hex(message.id)
                              + " already belongs to message " + first.name + " (line "
                              + std::to_string(first.line) + "); this one is left out");
            keep = false;
        }
    }
    readSignals(keep ? &message : nullptr, fileId);
    if (!keep) {
        references.leftOutMessages.insert(fileId);
        return;
    }
    byKey.emplace(message.key(), content.messages.size());
    references.messageIndex.emplace(fileId, content.messages.size());
    content.messages.push_back(std::move(message));
}

void DbcParser::readSignals(DbcMessage *message, uint32_t fileId)
{
    // Read into a buffer that keeps its room from message to message, then
    // moved over in one allocation: growing each message's list signal by
    // signal was most of the time a large file took.
    parsed.clear();
    columns.clear();
    while (reader.peek().isIdentifier("SG_")) {
        DbcSignal signal;
        const int column = reader.peek().column;
        if (!parseSignal(signal, message) || !message) {
            references.leftOutSignals.insert(DbcReferences::signalKey(fileId, signal.name));
            continue;
        }
        parsed.push_back(std::move(signal));
        columns.push_back(column);
    }
    if (!message)
        return;
    // Of a name given twice, the first counts.
    std::vector<std::size_t> byName(parsed.size());
    std::iota(byName.begin(), byName.end(), std::size_t(0));
    std::stable_sort(byName.begin(), byName.end(), [this](std::size_t a, std::size_t b) {
        return parsed[a].name < parsed[b].name;
    });
    std::vector<bool> twice(parsed.size());
    std::size_t kept = parsed.size();
    for (std::size_t k = 1; k < byName.size(); ++k) {
        const DbcSignal &signal = parsed[byName[k]];
        if (signal.name != parsed[byName[k - 1]].name)
            continue;
        twice[byName[k]] = true;
        --kept;
        reader.warn(signal.line, columns[byName[k]],
                    "message " + message->name + ": signal " + signal.name
                        + " is defined twice; the second is left out");
    }
    message->signalList.reserve(kept);
    for (std::size_t i = 0; i < parsed.size(); ++i) {
        if (!twice[i])
            message->signalList.push_back(std::move(parsed[i]));
    }
}

bool DbcParser::parseSignal(DbcSignal &signal, const DbcMessage *message)
{
    reader.take();
    SignalTokens tokens;
    tokens.name = reader.expect(Kind::Identifier, "the signal name");
    signal.name = tokens.name.text;
    signal.line = tokens.name.line;
    if (reader.peek().kind == Kind::Identifier) {
        // M: a switch; m<n>: selected by the value n; m<n>M: both.
        tokens.mark = reader.take();
        const std::string &mark = tokens.mark.text;
        const bool both = mark.size() > 2 && mark.back() == 'M';
        const std::string_view digits = std::string_view(mark).substr(1, mark.size() - 1 - both);
        const bool valid = mark == "M"
                           || (mark[0] == 'm' && !digits.empty()
                               && digits.find_first_not_of("0123456789") == digits.npos);
        if (!valid)
            reader.fail(tokens.mark,
                        "expected M, m and a number, or ':' after the signal name, found "
                            + DbcTokenReader::describe(tokens.mark));
    }
    reader.expectPunctuation(':', "after the signal name");
    tokens.start = reader.expect(Kind::Number, "the start bit");
    reader.expectPunctuation('|', "between the start bit and the length");
    tokens.length = reader.expect(Kind::Number, "the signal length");
    reader.expectPunctuation('@', "before the byte order");
    tokens.order = reader.expect(Kind::Number, "the byte order (1 Intel, 0 Motorola)");
    const Token sign = reader.take();
    if (!sign.isPunctuation('+') && !sign.isPunctuation('-'))
        reader.fail(sign, "expected + or - for the sign, found " + DbcTokenReader::describe(sign));
    signal.isSigned = sign.isPunctuation('-');
    reader.expectPunctuation('(', "before the factor");
    tokens.factor = reader.expect(Kind::Number, "the factor");
    reader.expectPunctuation(',', "between the factor and the offset");
    tokens.offset = reader.expect(Kind::Number, "the offset");
    reader.expectPunctuation(')', "after the offset");
    if (reader.peek().isPunctuation('[')) {
        reader.take();
        tokens.minimum = reader.expect(Kind::Number, "the minimum");
        reader.expectPunctuation('|', "between the minimum and the maximum");
        tokens.maximum = reader.expect(Kind::Number, "the maximum");
        reader.expectPunctuation(']', "after the maximum");
    }
    if (reader.peek().kind == Kind::String)
        signal.unit = reader.take().text;
    // Receivers, separated by commas or spaces, up to the next keyword.
    for (;;) {
        const Token &next = reader.peek();
        if (next.isPunctuation(',')) {
            reader.take();
        } else if (next.kind == Kind::Identifier && !DbcTokenReader::isKeyword(next.text)) {
            signal.receivers.push_back(reader.take().text);
        } else {
            break;
        }
    }
    return message && readSignalNumbers(signal, *message, tokens);
}

bool DbcParser::readSignalNumbers(DbcSignal &signal, const DbcMessage &message,
                                  const SignalTokens &tokens)
{
    // Warnings name the signal and its message; built only when one is given.
    auto warn = [this, &signal, &message](const Token &at, const std::string &what) {
        reader.warn(at, "signal " + signal.name + " of message " + message.name + ": " + what);
    };
    static const std::string leftOut = "; the signal is left out";
    uint64_t start = 0;
    uint64_t length = 0;
    if (!DbcNumber::toUnsigned(tokens.start.text, start) || start > 511) {
        warn(tokens.start, "start bit " + tokens.start.text + " is not in 0 to 511" + leftOut);
        return false;
    }
    if (!DbcNumber::toUnsigned(tokens.length.text, length) || length < 1 || length > 64) {
        warn(tokens.length, "length " + tokens.length.text + " is not in 1 to 64" + leftOut);
        return false;
    }
    signal.startBit = uint16_t(start);
    signal.length = uint8_t(length);
    if (tokens.order.text == "1" || tokens.order.text == "0") {
        signal.byteOrder = tokens.order.text == "1" ? DbcByteOrder::Intel : DbcByteOrder::Motorola;
    } else {
        warn(tokens.order, "byte order " + tokens.order.text
                               + " is neither 1 (Intel) nor 0 (Motorola)" + leftOut);
        return false;
    }
    for (const auto &[token, value] :
         {std::pair{&tokens.factor, &signal.factor}, std::pair{&tokens.offset, &signal.offset}}) {
        if (!DbcNumber::toDouble(token->text, *value)) {
            warn(*token, (token == &tokens.factor ? "factor " : "offset ") + token->text
                             + " is not a usable number" + leftOut);
            return false;
        }
    }
    if (tokens.minimum.kind == Kind::Number
        && (!DbcNumber::toDouble(tokens.minimum.text, signal.minimum)
            || !DbcNumber::toDouble(tokens.maximum.text, signal.maximum))) {
        warn(tokens.minimum, "the range [" + tokens.minimum.text + '|' + tokens.maximum.text
                                 + "] is not usable; read as [0|0]");
        signal.minimum = signal.maximum = 0;
    }
    const std::string &mark = tokens.mark.text;
    signal.isMultiplexor = !mark.empty() && mark.back() == 'M';
    if (!mark.empty() && mark[0] == 'm') {
        const std::size_t digits = mark.size() - (signal.isMultiplexor ? 2 : 1);
        uint64_t value = 0;
        if (!DbcNumber::toUnsigned(std::string_view(mark).substr(1, digits), value)) {
            warn(tokens.mark,
                 "switch value " + mark.substr(1, digits) + " is too large" + leftOut);
            return false;
        }
        signal.multiplexValues.push_back(DbcMultiplexRange{value, value});
    }
    if (!signal.prepare()) {
        warn(tokens.start, "its bits reach past byte 64" + leftOut);
        return false;
    }
    if (signal.bytesNeeded() > message.length) {
        warn(tokens.start, "its bits reach byte " + std::to_string(signal.bytesNeeded())
                               + ", the message has " + std::to_string(message.length)
                               + "; decoded from frames that long only");
    }
    return true;
}

void DbcParser::skipStatement()
{
    reader.take();
    for (;;) {
        const Token &next = reader.peek();
        if (next.kind == Kind::End)
            return;
        if (next.kind == Kind::Identifier && next.lineStart
            && DbcTokenReader::isKeyword(next.text))
            return;
        if (reader.take().isPunctuation(';'))
            return;
    }
}
