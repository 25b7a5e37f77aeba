#include "trcparser.h"

#include <algorithm>
#include <cstring>

#include "decimaltext.h"
#include "linesource.h"
#include "textlogreader.h"
#include "textnumber.h"
#include "texttokens.h"
#include "vemi_canfd_data.h"

namespace {

constexpr int MaxDlc = 15;
constexpr int MaxChannel = 255;
// More columns than any version has; a longer list is no layout.
constexpr std::size_t MaxColumns = 16;
// Identifiers of more digits are extended: 4 for a standard one, 8 for an
// extended one, as the files write them.
constexpr int StandardIdDigits = 4;

// The records of each file version, in the letters of Layout.
struct VersionColumns
{
    const char *version;
    const char *columns;
};

constexpr VersionColumns versionColumns[] = {
    {"1.0", "NOIlD"},     {"1.1", "NOdIlD"}, {"1.2", "NOBdIlD"},
    {"1.3", "NOBdIRlD"}, {"2.0", "NOTIdlD"}, {"2.1", "NOTBIdRLD"},
};

const char *columnsOfVersion(QLatin1String version)
{
    for (const VersionColumns &known : versionColumns) {
        if (version == QLatin1String(known.version))
            return known.columns;
    }
    return nullptr;
}

// "N,O,T,B,I,d,R,L,D": single letters, each once, with the time, the
// identifier, a length and the data, the data last.
bool columnsFromList(QLatin1String list, std::string &columns)
{
    std::string letters;
    for (int i = 0; i < list.size(); i += 2) {
        const char letter = list.at(i).toLatin1();
        if ((i + 1 < list.size() && list.at(i + 1) != QLatin1Char(','))
            || TextTokens::isSpace(letter) || letter == ','
            || letters.find(letter) != std::string::npos)
            return false;
        letters += letter;
    }
    const auto has = [&letters](char letter) { return letters.find(letter) != std::string::npos; };
    if (letters.size() > MaxColumns || letters.empty() || letters.back() != 'D' || !has('O')
        || !has('I') || (!has('L') && !has('l')))
        return false;
    columns = letters;
    return true;
}

// What the type column (version 2) says a record is.
struct Kind
{
    bool frame = false;
    bool remote = false;
    uint8_t protocol = Vemi_CANFD_Data::ProtocolCan;
    bool esi = false;
};

Kind kindOf(QLatin1String type)
{
    struct Type
    {
        const char *name;
        Kind kind;
    };
    static const Type types[] = {
        {"DT", {true, false, Vemi_CANFD_Data::ProtocolCan, false}},
        {"RR", {true, true, Vemi_CANFD_Data::ProtocolCan, false}},
        {"FD", {true, false, Vemi_CANFD_Data::ProtocolCanFd, false}},
        {"FB", {true, false, Vemi_CANFD_Data::ProtocolCanFdBrs, false}},
        {"FE", {true, false, Vemi_CANFD_Data::ProtocolCanFd, true}},
        {"BI", {true, false, Vemi_CANFD_Data::ProtocolCanFdBrs, true}},
    };
    for (const Type &known : types) {
        if (type == QLatin1String(known.name))
            return known.kind;
    }
    return {};
}

bool decimal(QLatin1String token, quint64 &value)
{
    return TextNumber::parse<10>(token, value);
}

// The payload length of the length columns: l counts bytes, L is a DLC
// (decimal, or one hexadecimal digit).
bool lengthOf(char column, QLatin1String token, bool fd, int &length)
{
    quint64 value = 0;
    if (column == 'L') {
        if (!decimal(token, value)
            && !(token.size() == 1 && TextNumber::parseHexDigits(token, value)))
            return false;
        if (value > quint64(MaxDlc))
            return false;
        length = fd ? Vemi_CANFD_Data::dlcToLength(int(value))
                    : std::min(int(value), Vemi_CANFD_Data::MaxClassicLength);
        return true;
    }
    if (!decimal(token, value) || value > quint64(Vemi_CANFD_Data::MaxDataLength))
        return false;
    length = fd ? int(value) : std::min(int(value), Vemi_CANFD_Data::MaxClassicLength);
    return true;
}

// The time text of the table: the offset in seconds, with six decimals.
void storeTimeText(uint64_t micros, QLatin1String token, Vemi_CANFD_Data &frame)
{
    if (micros >= DecimalText::ExactSecondsLimit) {
        frame.setTimeText(token.data(), std::size_t(token.size()));
        return;
    }
    frame.timeText[DecimalText::writeSeconds(micros, frame.timeText)] = '\0';
}

// The record's columns by letter; empty where the layout has none.
struct Fields
{
    QLatin1String time, type, bus, id, direction, length;
    char lengthColumn = 0;
};

bool fillRecord(QLatin1String line, const std::string &columns, Vemi_CANFD_Data &frame)
{
    TextTokens tokens(line);
    Fields fields;
    for (std::size_t i = 0; i + 1 < columns.size(); ++i) {
        const QLatin1String token = tokens.next();
        if (token.isEmpty())
            return false;
        switch (columns[i]) {
        case 'O': fields.time = token; break;
        case 'T': fields.type = token; break;
        case 'B': fields.bus = token; break;
        case 'I': fields.id = token; break;
        case 'd': fields.direction = token; break;
        case 'L':
        case 'l':
            fields.length = token;
            fields.lengthColumn = columns[i];
            break;
        default: break;
        }
    }
    // Version 1 files have no type column: every record there is a classic
    // frame, and its data say when it is a remote or an error frame.
    const bool typed = columns.find('T') != std::string::npos;
    Kind kind = typed ? kindOf(fields.type) : Kind{};
    kind.frame = kind.frame || !typed;
    QLatin1String data = tokens.next();
    if (!typed && data == QLatin1String("RTR"))
        kind.remote = true;
    const bool fd = kind.protocol != Vemi_CANFD_Data::ProtocolCan;

    uint64_t micros = 0;
    quint64 id = 0;
    quint64 bus = 1;
    int length = 0;
    if (!kind.frame || (!typed && data == QLatin1String("ERROR"))
        || !TextNumber::decimalToMicroseconds<3>(fields.time, micros)
        || !TextNumber::parseHexDigits(fields.id, id) || id > Vemi_CANFD_Data::IdMask
        || (!fields.bus.isEmpty() && !decimal(fields.bus, bus))
        || !lengthOf(fields.lengthColumn, fields.length, fd, length))
        return false;
    const bool sent = fields.direction == QLatin1String("Tx");
    if (!fields.direction.isEmpty() && !sent && fields.direction != QLatin1String("Rx"))
        return false;

    frame.id = uint32_t(id);
    if (fields.id.size() > StandardIdDigits)
        frame.id |= Vemi_CANFD_Data::ExtendedBit;
    if (kind.remote)
        frame.id |= Vemi_CANFD_Data::RemoteBit;
    frame.setProtocol(kind.protocol);
    if (kind.esi)
        frame.errorFlags = Vemi_CANFD_Data::EsiBit;
    frame.setDirection(sent ? 1 : 0);
    frame.channel = uint8_t(std::min<quint64>(bus, MaxChannel));
    frame.timestamp = micros;
    storeTimeText(micros, fields.time, frame);
    frame.length = uint8_t(length);
    // Bytes the line leaves out, or that are no bytes, stay 0.
    for (int i = 0; i < length && !kind.remote; ++i, data = tokens.next()) {
        quint64 byte = 0;
        if (data.size() > 2 || !TextNumber::parseHexDigits(data, byte))
            break;
        frame.data[i] = uint8_t(byte);
    }
    return true;
}

} // namespace

TrcParser::TrcParser() = default;
TrcParser::~TrcParser() = default;

void TrcParser::readHeaderLine(QLatin1String line, Layout &layout)
{
    const QLatin1String versionKey(";$FILEVERSION=");
    const QLatin1String columnsKey(";$COLUMNS=");
    if (line.startsWith(versionKey)) {
        const char *columns = columnsOfVersion(line.mid(versionKey.size()).trimmed());
        if (columns && !layout.named)
            layout.columns = columns;
    } else if (line.startsWith(columnsKey)) {
        if (columnsFromList(line.mid(columnsKey.size()).trimmed(), layout.columns))
            layout.named = true;
    }
}

bool TrcParser::parseLine(QLatin1String line, const Layout &layout, Vemi_CANFD_Data &frame)
{
    if (fillRecord(line, layout.columns, frame))
        return true;
    // Not by assignment, which would keep the data bytes a failed line stored.
    std::memset(static_cast<void *>(&frame), 0, sizeof frame);
    return false;
}

bool TrcParser::parse(const QString &filePath, std::atomic<bool> &stopRequested)
{
    TextLogReader reader(*this, {QStringLiteral("开始解析TRC文件..."),
                                 QStringLiteral("正在解析TRC..."),
                                 QStringLiteral("TRC文件解析成功")});
    Layout layout;
    // Not QIODevice::Text, for the reason the ASC reader gives.
    return reader.run(filePath, QIODevice::NotOpen, stopRequested,
                      [&layout](const LineSource &line, qint64, Vemi_CANFD_Data &frame) {
                          using Line = TextLogReader::Line;
                          // The files are ASCII; other characters can only be
                          // in comments and event texts.
                          if (!line.isAscii())
                              return line.textLine().startsWith(QLatin1Char(';'))
                                         ? Line::Skipped
                                         : Line::Passed;
                          const QLatin1String text = line.asciiLine();
                          if (text.isEmpty())
                              return Line::Skipped;
                          if (text.startsWith(QLatin1Char(';'))) {
                              readHeaderLine(text, layout);
                              return Line::Skipped;
                          }
                          return parseLine(text, layout, frame) ? Line::Frame : Line::Passed;
                      },
                      TextLogReader::unlessPassed);
}
