// candump logs between us and the peers: can-utils' log2asc and asc2log in
// both directions, and python-can's reader and writer.
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "candataexporter.h"
#include "testsupport.h"

namespace {

bool isShortFd(const Vemi_CANFD_Data &frame)
{
    return frame.protocol() != Vemi_CANFD_Data::ProtocolCan && frame.length <= 8;
}

// Frames described with times since the first one.
QStringList described(const QVector<Vemi_CANFD_Data> &frames)
{
    QStringList lines;
    for (const Vemi_CANFD_Data &frame : frames)
        lines << QString::fromLatin1(
            TestSupport::describeFrame(frame, frames.isEmpty() ? 0 : frames.first().timestamp));
    return lines;
}

QString tool(const char *name)
{
    return QStandardPaths::findExecutable(QLatin1String(name));
}

bool run(const QString &program, const QStringList &arguments, QByteArray *output = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        return false;
    if (output)
        *output = process.readAllStandardOutput();
    return true;
}

// python-can's reading, channels numbered as we number interfaces: in the
// order the file first names them, from 1. Error frames are left out.
QStringList pythonReading(const QString &path)
{
    bool ok = false;
    const QByteArray output = TestSupport::runPython(
        TestSupport::pythonDescribe() + QStringLiteral(
            "import sys, can\n"
            "seen = []\n"
            "messages = [m for m in can.CanutilsLogReader(sys.argv[1]) if not m.is_error_frame]\n"
            "for m in messages:\n"
            "    if m.channel not in seen:\n"
            "        seen.append(m.channel)\n"
            "    m.channel = seen.index(m.channel) + 1\n"
            "    print(describe(m, messages[0].timestamp, 0))\n"), {path}, &ok);
    return ok ? QString::fromLatin1(output).split(QLatin1Char('\n'), Qt::SkipEmptyParts)
              : QStringList{QStringLiteral("python failed")};
}

} // namespace

class TestCandumpInterop : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        registerFrameMetaTypes();
        QVERIFY(CanDataExporter().exportData(TestSupport::busLog(), ExportFormat::Candump,
                                             SortOrder::None, ourLog()));
    }

    // Our log through python-can's reader, and through log2asc and our ASC
    // reader: every frame of every kind, on its channel.
    void ourLogReadByPeers_data()
    {
        QTest::addColumn<bool>("python");
        QTest::newRow("python-can") << true;
        QTest::newRow("log2asc") << false;
    }

    void ourLogReadByPeers()
    {
        QFETCH(bool, python);
        const QStringList expected = described(TestSupport::busLog());
        QStringList got;
        if (python) {
            if (!TestSupport::pythonCanAvailable())
                QSKIP("python-can is not installed");
            got = pythonReading(ourLog());
        } else {
            const QString log2asc = tool("log2asc");
            if (log2asc.isEmpty())
                QSKIP("log2asc is not installed (Debian package can-utils)");
            const QString asc = dir.filePath(QStringLiteral("from-log.asc"));
            QVERIFY(run(log2asc, {"-I", ourLog(), "-O", asc, "can0", "can1", "can2", "can3"}));
            got = described(TestSupport::parseOnWorker(asc).frames());
        }
        QCOMPARE(got, expected);
    }

    // asc2log turns our ASC log into a candump log; we must read the frames
    // it wrote. What differs is can-utils 2020.11's: asc2log writes no CAN FD
    // frame of up to 8 data bytes.
    void asc2logOutputReadByUs()
    {
        const QString asc2log = tool("asc2log");
        if (asc2log.isEmpty())
            QSKIP("asc2log is not installed (Debian package can-utils)");
        const QString asc = dir.filePath(QStringLiteral("bus.asc"));
        QVERIFY(CanDataExporter().exportData(TestSupport::busLog(), ExportFormat::Asc,
                                             SortOrder::None, asc));
        QByteArray log;
        QVERIFY(run(asc2log, {"-I", asc}, &log));
        const QString path = TestSupport::writeFile(dir.path(), "asc2log.log", log);

        QVector<Vemi_CANFD_Data> expected = TestSupport::busLog();
        expected.erase(std::remove_if(expected.begin(), expected.end(), isShortFd),
                       expected.end());
        QCOMPARE(described(TestSupport::parseOnWorker(path).frames()), described(expected));
    }

    // python-can's writer: interfaces by name and by number, every kind of
    // frame, error frames among them; read by both readers. Where python-can
    // 4.1 writes wrongly (a standard identifier in 8 digits, which reads back
    // extended; a remote frame without its length) both read what it wrote.
    void pythonCanLogsAsPythonCanReadsThem()
    {
        if (!TestSupport::pythonCanAvailable())
            QSKIP("python-can is not installed");
        const QString path = dir.filePath(QStringLiteral("python.log"));
        bool ok = false;
        TestSupport::runPython(QStringLiteral(
            "import sys, can\n"
            "w = can.CanutilsLogWriter(sys.argv[1], channel='vcan0')\n"
            "for i in range(64):\n"
            "    common = dict(timestamp=10 + i * 0.0101, is_rx=i % 3 != 0,\n"
            "                  channel=[None, 'can1', 2, 'slcan0'][i % 4],\n"
            "                  arbitration_id=(i * 0x1234567) & 0x7FF,\n"
            "                  is_extended_id=i % 5 == 0)\n"
            "    if i % 8 == 7:\n"
            "        w.on_message_received(can.Message(is_error_frame=True,\n"
            "                                          data=bytes(8), **common))\n"
            "    elif i % 8 == 6:\n"
            "        w.on_message_received(can.Message(is_remote_frame=True, dlc=i % 9,\n"
            "                                          **common))\n"
            "    else:\n"
            "        size = [0, 1, 8, 12, 20, 64][i % 6]\n"
            "        w.on_message_received(can.Message(is_fd=size > 8 or i % 4 == 1,\n"
            "            bitrate_switch=i & 1 == 1, error_state_indicator=i & 2 == 2,\n"
            "            data=bytes(range(size)), **common))\n"
            "w.stop()\n"), {path}, &ok);
        QVERIFY(ok);
        const QStringList ours = described(TestSupport::parseOnWorker(path).frames());
        QCOMPARE(ours.size(), 56);
        QCOMPARE(ours, pythonReading(path));
    }

private:
    QString ourLog() const { return dir.filePath(QStringLiteral("ours.log")); }
};

QTEST_GUILESS_MAIN(TestCandumpInterop)
#include "tst_candump_interop.moc"
