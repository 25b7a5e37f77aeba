#include <cmath>

#include <QTemporaryDir>
#include <QtTest>

#include "dbcdatabase.h"
#include "testsupport.h"

namespace {

QString text(const std::string &s)
{
    return QString::fromStdString(s);
}

QString number(double value)
{
    return QString::number(value, 'g', 10);
}

// One line per diagnostic, message and signal, with only the fields that are set.
QStringList describe(const DbcDatabase &database, const DbcLoadResult &result)
{
    QStringList lines;
    if (!result.ok) {
        lines << QStringLiteral("error %1:%2 %3")
                     .arg(result.error.line)
                     .arg(result.error.column)
                     .arg(text(result.error.message));
    }
    for (const DbcDiagnostic &warning : result.warnings) {
        lines << QStringLiteral("warning %1:%2 %3")
                     .arg(warning.line)
                     .arg(warning.column)
                     .arg(text(warning.message));
    }
    if (result.droppedWarnings)
        lines << QStringLiteral("%1 more warnings").arg(result.droppedWarnings);
    const DbcContent &content = database.contents();
    if (!content.version.empty())
        lines << QStringLiteral("version ") + text(content.version);
    if (!content.comment.empty())
        lines << QStringLiteral("comment ") + text(content.comment);
    for (const DbcAttribute &attribute : content.attributes)
        lines
            << QStringLiteral("attribute %1=%2").arg(text(attribute.name), text(attribute.value));
    for (const DbcValueTable &table : content.valueTables) {
        QString line = QStringLiteral("table ") + text(table.name);
        for (const DbcValueDescription &value : table.values)
            line += QStringLiteral(" %1=%2").arg(value.value).arg(text(value.text));
        lines << line;
    }
    for (const DbcNode &node : content.nodes)
        lines << QString(QStringLiteral("node ") + text(node.name) + QLatin1Char(' ')
                         + text(node.comment))
                     .trimmed();
    for (const DbcMessage &message : database.messages()) {
        QString line = QStringLiteral("BO_ 0x%1 %2 %3 %4 %5")
                           .arg(message.id, 0, 16)
                           .arg(message.extended ? "ext" : "std")
                           .arg(text(message.name))
                           .arg(message.length)
                           .arg(text(message.transmitter));
        if (message.cycleTime)
            line += QStringLiteral(" cycle=%1").arg(message.cycleTime);
        if (!message.comment.empty())
            line += QStringLiteral(" comment=") + text(message.comment);
        for (const DbcAttribute &attribute : message.attributes)
            line += QStringLiteral(" %1=%2").arg(text(attribute.name), text(attribute.value));
        lines << line;
        for (const DbcSignal &signal : message.signalList) {
            QStringList receivers;
            for (const std::string &receiver : signal.receivers)
                receivers << text(receiver);
            line = QStringLiteral(" %1 %2|%3@%4%5 (%6,%7) [%8|%9] \"%10\" %11")
                       .arg(text(signal.name))
                       .arg(signal.startBit)
                       .arg(signal.length)
                       .arg(signal.byteOrder == DbcByteOrder::Intel ? 1 : 0)
                       .arg(signal.isSigned ? '-' : '+')
                       .arg(number(signal.factor), number(signal.offset), number(signal.minimum),
                            number(signal.maximum), text(signal.unit),
                            receivers.join(QLatin1Char(',')));
            if (signal.isMultiplexor)
                line += QStringLiteral(" M");
            if (signal.multiplexor >= 0) {
                line += QStringLiteral(" by ") + text(message.signalList[signal.multiplexor].name);
                for (const DbcMultiplexRange &range : signal.multiplexValues)
                    line += QStringLiteral(" %1-%2").arg(range.first).arg(range.last);
            }
            if (signal.valueType != DbcValueType::Integer)
                line += signal.valueType == DbcValueType::Float ? " float" : " double";
            for (const DbcValueDescription &value : signal.values)
                line += QStringLiteral(" %1=%2").arg(value.value).arg(text(value.text));
            if (!signal.comment.empty())
                line += QStringLiteral(" comment=") + text(signal.comment);
            if (!signal.decodable)
                line += QStringLiteral(" undecodable");
            lines << line;
        }
    }
    return lines;
}

// "12 AB" or "00*62 AB": hex bytes, a byte repeated with *count.
QByteArray bytes(const QString &hex)
{
    QByteArray data;
    for (const QString &word : hex.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList parts = word.split(QLatin1Char('*'));
        data += QByteArray(parts.size() > 1 ? parts[1].toInt() : 1,
                           char(parts[0].toInt(nullptr, 16)));
    }
    return data;
}

QStringList decodeFrame(const DbcMessage &message, const QByteArray &frame)
{
    std::vector<DbcDecodedSignal> decoded;
    message.decode(reinterpret_cast<const uint8_t *>(frame.constData()), std::size_t(frame.size()),
                   decoded);
    QStringList lines;
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        const DbcSignal &signal = message.signalList[i];
        if (!decoded[i].present) {
            lines << text(signal.name) + QStringLiteral(" absent");
            continue;
        }
        QString line = QStringLiteral("%1 raw=0x%2 value=%3")
                           .arg(text(signal.name))
                           .arg(decoded[i].raw, 0, 16)
                           .arg(number(decoded[i].value));
        if (const std::string *valueText = signal.valueText(decoded[i].raw))
            line += QStringLiteral(" text=") + text(*valueText);
        lines << line;
    }
    return lines;
}

} // namespace

class TestDbc : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void decode_data();
    void decode();
    void reference_data();
    void reference();
    void merge();
    void names_data();
    void names();
};

void TestDbc::parse_data()
{
    QTest::addColumn<QByteArray>("dbc");
    QTest::addColumn<QStringList>("expected");

    // Written the way tools write a database: header, nodes, messages, then
    // what describes them.
    QTest::newRow("as tools write it")
        << QByteArray("VERSION \"12.4\"\n\nNS_ :\n\tNS_DESC_\n\tCM_\n\tBA_DEF_\n\tBA_\n\tVAL_\n"
                      "\tSIG_VALTYPE_\n\tSG_MUL_VAL_\n\nBS_:\n\nBU_: Engine Gateway Brake\n\n"
                      "BO_ 256 EngineData: 8 Engine\n"
                      " SG_ Speed : 0|16@1+ (0.1,0) [0|6553.5] \"km/h\" Gateway,Brake\n"
                      " SG_ Temp : 23|8@0- (1,-40) [-40|215] \"degC\" Gateway\n\n"
                      "BO_ 2566844926 BrakeStatus: 64 Brake\n"
                      " SG_ Pressure : 7|32@0+ (1E-005,0) [0|42949.67295] \"bar\" Engine\n"
                      " SG_ Ratio : 32|32@1- (1,0) [0|0] \"\" Engine\n\n"
                      "CM_ \"Test network\";\n"
                      "CM_ BU_ Brake \"brake controller\";\n"
                      "CM_ BO_ 256 \"Engine \\\"data\\\"\";\n"
                      "CM_ SG_ 256 Speed \"vehicle\nspeed\";\n"
                      "BA_DEF_ BO_ \"GenMsgCycleTime\" INT 0 10000;\n"
                      "BA_DEF_ BO_ \"FrameKind\" ENUM \"StandardCAN\",\"ExtendedCAN\","
                      "\"StandardCAN_FD\",\"ExtendedCAN_FD\";\n"
                      "BA_DEF_DEF_ \"GenMsgCycleTime\" 100;\n"
                      "BA_DEF_DEF_ \"FrameKind\" \"StandardCAN\";\n"
                      "BA_ \"GenMsgCycleTime\" BO_ 2566844926 20;\n"
                      "BA_ \"FrameKind\" BO_ 2566844926 3;\n"
                      "VAL_ 256 Temp 255 \"Invalid\" 0 \"Cold\" ;\n"
                      "SIG_VALTYPE_ 2566844926 Ratio : 1;\n")
        << QStringList{
               "version 12.4",
               "comment Test network",
               "node Engine",
               "node Gateway",
               "node Brake brake controller",
               "BO_ 0x100 std EngineData 8 Engine cycle=100 comment=Engine \"data\"",
               " Speed 0|16@1+ (0.1,0) [0|6553.5] \"km/h\" Gateway,Brake comment=vehicle\nspeed",
               " Temp 23|8@0- (1,-40) [-40|215] \"degC\" Gateway 0=Cold 255=Invalid",
               "BO_ 0x18fef1fe ext BrakeStatus 64 Brake cycle=20 GenMsgCycleTime=20 "
               "FrameKind=ExtendedCAN_FD",
               " Pressure 7|32@0+ (1e-05,0) [0|42949.67295] \"bar\" Engine",
               " Ratio 32|32@1- (1,0) [0|0] \"\" Engine float",
           };
    QTest::newRow("white space: tabs, CR LF, a token a line, none at all")
        << QByteArray(
               "BO_\t512\tA\t:\t8\tX\r\n\tSG_\tS1\t:\t0|8@1+\t(1,0)\t[0|255]\t\"\"\tY\r\n"
               "SG_ S2 M:8|8@1-(2,-1)[-3|3]\"m\"Y,Z\r\n"
               "BO_\n513\nB\n:\n4\nX\nSG_\nS3\n:\n7\n|\n4\n@\n0\n+\n(\n1\n,\n0\n)\n[\n0\n|\n"
               "0\n]\n\"\"\nY\n"
               "CM_ BO_ 513 \"two\r\nlines\";")
        << QStringList{
               "BO_ 0x200 std A 8 X",
               " S1 0|8@1+ (1,0) [0|255] \"\" Y",
               " S2 8|8@1- (2,-1) [-3|3] \"m\" Y,Z M",
               "BO_ 0x201 std B 4 X comment=two\nlines",
               " S3 7|4@0+ (1,0) [0|0] \"\" Y",
           };
    QTest::newRow("references before what they name")
        << QByteArray("VAL_ 100 S 1 \"One\";\nCM_ SG_ 100 S \"early\";\n"
                      "BA_ \"GenMsgCycleTime\" BO_ 100 50;\nSIG_VALTYPE_ 100 D : 2;\n"
                      "BA_DEF_ BO_ \"GenMsgCycleTime\" INT 0 0;\n"
                      "BO_ 100 Late: 8 X\n SG_ S : 0|8@1+ (1,0) [0|0] \"\" Y\n"
                      " SG_ D : 0|64@1- (1,0) [0|0] \"\" Y\n")
        << QStringList{
               "BO_ 0x64 std Late 8 X cycle=50 GenMsgCycleTime=50",
               " S 0|8@1+ (1,0) [0|0] \"\" Y 1=One comment=early",
               " D 0|64@1- (1,0) [0|0] \"\" Y double",
           };
    QTest::newRow("multiplexing, simple and extended")
        << QByteArray(
               "BO_ 1 Simple: 8 X\n SG_ Mux M : 0|8@1+ (1,0) [0|0] \"\" Y\n"
               " SG_ A m0 : 8|8@1+ (1,0) [0|0] \"\" Y\n SG_ B m17 : 8|16@1+ (1,0) [0|0] \"\" Y\n"
               "BO_ 2 Extended: 8 X\n SG_ Top M : 0|4@1+ (1,0) [0|0] \"\" Y\n"
               " SG_ Sub m2M : 4|4@1+ (1,0) [0|0] \"\" Y\n"
               " SG_ Leaf m5 : 8|8@1+ (1,0) [0|0] \"\" Y\n"
               "SG_MUL_VAL_ 2 Leaf Sub 5-7, 10-10;\nSG_MUL_VAL_ 2 Sub Top 2-2;\n")
        << QStringList{
               "BO_ 0x1 std Simple 8 X",
               " Mux 0|8@1+ (1,0) [0|0] \"\" Y M",
               " A 8|8@1+ (1,0) [0|0] \"\" Y by Mux 0-0",
               " B 8|16@1+ (1,0) [0|0] \"\" Y by Mux 17-17",
               "BO_ 0x2 std Extended 8 X",
               " Top 0|4@1+ (1,0) [0|0] \"\" Y M",
               " Sub 4|4@1+ (1,0) [0|0] \"\" Y M by Top 2-2",
               " Leaf 8|8@1+ (1,0) [0|0] \"\" Y by Sub 5-7 10-10",
           };
    QTest::newRow("value tables, byte order mark, comments, unknown sections")
        << QByteArray("\xEF\xBB\xBF// written by hand\nVAL_TABLE_ Onoff 1 \"On\" 0 \"Off\" ;\n"
                      "EV_ Temp: 0 [0|100] \"\" 0 1 NODE0 X;\n"
                      "BO_TX_BU_ 3 : A,B;\nSIG_GROUP_ 3 G 1 : S;\nXYZ_ unknown words\n"
                      "BO_ 3 C: 1 A\n SG_ S : 0|1@1+ (1,0) [0|1] \"\" B\n"
                      "VAL_ Temp 0 \"Zero\";\nVAL_ 3 S 1 \"On\" 0 \"Off\" 1 \"Again\" ;\n"
                      "BA_ \"Bus\" \"CAN1\";\nBA_DEF_ \"Bus\" STRING ;\n")
        << QStringList{
               "attribute Bus=CAN1",
               "table Onoff 1=On 0=Off",
               "BO_ 0x3 std C 1 A",
               " S 0|1@1+ (1,0) [0|1] \"\" B 0=Off 1=On",
           };
    QTest::newRow("CAN FD: 64 bytes, 64-bit signals, bit 511")
        << QByteArray("BO_ 2147483904 Fd: 64 X\n SG_ Double : 0|64@1- (1,0) [0|0] \"\" Y\n"
                      " SG_ Last : 511|1@1+ (1,0) [0|0] \"\" Y\n"
                      " SG_ Moto : 447|64@0+ (1,0) [0|0] \"\" Y\n"
                      "SIG_VALTYPE_ 2147483904 Double : 2;\n")
        << QStringList{
               "BO_ 0x100 ext Fd 64 X",
               " Double 0|64@1- (1,0) [0|0] \"\" Y double",
               " Last 511|1@1+ (1,0) [0|0] \"\" Y",
               " Moto 447|64@0+ (1,0) [0|0] \"\" Y",
           };
    QTest::newRow("empty file") << QByteArray()
                                << QStringList{"warning 1:1 the file defines no messages (BO_)"};
    QTest::newRow("text that is no database")
        << QByteArray("Release notes\nFixed: nothing\n")
        << QStringList{"warning 1:1 the file defines no messages (BO_)"};

    // Broken statements: the file is refused at the first.
    QTest::newRow("cut in a signal")
        << QByteArray("BO_ 1 A: 8 X\n SG_ S : 0|8@1+ (1,")
        << QStringList{"error 2:20 expected the offset, found the end of the file"};
    QTest::newRow("cut in a comment")
        << QByteArray("BO_ 1 A: 8 X\nCM_ BO_ 1 \"never\nclosed;\n")
        << QStringList{"error 2:11 the text that starts here has no closing quote"};
    QTest::newRow("stray token")
        << QByteArray("BU_: A\n\n  { }\n")
        << QStringList{"error 3:3 expected a keyword such as BO_ or SG_, found '{'"};
    QTest::newRow("no colon after the message name")
        << QByteArray("BO_ 1 A 8 X\n")
        << QStringList{"error 1:9 expected ':' after the message name, found '8'"};
    QTest::newRow("unknown multiplexing mark")
        << QByteArray("BO_ 1 A: 8 X\n SG_ S x3 : 0|8@1+ (1,0) [0|0] \"\" Y\n")
        << QStringList{
               "error 2:8 expected M, m and a number, or ':' after the signal name, found 'x3'"};
    QTest::newRow("sign neither + nor -")
        << QByteArray("BO_ 1 A: 8 X\n SG_ S : 0|8@1* (1,0) [0|0] \"\" Y\n")
        << QStringList{"error 2:15 expected + or - for the sign, found '*'"};
    QTest::newRow("text where a number belongs")
        << QByteArray("BO_ one A: 8 X\n")
        << QStringList{"error 1:5 expected the message identifier, found 'one'"};
    QTest::newRow("nul byte")
        << QByteArray("BU_: A\n").append('\0')
        << QStringList{"error 2:1 expected a keyword such as BO_ or SG_, found the byte 0x0"};

    // Items that cannot be right: left out or mended, each with a warning.
    QTest::newRow("signals that do not fit")
        << QByteArray("BO_ 1 A: 8 X\n"
                      " SG_ Beyond : 60|8@1+ (1,0) [0|0] \"\" Y\n"
                      " SG_ Start : 512|1@1+ (1,0) [0|0] \"\" Y\n"
                      " SG_ Zero : 0|0@1+ (1,0) [0|0] \"\" Y\n"
                      " SG_ Long : 0|65@1+ (1,0) [0|0] \"\" Y\n"
                      " SG_ Order : 0|8@2+ (1,0) [0|0] \"\" Y\n"
                      " SG_ Past : 511|16@0+ (1,0) [0|0] \"\" Y\n"
                      " SG_ Ok : 0|8@1+ (1,0) [0|0] \"\" Y\n"
                      " SG_ Ok : 8|8@1+ (1,0) [0|0] \"\" Y\n"
                      "VAL_ 1 Zero 1 \"not reported again\";\n")
        << QStringList{
               "warning 2:15 signal Beyond of message A: its bits reach byte 9, the message has "
               "8; decoded from frames that long only",
               "warning 3:14 signal Start of message A: start bit 512 is not in 0 to 511; the "
               "signal is left out",
               "warning 4:15 signal Zero of message A: length 0 is not in 1 to 64; the signal is "
               "left out",
               "warning 5:15 signal Long of message A: length 65 is not in 1 to 64; the signal is "
               "left out",
               "warning 6:18 signal Order of message A: byte order 2 is neither 1 (Intel) nor 0 "
               "(Motorola); the signal is left out",
               "warning 7:13 signal Past of message A: its bits reach past byte 64; the signal is "
               "left out",
               "warning 9:2 message A: signal Ok is defined twice; the second is left out",
               "BO_ 0x1 std A 8 X",
               " Beyond 60|8@1+ (1,0) [0|0] \"\" Y",
               " Ok 0|8@1+ (1,0) [0|0] \"\" Y",
           };
    QTest::newRow("wrong numbers")
        << QByteArray("BO_ 4294967296 Big: 8 X\n"
                      "BO_ 3758096384 Wide: 8 X\n"
                      "BO_ 2048 Standard: 8 X\n"
                      "BO_ 5 Long: 65 X\n"
                      "BO_ 6 Half: 8.5 X\n"
                      "BO_ 7 Scale: 8 X\n SG_ F : 0|8@1+ (1e999,0) [0|0] \"\" Y\n"
                      " SG_ R : 0|8@1+ (1,0) [0|1e999] \"\" Y\n"
                      "VAL_ 7 R 99999999999999999999 \"huge\" 2 \"two\";\n"
                      "SG_MUL_VAL_ 7 R F 3-1;\n"
                      "SIG_VALTYPE_ 7 R : 3;\n"
                      "CM_ BO_ 4294967296 \"not reported again\";\n")
        << QStringList{
               "warning 1:5 message Big: identifier 4294967296 is not a 32-bit number; the "
               "message is left out",
               "warning 2:5 message Wide: identifier 0x60000000 has more than 29 bits; the "
               "message is left out",
               "warning 3:5 message Standard: standard identifier 0x800 has more than 11 bits; "
               "read as an extended identifier",
               "warning 4:13 message Long: length 65 is more than 64 bytes; read as 64",
               "warning 5:13 message Half: length 8.5 is not a whole number; read as 8 bytes",
               "warning 7:18 signal F of message Scale: factor 1e999 is not a usable number; the "
               "signal is left out",
               "warning 8:24 signal R of message Scale: the range [0|1e999] is not usable; read "
               "as [0|0]",
               "warning 9:10 value 99999999999999999999 (\"huge\") is not a whole 64-bit number; "
               "left out",
               "warning 10:19 signal R: switch values 3-1 are not a range; the statement is "
               "passed over",
               "warning 11:20 signal R: value type 3 is not 0, 1 (float) or 2 (double); passed "
               "over",
               "warning 12:9 message identifier 4294967296 is not a 32-bit number; the statement "
               "is passed over",
               "BO_ 0x800 ext Standard 8 X",
               "BO_ 0x5 std Long 64 X",
               "BO_ 0x6 std Half 8 X",
               "BO_ 0x7 std Scale 8 X",
               " R 0|8@1+ (1,0) [0|0] \"\" Y 2=two",
           };
    QTest::newRow("duplicate identifiers and names")
        << QByteArray("BO_ 10 First: 8 X\n SG_ S : 0|8@1+ (1,0) [0|0] \"\" Y\n"
                      "BO_ 10 Second: 8 X\n SG_ T : 0|8@1+ (1,0) [0|0] \"\" Y\n"
                      "BO_ 2147483658 Extended: 8 X\n"
                      "VAL_ 10 T 1 \"of the message left out\";\n")
        << QStringList{
               "warning 3:5 message Second: identifier 0xA already belongs to message First (line "
               "1); this one is left out",
               "BO_ 0xa std First 8 X",
               " S 0|8@1+ (1,0) [0|0] \"\" Y",
               "BO_ 0xa ext Extended 8 X",
           };
    QTest::newRow("references to what is not there")
        << QByteArray("BO_ 1 A: 8 X\n SG_ S : 0|8@1+ (1,0) [0|0] \"\" Y\n"
                      " SG_ F : 8|16@1- (1,0) [0|0] \"\" Y\n"
                      "CM_ BO_ 2 \"no message\";\nCM_ SG_ 1 T \"no signal\";\n"
                      "CM_ BU_ Nobody \"no node\";\nSIG_VALTYPE_ 1 F : 1;\n"
                      "SG_MUL_VAL_ 1 S Nothing 1-1;\nBA_DEF_DEF_ \"Undefined\" 1;\n"
                      "BO_ 3221225472 Orphans: 0 X\n"
                      " SG_ Orphan : 0|8@1+ (1,0) [0|0] \"\" Y\n"
                      "CM_ SG_ 3221225472 Orphan \"no warning\";\n")
        << QStringList{
               "warning 4:1 no message has identifier 0x2; passed over",
               "warning 5:1 message A has no signal T; passed over",
               "warning 6:1 no node is named Nobody; passed over",
               "warning 7:1 signal F: a float needs 32 bits, it has 16; read as a whole number",
               "warning 8:1 signal S: message A has no switch Nothing; passed over",
               "warning 9:1 default for attribute Undefined, which is not defined; passed over",
               "BO_ 0x1 std A 8 X",
               " S 0|8@1+ (1,0) [0|0] \"\" Y",
               " F 8|16@1- (1,0) [0|0] \"\" Y",
           };
    QTest::newRow("multiplexing that cannot be decoded")
        << QByteArray("BO_ 1 NoSwitch: 8 X\n SG_ A m1 : 0|8@1+ (1,0) [0|0] \"\" Y\n"
                      "BO_ 2 TwoSwitches: 8 X\n SG_ M1 M : 0|8@1+ (1,0) [0|0] \"\" Y\n"
                      " SG_ M2 M : 8|8@1+ (1,0) [0|0] \"\" Y\n"
                      " SG_ B m1 : 16|8@1+ (1,0) [0|0] \"\" Y\n"
                      "BO_ 3 Circle: 8 X\n SG_ P m1M : 0|8@1+ (1,0) [0|0] \"\" Y\n"
                      " SG_ Q m1M : 8|8@1+ (1,0) [0|0] \"\" Y\n"
                      "SG_MUL_VAL_ 3 P Q 1-1;\nSG_MUL_VAL_ 3 Q P 1-1;\n")
        << QStringList{
               "warning 2:1 signal A of message NoSwitch: the message has no switch (M); not "
               "decoded",
               "warning 6:1 signal B of message TwoSwitches: which switch selects it is not told "
               "(SG_MUL_VAL_); not decoded",
               "warning 8:1 signal P of message Circle: its switches select each other in a "
               "circle; not decoded",
               "warning 9:1 signal Q of message Circle: its switches select each other in a "
               "circle; not decoded",
               "BO_ 0x1 std NoSwitch 8 X",
               " A 0|8@1+ (1,0) [0|0] \"\" Y undecodable",
               "BO_ 0x2 std TwoSwitches 8 X",
               " M1 0|8@1+ (1,0) [0|0] \"\" Y M",
               " M2 8|8@1+ (1,0) [0|0] \"\" Y M",
               " B 16|8@1+ (1,0) [0|0] \"\" Y undecodable",
               "BO_ 0x3 std Circle 8 X",
               " P 0|8@1+ (1,0) [0|0] \"\" Y M by Q 1-1 undecodable",
               " Q 8|8@1+ (1,0) [0|0] \"\" Y M by P 1-1 undecodable",
           };

    // A damaged file warns once an item, up to a limit.
    QByteArray many;
    QStringList manyWarnings;
    for (int line = 1; line <= 1002; ++line) {
        many += " SG_ S : 0|8@1+ (1,0) [0|0] \"\" Y\n";
        if (line <= 1000)
            manyWarnings
                << QStringLiteral("warning %1:2 signal outside a message; left out").arg(line);
    }
    // The last, that no message is defined, is among those only counted.
    QTest::newRow("more warnings than are kept") << many << (manyWarnings << "3 more warnings");
}

void TestDbc::parse()
{
    QFETCH(QByteArray, dbc);
    QFETCH(QStringList, expected);
    DbcDatabase database;
    const DbcLoadResult result = database.loadText(dbc.toStdString(), "test.dbc");
    QCOMPARE(describe(database, result), expected);
    QCOMPARE(result.ok, !expected.value(0).startsWith(QLatin1String("error")));
}

void TestDbc::decode_data()
{
    QTest::addColumn<QByteArray>("definitions");
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QStringList>("expected");

    // Expected values computed by hand from the bytes, as noted in each row.
    // 0xA5 0xC3: bit 0 of 0xA5 is 1, bit 15 (top of 0xC3) is 1; bits 4-15
    // little-endian are 0xC3 then 0xA: 0xC3A.
    QTest::newRow("Intel: one bit, across a byte boundary")
        << QByteArray(" SG_ Bit0 : 0|1@1+ (1,0) [0|1] \"\" X\n"
                      " SG_ Bit15 : 15|1@1+ (1,0) [0|1] \"\" X\n"
                      " SG_ Cross : 4|12@1+ (1,0) [0|0] \"\" X\n")
        << "A5 C3"
        << QStringList{
               "Bit0 raw=0x1 value=1",
               "Bit15 raw=0x1 value=1",
               "Cross raw=0xc3a value=3130",
           };
    // Start bit 7 is byte 0's top bit: 0xAB then the top nibble of 0xCD, 0xABC.
    // Start bit 3, 4 bits: byte 0's low nibble, 0xB. Start bit 11, 16 bits:
    // low nibble of 0xCD, 0xEF, top nibble of 0x12: 0xDEF1.
    QTest::newRow("Motorola: across two and three bytes")
        << QByteArray(" SG_ Twelve : 7|12@0+ (1,0) [0|0] \"\" X\n"
                      " SG_ Nibble : 3|4@0+ (1,0) [0|0] \"\" X\n"
                      " SG_ Sixteen : 11|16@0+ (1,0) [0|0] \"\" X\n")
        << "AB CD EF 12"
        << QStringList{
               "Twelve raw=0xabc value=2748",
               "Nibble raw=0xb value=11",
               "Sixteen raw=0xdef1 value=57073",
           };
    // 0xFFFE little-endian is -2, times 0.5 plus 10 is 9; 0x80 is -128; 0x7F
    // is 127; bits 1-3 of 0xFE are 111, -1 in three bits.
    QTest::newRow("signed, both byte orders, factor and offset")
        << QByteArray(" SG_ Intel16 : 0|16@1- (0.5,10) [0|0] \"\" X\n"
                      " SG_ Moto8 : 23|8@0- (1,0) [0|0] \"\" X\n"
                      " SG_ Positive : 24|8@1- (1,0) [0|0] \"\" X\n"
                      " SG_ Three : 1|3@1- (1,0) [0|0] \"\" X\n")
        << "FE FF 80 7F"
        << QStringList{
               "Intel16 raw=0xfffe value=9",
               "Moto8 raw=0x80 value=-128",
               "Positive raw=0x7f value=127",
               "Three raw=0x7 value=-1",
           };
    // The eight bytes read little-endian and big-endian.
    QTest::newRow("64 bits") << QByteArray(" SG_ Unsigned : 0|64@1+ (1,0) [0|0] \"\" X\n"
                                           " SG_ Signed : 7|64@0- (1,0) [0|0] \"\" X\n"
                                           " SG_ AllOnes : 64|64@1- (1,0) [0|0] \"\" X\n")
                             << "01 02 03 04 05 06 07 88 FF*8"
                             << QStringList{
                                    "Unsigned raw=0x8807060504030201 value=9.801809733e+18",
                                    "Signed raw=0x102030405060788 value=7.262385979e+16",
                                    "AllOnes raw=0xffffffffffffffff value=-1",
                                };
    // Nine bytes under one signal. Intel from bit 7: byte 0's bit 7 (value
    // bit 0), 0x01 (bit 1), byte 8's bits 0-6 = 0x70 (bits 61-63): 0xE000000000000003.
    // Motorola from bit 3: 0xA, 0x01, six zero bytes, top nibble of 0xF0.
    QTest::newRow("64 bits over nine bytes")
        << QByteArray(" SG_ Intel : 7|64@1+ (1,0) [0|0] \"\" X\n"
                      " SG_ Moto : 3|64@0+ (1,0) [0|0] \"\" X\n")
        << "8A 01 00*6 F0"
        << QStringList{
               "Intel raw=0xe000000000000003 value=1.614090106e+19",
               "Moto raw=0xa01000000000000f value=1.153371865e+19",
           };
    // 0x3FC00000 is 1.5, times 2 is 3; 0xC004000000000000 is -2.5.
    QTest::newRow("float and double")
        << QByteArray(" SG_ Float : 0|32@1- (2,0) [0|0] \"\" X\n"
                      " SG_ Double : 39|64@0- (1,0) [0|0] \"\" X\n"
                      "SIG_VALTYPE_ 256 Float : 1;\nSIG_VALTYPE_ 256 Double : 2;\n")
        << "00 00 C0 3F C0 04 00*6"
        << QStringList{
               "Float raw=0x3fc00000 value=3",
               "Double raw=0xc004000000000000 value=-2.5",
           };
    // 0x3F: low nibble 0xF is -1 signed, high nibble 3; 0x02 has no text.
    QTest::newRow("value tables, a negative value")
        << QByteArray(" SG_ Gear : 0|4@1- (1,0) [0|0] \"\" X\n"
                      " SG_ State : 4|4@1+ (1,0) [0|0] \"\" X\n"
                      " SG_ Plain : 8|8@1+ (1,0) [0|0] \"\" X\n"
                      "VAL_ 256 Gear -1 \"Reverse\" 0 \"Neutral\" 1 \"First\";\n"
                      "VAL_ 256 State 15 \"Error\" 3 \"Ok\";\n"
                      "VAL_ 256 Plain 1 \"One\";\n")
        << "3F 02"
        << QStringList{
               "Gear raw=0xf value=-1 text=Reverse",
               "State raw=0x3 value=3 text=Ok",
               "Plain raw=0x2 value=2",
           };
    // The switch is 1: B (0x1234) is selected, A is not; C always is.
    QTest::newRow("simple multiplexing") << QByteArray(" SG_ Mux M : 0|8@1+ (1,0) [0|0] \"\" X\n"
                                                       " SG_ A m0 : 8|8@1+ (1,0) [0|0] \"\" X\n"
                                                       " SG_ B m1 : 8|16@1+ (1,0) [0|0] \"\" X\n"
                                                       " SG_ C : 24|8@1+ (1,0) [0|0] \"\" X\n")
                                         << "01 34 12 77"
                                         << QStringList{
                                                "Mux raw=0x1 value=1",
                                                "A absent",
                                                "B raw=0x1234 value=4660",
                                                "C raw=0x77 value=119",
                                            };
    const QByteArray extended(" SG_ Top M : 0|4@1+ (1,0) [0|0] \"\" X\n"
                              " SG_ Sub m2M : 4|4@1+ (1,0) [0|0] \"\" X\n"
                              " SG_ Leaf m5 : 8|8@1+ (1,0) [0|0] \"\" X\n"
                              " SG_ Other m3 : 8|8@1+ (1,0) [0|0] \"\" X\n"
                              "SG_MUL_VAL_ 256 Sub Top 2-2;\n"
                              "SG_MUL_VAL_ 256 Leaf Sub 5-7, 10-10;\n"
                              "SG_MUL_VAL_ 256 Other Top 3-3;\n");
    // 0x62: Top 2 selects Sub, Sub 6 is in 5-7 and selects Leaf.
    QTest::newRow("extended multiplexing: a chain") << extended << "62 99"
                                                    << QStringList{
                                                           "Top raw=0x2 value=2",
                                                           "Sub raw=0x6 value=6",
                                                           "Leaf raw=0x99 value=153",
                                                           "Other absent",
                                                       };
    // 0xA2: Top 2, Sub 10, the second range.
    QTest::newRow("extended multiplexing: second range") << extended << "A2 99"
                                                         << QStringList{
                                                                "Top raw=0x2 value=2",
                                                                "Sub raw=0xa value=10",
                                                                "Leaf raw=0x99 value=153",
                                                                "Other absent",
                                                            };
    // 0x63: Top 3 selects Other; Sub is not selected, nor Leaf below it.
    QTest::newRow("extended multiplexing: a switch not selected")
        << extended << "63 99"
        << QStringList{
               "Top raw=0x3 value=3",
               "Sub absent",
               "Leaf absent",
               "Other raw=0x99 value=153",
           };
    // 0x82: Top 2, Sub 8 outside both ranges.
    QTest::newRow("extended multiplexing: outside the ranges") << extended << "82 99"
                                                               << QStringList{
                                                                      "Top raw=0x2 value=2",
                                                                      "Sub raw=0x8 value=8",
                                                                      "Leaf absent",
                                                                      "Other absent",
                                                                  };
    // Two bytes: the signal in byte 7 is not in the frame.
    QTest::newRow("frame shorter than a signal")
        << QByteArray(" SG_ Short : 0|8@1+ (1,0) [0|0] \"\" X\n"
                      " SG_ Long : 56|8@1+ (1,0) [0|0] \"\" X\n")
        << "11 22"
        << QStringList{
               "Short raw=0x11 value=17",
               "Long absent",
           };
    // Bytes 62 and 63 of a CAN FD frame: 0xCD, and big-endian 0xABCD.
    QTest::newRow("CAN FD: the last bytes")
        << QByteArray(" SG_ End : 504|8@1+ (1,0) [0|0] \"\" X\n"
                      " SG_ EndMoto : 503|16@0+ (1,0) [0|0] \"\" X\n")
        << "00*62 AB CD"
        << QStringList{
               "End raw=0xcd value=205",
               "EndMoto raw=0xabcd value=43981",
           };
}

void TestDbc::decode()
{
    QFETCH(QByteArray, definitions);
    QFETCH(QString, frame);
    QFETCH(QStringList, expected);
    DbcDatabase database;
    const DbcLoadResult result = database.loadText(
        QByteArray("BO_ 256 M: 64 ECU\n" + definitions).toStdString(), "test.dbc");
    QVERIFY(result.ok);
    QVERIFY(result.warnings.empty());
    const DbcMessage *message = database.find(0x100, false);
    QVERIFY(message);
    QCOMPARE(decodeFrame(*message, bytes(frame)), expected);
}

void TestDbc::reference_data()
{
    QTest::addColumn<bool>("intel");
    QTest::addColumn<bool>("isSigned");
    QTest::addColumn<bool>("floats");
    QTest::newRow("Intel unsigned") << true << false << false;
    QTest::newRow("Intel signed") << true << true << false;
    QTest::newRow("Motorola unsigned") << false << false << false;
    QTest::newRow("Motorola signed") << false << true << false;
    QTest::newRow("Intel float and double") << true << true << true;
    QTest::newRow("Motorola float and double") << false << true << true;
}

// Every length from 1 to 64 bits at three places in a 64-byte frame (at the
// start, across byte boundaries, at the end), or floats and doubles, decoded
// from random frames here and by an independent decoder in Python that walks
// the bits one at a time: the expected values are the Python decoder's.
void TestDbc::reference()
{
    QFETCH(bool, intel);
    QFETCH(bool, isSigned);
    QFETCH(bool, floats);
    if (!QFile::exists(TestSupport::pythonPath()))
        QSKIP("no python3");

    QByteArray dbc = "BO_ 512 Sweep: 64 X\n";
    QByteArray types;
    const char *scales[] = {"1,0", "0.5,3.25", "-0.125,-1000"};
    auto add = [&](int length, int first, int scale) {
        // first: the bit read first, counting bytes up and, within a byte,
        // from bit 0 (Intel) or from bit 7 (Motorola).
        const int start = intel ? first : first / 8 * 8 + 7 - first % 8;
        const QByteArray name = "S" + QByteArray::number(length) + '_' + QByteArray::number(first);
        dbc += " SG_ " + name + " : " + QByteArray::number(start) + '|'
               + QByteArray::number(length) + '@' + (intel ? '1' : '0') + (isSigned ? '-' : '+')
               + " (" + scales[scale] + ") [0|0] \"\" Y\n";
        if (floats)
            types += "SIG_VALTYPE_ 512 " + name + " : " + (length == 32 ? "1" : "2") + ";\n";
    };
    for (int length = 1; length <= 64; ++length) {
        if (floats && length != 32 && length != 64)
            continue;
        add(length, (length * 3) % 8, 0);
        add(length, 8 * ((length * 5) % 50) + (length + 3) % 8, 1);
        add(length, 512 - length, 2);
    }
    dbc += types;

    QByteArray frames;
    QList<QByteArray> frameData{QByteArray(64, '\0'), QByteArray(64, '\xFF')};
    uint32_t state = 0x12345678u;
    for (int i = 0; i < 30; ++i) {
        QByteArray frame(64, '\0');
        for (char &byte : frame) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            byte = char(state >> 24);
        }
        frameData << frame;
    }
    for (const QByteArray &frame : frameData)
        frames += frame.toHex() + '\n';

    QTemporaryDir dir;
    const QString dbcPath = TestSupport::writeFile(dir.path(), "sweep.dbc", dbc);
    const QString framesPath = TestSupport::writeFile(dir.path(), "frames.txt", frames);
    DbcDatabase database;
    const DbcLoadResult result = database.load(dbcPath.toStdString());
    QVERIFY(result.ok);
    QVERIFY(result.warnings.empty());
    const DbcMessage *message = database.find(512, false);
    QVERIFY(message);
    QCOMPARE(message->signalList.size(), floats ? std::size_t(6) : std::size_t(192));

    QStringList ours;
    std::vector<DbcDecodedSignal> decoded;
    for (int f = 0; f < frameData.size(); ++f) {
        message->decode(reinterpret_cast<const uint8_t *>(frameData[f].constData()), 64, decoded);
        for (std::size_t i = 0; i < decoded.size(); ++i) {
            const DbcSignal &signal = message->signalList[i];
            QVERIFY(decoded[i].present);
            const QString raw = signal.valueType == DbcValueType::Integer && signal.isSigned
                                    ? QString::number(signal.integerValue(decoded[i].raw))
                                    : QString::number(decoded[i].raw);
            ours << QStringLiteral("%1 %2 %3 %4")
                        .arg(f)
                        .arg(text(signal.name), raw)
                        .arg(decoded[i].value, 0, 'g', 17);
        }
    }

    static const char script[] = R"(
import re, struct, sys
text = open(sys.argv[1]).read()
types = {m[0]: int(m[1]) for m in re.findall(r'SIG_VALTYPE_ \d+ (\w+) : (\d);', text)}
pattern = r'SG_ (\w+) : (\d+)\|(\d+)@([01])([+-]) \(([^,]+),([^)]+)\)'
signals = [(m[0], int(m[1]), int(m[2]), m[3] == '1', m[4] == '-', float(m[5]), float(m[6]))
           for m in re.findall(pattern, text)]

def bits(data, start, length, intel):
    value = 0
    bit = start
    for i in range(length):
        b = (data[bit // 8] >> (bit % 8)) & 1
        if intel:
            value |= b << i
            bit += 1
        else:
            value = (value << 1) | b
            bit = bit - 1 if bit % 8 else bit + 15
    return value

for f, line in enumerate(open(sys.argv[2])):
    data = bytes.fromhex(line.strip())
    for name, start, length, intel, signed, factor, offset in signals:
        raw = bits(data, start, length, intel)
        kind = types.get(name, 0)
        if kind == 1:
            number = struct.unpack('<f', raw.to_bytes(4, 'little'))[0]
        elif kind == 2:
            number = struct.unpack('<d', raw.to_bytes(8, 'little'))[0]
        else:
            if signed and raw >> (length - 1):
                raw -= 1 << length
            number = float(raw)
        print(f, name, raw, repr(number * factor + offset))
)";
    bool ok = false;
    const QStringList theirs
        = QString::fromUtf8(
              TestSupport::runPython(QString::fromLatin1(script), {dbcPath, framesPath}, &ok))
              .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY(ok);
    QCOMPARE(theirs.size(), ours.size());
    for (int i = 0; i < ours.size(); ++i) {
        const QStringList mine = ours[i].split(QLatin1Char(' '));
        const QStringList reference = theirs[i].split(QLatin1Char(' '));
        QCOMPARE(mine.mid(0, 3).join(QLatin1Char(' ')),
                 reference.mid(0, 3).join(QLatin1Char(' ')));
        // Floats from random bits: NaN and infinities compare as text.
        const double expected = reference[3].toDouble();
        if (std::isfinite(expected))
            QCOMPARE(mine[3].toDouble(), expected);
        else
            QCOMPARE(mine[3], reference[3]);
    }
}

void TestDbc::merge()
{
    DbcDatabase database;
    QVERIFY(
        database.loadText("BO_ 256 BrakeFront: 8 X\nBO_ 2147483904 BrakeRear: 8 X\n", "a.dbc").ok);
    const DbcLoadResult second
        = database.loadText("BO_ 257 EngineSpeed: 8 X\nBO_ 256 Engine: 8 X\n", "b.dbc");
    QVERIFY(second.ok);
    QCOMPARE(second.warnings.size(), std::size_t(1));
    QCOMPARE(text(second.warnings[0].text()),
             "b.dbc:2:1: message Engine: identifier 0x100 already belongs to message BrakeFront "
             "of a.dbc; this one is left out");
    // A file that does not parse adds nothing, nor does one that cannot be opened.
    const DbcLoadResult broken = database.loadText("BO_ 300 Third: 8 X\nBO_ x", "c.dbc");
    QVERIFY(!broken.ok);
    QCOMPARE(text(broken.error.text()), "c.dbc:2:5: expected the message identifier, found 'x'");
    const DbcLoadResult missing = database.load("/nonexistent/d.dbc");
    QVERIFY(!missing.ok);
    QCOMPARE(text(missing.error.text()), "/nonexistent/d.dbc:0:0: cannot open the file");

    QCOMPARE(database.files(), (std::vector<std::string>{"a.dbc", "b.dbc"}));
    QCOMPARE(database.messages().size(), std::size_t(3));
    QCOMPARE(text(database.find(0x100, false)->name), "BrakeFront");
    QCOMPARE(text(database.find(0x100, true)->name), "BrakeRear");
    QCOMPARE(text(database.find(0x101, false)->name), "EngineSpeed");
    QCOMPARE(database.find(0x101, false)->file, std::size_t(1));
    QVERIFY(!database.find(0x101, true));
    QVERIFY(!database.find(300, false));
    database.clear();
    QVERIFY(database.isEmpty());
    QVERIFY(!database.find(0x100, false));
}

void TestDbc::names_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("prefix, either case")
        << "Brake*" << QStringList{"BrakeFront", "BrakeRear", "brake_light"};
    QTest::newRow("suffix") << "*speed" << QStringList{"EngineSpeed"};
    QTest::newRow("exact name") << "Engine" << QStringList{"Engine"};
    QTest::newRow("one character and a star")
        << "?rake*t" << QStringList{"BrakeFront", "brake_light"};
    QTest::newRow("stars that must go back") << "**ne*d" << QStringList{"EngineSpeed"};
    QTest::newRow("one character too many") << "Engine?" << QStringList{};
    QTest::newRow("everything") << "*"
                                << QStringList{"BrakeFront", "BrakeRear", "brake_light", "Engine",
                                               "EngineSpeed"};
    QTest::newRow("empty pattern") << "" << QStringList{};
}

void TestDbc::names()
{
    QFETCH(QString, pattern);
    QFETCH(QStringList, expected);
    DbcDatabase database;
    QVERIFY(database
                .loadText("BO_ 1 BrakeFront: 8 X\nBO_ 2 BrakeRear: 8 X\nBO_ 3 brake_light: 8 X\n"
                          "BO_ 4 Engine: 8 X\nBO_ 5 EngineSpeed: 8 X\n",
                          "names.dbc")
                .ok);
    QStringList names;
    for (const DbcMessage *message : database.messagesMatching(pattern.toStdString()))
        names << text(message->name);
    QCOMPARE(names, expected);
}

QTEST_GUILESS_MAIN(TestDbc)
#include "tst_dbc.moc"
