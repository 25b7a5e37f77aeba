#include <algorithm>
#include <cstdlib>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "candataexporter.h"
#include "testsupport.h"

namespace {

// Writes an ASC log with python-can and prints, as JSON, every message it
// wrote except the error frame, which no ASC frame rule reads.
const char *const WriterScript = R"(
import json, sys, can

messages = []
def add(**fields):
    fields.setdefault("timestamp", len(messages) * 0.0123457)
    fields.setdefault("channel", len(messages) % 3)
    messages.append(can.Message(**fields))

for extended, ids in ((False, (0x000, 0x123, 0x7FF)), (True, (0x0, 0x1ABCDEF, 0x1FFFFFFF))):
    for rx in (True, False):
        for n in range(9):
            add(arbitration_id=ids[n % 3], is_extended_id=extended, is_rx=rx,
                data=bytes((0x11 * (i + 1) + n) & 0xFF for i in range(n)))
        for n in range(9):
            add(arbitration_id=ids[(n + 1) % 3], is_extended_id=extended, is_rx=rx,
                is_remote_frame=True, dlc=n)
        for brs in (False, True):
            for n in list(range(9)) + [12, 16, 20, 24, 32, 48, 64]:
                add(arbitration_id=ids[(n + 2) % 3], is_extended_id=extended, is_rx=rx,
                    is_fd=True, bitrate_switch=brs,
                    data=bytes((7 * i + n) & 0xFF for i in range(n)))
error = can.Message(timestamp=len(messages) * 0.0123457, is_error_frame=True)

writer = can.ASCWriter(sys.argv[1])
for m in messages[:5]:
    writer.on_message_received(m)
writer.on_message_received(error)
for m in messages[5:]:
    writer.on_message_received(m)
writer.stop()

json.dump([dict(t=m.timestamp, id=m.arbitration_id, ext=m.is_extended_id,
                rtr=m.is_remote_frame, fd=m.is_fd, brs=m.bitrate_switch, rx=m.is_rx,
                len=m.dlc if m.is_remote_frame else len(m.data), data=m.data.hex(),
                channel=m.channel + 1) for m in messages], sys.stdout)
)";

// Prints the header's date as python-can understands it, then every frame:
// its time from that date in microseconds and its fields.
const char *const ReaderScript = R"(
import sys, can
reader = can.ASCReader(sys.argv[1], relative_timestamp=False)
messages = list(reader)
print('date %d' % round(reader.start_time * 1000))
for m in messages:
    print('%d %d %X %d %d %d %d %d %d %d %s' % (round((m.timestamp - reader.start_time) * 1e6),
          m.channel, m.arbitration_id, m.is_extended_id, m.is_remote_frame, m.is_fd,
          m.bitrate_switch, m.error_state_indicator, m.is_rx, m.dlc, m.data.hex().upper() or '-'))
)";

QByteArray bits(std::initializer_list<bool> values)
{
    QByteArray text;
    for (const bool value : values)
        text += QByteArray::number(int(value)) + ' ';
    return text;
}

bool isFd(const Vemi_CANFD_Data &frame)
{
    return frame.protocol() != Vemi_CANFD_Data::ProtocolCan;
}

// The payload as our ASC lines carry it: none for a classic remote frame, at
// most 8 bytes for a classic data frame.
QByteArray writtenPayload(const Vemi_CANFD_Data &frame)
{
    if (isFd(frame))
        return QByteArray(reinterpret_cast<const char *>(frame.data), frame.length);
    if (frame.isRemote())
        return {};
    return QByteArray(reinterpret_cast<const char *>(frame.data), qMin<int>(frame.length, 8));
}

} // namespace

class TestAscInterop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The peers read the header's local date; one zone for them and us.
        qputenv("TZ", "UTC");
        registerFrameMetaTypes();
        QVERIFY(folder.isValid());
        exportedFrom = QDateTime::currentMSecsSinceEpoch();
        QVERIFY(CanDataExporter().exportData(TestSupport::busLog(), ExportFormat::Asc,
                                             SortOrder::None, ourFile()));
        exportedUntil = QDateTime::currentMSecsSinceEpoch();
    }

    void readsWhatPythonCanWrites()
    {
        if (!TestSupport::pythonCanAvailable())
            QSKIP("python-can is not installed");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("peer.asc"));
        bool ok = false;
        const QByteArray json =
            TestSupport::runPython(QString::fromUtf8(WriterScript), {path}, &ok);
        QVERIFY(ok);
        const QJsonArray expected = QJsonDocument::fromJson(json).array();
        QCOMPARE(expected.size(), 2 * 2 * (9 + 9 + 2 * 16));

        const TestSupport::ParseRun run = TestSupport::parseOnWorker(path);
        QVERIFY(run.result);
        const QVector<Vemi_CANFD_Data> frames = run.frames();
        QCOMPARE(frames.size(), expected.size());
        for (int i = 0; i < frames.size(); ++i) {
            const Vemi_CANFD_Data &frame = frames.at(i);
            const QJsonObject m = expected.at(i).toObject();
            const QByteArray row = QByteArray::number(i);
            QVERIFY2(frame.identifier() == uint32_t(m["id"].toInt()), row);
            QVERIFY2(frame.isExtended() == m["ext"].toBool(), row);
            QVERIFY2(frame.isRemote() == m["rtr"].toBool(), row);
            const int protocol = m["fd"].toBool() ? (m["brs"].toBool() ? 3 : 2) : 0;
            QVERIFY2(frame.protocol() == protocol, row);
            QVERIFY2(frame.direction() == (m["rx"].toBool() ? 0 : 1), row);
            QVERIFY2(frame.channel == m["channel"].toInt(), row);
            QVERIFY2(frame.length == m["len"].toInt(), row);
            const QByteArray data(reinterpret_cast<const char *>(frame.data), frame.length);
            // A remote frame carries no data; its bytes stay 0.
            const QByteArray expectedData =
                QByteArray::fromHex(m["data"].toString().toLatin1())
                    .leftJustified(frame.length, '\0');
            QCOMPARE(data.toHex(), expectedData.toHex());
            const double micros = m["t"].toDouble() * 1e6;
            QVERIFY2(std::abs(double(frame.timestamp) - micros) <= 1.0, row);
        }
    }

    // Every frame of our log as python-can reads it. What differs is
    // python-can's: it reads a CAN FD line without data bytes as a remote frame,
    // which CAN FD does not have (the line's flags say FDF).
    void ourLogReadByPythonCan_data()
    {
        QTest::addColumn<int>("index");
        QTest::newRow("date of the header") << -1;
        TestSupport::addBusLogRows();
    }

    void ourLogReadByPythonCan()
    {
        QFETCH(int, index);
        if (!TestSupport::pythonCanAvailable())
            QSKIP("python-can is not installed");
        if (pythonLines.isEmpty()) {
            bool ok = false;
            pythonLines = TestSupport::runPython(QString::fromLatin1(ReaderScript), {ourFile()},
                                                 &ok).split('\n');
            QVERIFY(ok);
            pythonLines.removeLast();
        }
        const QVector<Vemi_CANFD_Data> frames = TestSupport::busLog();
        QCOMPARE(pythonLines.size(), 1 + frames.size());
        if (index < 0) {
            // The date with its milliseconds: when the export began.
            const qint64 date = pythonLines.first().mid(5).toLongLong();
            QVERIFY2(date >= exportedFrom && date <= exportedUntil, pythonLines.first());
            return;
        }
        const Vemi_CANFD_Data &f = frames[index];
        const bool fd = isFd(f);
        const int dlc = fd || f.isRemote() ? f.length : qMin<int>(f.length, 8);
        const QByteArray data = writtenPayload(f).toHex().toUpper();
        const QByteArray want =
            QByteArray::number(qulonglong(f.timestamp - frames.first().timestamp)) + ' '
            + QByteArray::number(f.channel - 1) + ' '
            + QByteArray::number(f.identifier(), 16).toUpper() + ' '
            + bits({f.isExtended(), f.isRemote() || (fd && f.length == 0), fd,
                    fd && (f.protocol() & 1), fd && f.errorFlags != 0, f.direction() == 0})
            + QByteArray::number(dlc) + ' ' + (data.isEmpty() ? QByteArray("-") : data);
        QCOMPARE(pythonLines.at(1 + index), want);
    }

    // Every frame of our log as can-utils' asc2log turns it into a candump log:
    // "(seconds) can<channel - 1> <id>#<data>" with R or T for the direction,
    // "##<flags>" for CAN FD. What differs is can-utils 2020.11's: its asc2log
    // writes no CAN FD frame of up to 8 data bytes, also not from the tools'
    // own lines. It reads the date only in the en_US locale, made here when
    // the locale sources (Debian package locales) are installed.
    void ourLogReadByAsc2log_data()
    {
        QTest::addColumn<int>("index");
        QTest::newRow("date of the header") << -1;
        TestSupport::addBusLogRows();
    }

    void ourLogReadByAsc2log()
    {
        QFETCH(int, index);
        const QString asc2log = QStandardPaths::findExecutable(QStringLiteral("asc2log"));
        if (asc2log.isEmpty())
            QSKIP("asc2log is not installed (Debian package can-utils)");
        const QVector<Vemi_CANFD_Data> frames = TestSupport::busLog();
        if (candumpLines.isEmpty())
            QVERIFY(runAsc2log(asc2log));
        // One line for each frame but the short CAN FD ones.
        QCOMPARE(candumpLines.size(),
                 int(std::count_if(frames.cbegin(), frames.cend(), [](const Vemi_CANFD_Data &f) {
                     return !isFd(f) || f.length > 8;
                 })));
        const qint64 first = candumpTime(candumpLines.first());
        if (index < 0) {
            if (!withLocale) {
                QVERIFY(asc2logErrors.contains("Not able to determine original log file date"));
                QSKIP("no en_US locale: asc2log dates the log by its clock and says so");
            }
            // The first frame is at the date, given to the millisecond. asc2log
            // leaves the daylight-saving flag of the date it parsed undefined,
            // so now and then it puts the date an hour early (can-utils').
            const auto atExport = [this](qint64 micros) {
                return micros >= exportedFrom * 1000 && micros <= exportedUntil * 1000;
            };
            QVERIFY2(atExport(first) || atExport(first + qint64(3600) * 1000000),
                     candumpLines.first());
            return;
        }
        const Vemi_CANFD_Data &f = frames[index];
        const qint64 at = first + qint64(f.timestamp - frames.first().timestamp);
        QByteArray got;
        for (const QByteArray &line : candumpLines) {
            if (candumpTime(line) == at)
                got = line.mid(line.indexOf(')') + 2);
        }
        if (isFd(f) && f.length <= 8) {
            QCOMPARE(got, QByteArray());
            return;
        }
        QByteArray want = "can" + QByteArray::number(f.channel - 1) + ' '
                          + QByteArray::number(f.identifier(), 16).toUpper().rightJustified(
                              f.isExtended() ? 8 : 3, '0');
        if (isFd(f))
            want += "##" + QByteArray::number((f.protocol() & 1) | (f.errorFlags ? 2 : 0));
        else if (f.isRemote())
            want += "#R" + (f.length ? QByteArray::number(qMin<int>(f.length, 8)) : "");
        else
            want += '#';
        want += writtenPayload(f).toHex().toUpper() + (f.direction() ? " T" : " R");
        QCOMPARE(got, want);
    }

private:
    QString ourFile() const { return folder.filePath(QStringLiteral("ours.asc")); }

    // Runs asc2log on our file, in the en_US locale where it can be made.
    bool runAsc2log(const QString &asc2log)
    {
        const QString locales = folder.filePath(QStringLiteral("locales"));
        QDir().mkpath(locales);
        QProcess localedef;
        localedef.start(QStringLiteral("localedef"),
                        {QStringLiteral("-i"), QStringLiteral("en_US"), QStringLiteral("-f"),
                         QStringLiteral("UTF-8"), locales + QStringLiteral("/en_US")});
        localedef.waitForFinished(120000);
        withLocale = QFile::exists(locales + QStringLiteral("/en_US/LC_TIME"));

        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (withLocale)
            environment.insert(QStringLiteral("LOCPATH"), locales);
        process.setProcessEnvironment(environment);
        process.start(asc2log, {QStringLiteral("-I"), ourFile()});
        if (!process.waitForFinished(120000) || process.exitCode() != 0)
            return false;
        asc2logErrors = process.readAllStandardError();
        candumpLines = process.readAllStandardOutput().split('\n');
        candumpLines.removeLast();
        return !candumpLines.isEmpty();
    }

    // The time of a candump line in microseconds.
    static qint64 candumpTime(const QByteArray &line)
    {
        const int dot = line.indexOf('.');
        return line.mid(1, dot - 1).toLongLong() * 1000000
               + line.mid(dot + 1, line.indexOf(')') - dot - 1).toLongLong();
    }

    QTemporaryDir folder;
    qint64 exportedFrom = 0;
    qint64 exportedUntil = 0;
    QList<QByteArray> pythonLines;
    QList<QByteArray> candumpLines;
    QByteArray asc2logErrors;
    bool withLocale = false;
};

QTEST_GUILESS_MAIN(TestAscInterop)
#include "tst_asc_interop.moc"
