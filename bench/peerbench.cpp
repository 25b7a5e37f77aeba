#include "peerbench.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace {

// One JSON line per operation on stdout, a progress line per operation on stderr.
const char *const Script = R"(
import json, logging, os, sys, time
import can

# The ASC reader may warn once per line (a DLC that does not match the data
# length); printing those would slow it down unfairly.
logging.disable(logging.CRITICAL)

asc, blf, out = sys.argv[1], sys.argv[2], sys.argv[3]

def timed(name, run, path):
    start = time.perf_counter()
    frames = run()
    seconds = time.perf_counter() - start
    print(json.dumps(dict(op=name, seconds=seconds, frames=frames,
                          bytes=os.path.getsize(path))), flush=True)
    print(f"  python-can {name}: {seconds:.3f} s", file=sys.stderr, flush=True)

def reader(cls, path):
    def run():
        count = 0
        with cls(path) as log:
            for _ in log:
                count += 1
        return count
    return run

messages = list(can.BLFReader(blf))

def writer(cls, path, **options):
    def run():
        log = cls(path, **options)
        for message in messages:
            log.on_message_received(message)
        log.stop()
        return len(messages)
    return run

# A conversion as python-can's logconvert makes one: every message read is
# written at once.
def converter(read_cls, source, write_cls, target, **options):
    def run():
        count = 0
        log = write_cls(target, **options)
        with read_cls(source) as messages_in:
            for message in messages_in:
                log.on_message_received(message)
                count += 1
        log.stop()
        return count
    return run

timed("read ASC", reader(can.ASCReader, asc), asc)
timed("read BLF", reader(can.BLFReader, blf), blf)
peer = {suffix: os.path.join(out, "peer." + suffix) for suffix in ("asc", "blf", "csv")}
timed("write ASC", writer(can.ASCWriter, peer["asc"]), peer["asc"])
timed("write BLF", writer(can.BLFWriter, peer["blf"], compression_level=6), peer["blf"])
# python-can's CSV is a dialect of its own; it reads the file it wrote.
timed("write CSV", writer(can.CSVWriter, peer["csv"]), peer["csv"])
timed("read CSV", reader(can.CSVReader, peer["csv"]), peer["csv"])
timed("convert ASC to BLF",
      converter(can.ASCReader, asc, can.BLFWriter, peer["blf"], compression_level=6), asc)
timed("convert BLF to ASC", converter(can.BLFReader, blf, can.ASCWriter, peer["asc"]), blf)
timed("convert CSV to ASC",
      converter(can.CSVReader, peer["csv"], can.ASCWriter, peer["asc"]), peer["csv"])
for path in peer.values():
    os.remove(path)
)";

} // namespace

QString PeerBench::python()
{
    return QStringLiteral("/usr/bin/python3");
}

bool PeerBench::available()
{
    QProcess probe;
    probe.start(python(), {QStringLiteral("-c"), QStringLiteral("import can")});
    return probe.waitForFinished(-1) && probe.exitStatus() == QProcess::NormalExit
           && probe.exitCode() == 0;
}

QMap<QString, Measurement> PeerBench::run(const QString &ascPath, const QString &blfPath,
                                          const QString &outputDir)
{
    QMap<QString, Measurement> results;
    QProcess peer;
    peer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    peer.start(python(), {QStringLiteral("-c"), QString::fromUtf8(Script), ascPath, blfPath,
                          outputDir});
    if (!peer.waitForFinished(-1) || peer.exitCode() != 0)
        return results;
    for (const QByteArray &line : peer.readAllStandardOutput().split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object.isEmpty())
            continue;
        Measurement m;
        m.ok = true;
        m.seconds = object.value(QStringLiteral("seconds")).toDouble();
        m.frames = qint64(object.value(QStringLiteral("frames")).toDouble());
        m.bytes = qint64(object.value(QStringLiteral("bytes")).toDouble());
        results.insert(object.value(QStringLiteral("op")).toString(), m);
    }
    return results;
}
