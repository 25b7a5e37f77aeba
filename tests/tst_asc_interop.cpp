#include <cstdlib>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

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

} // namespace

class TestAscInterop : public QObject
{
    Q_OBJECT

private slots:
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
};

QTEST_GUILESS_MAIN(TestAscInterop)
#include "tst_asc_interop.moc"
