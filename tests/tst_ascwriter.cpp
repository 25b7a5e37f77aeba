#include <cstdio>

#include <QRandomGenerator>
#include <QtTest>

#include "ascwriter.h"
#include "candataexporter.h"
#include "linebuffer.h"
#include "testsupport.h"
#include "writerrun.h"

using TestSupport::makeFrame;

namespace {

// The same bytes as python prints them.
QByteArray packedHex(int count)
{
    return byteTexts(0x11, count).replace(' ', "").toLower();
}

// One frame of each line layout, the first at 1000 µs.
QVector<Vemi_CANFD_Data> mixedFrames()
{
    return {makeFrame(0x123, 8, 0, false, false, false, 1000),
            makeFrame(0x1ABCDEF, 2, 0, true, true, true, 1500),
            makeFrame(0x10, 12, 3, false, false, true, 251000),
            makeFrame(0x1FFFFFFF, 64, 2, true, false, false, 2001000)};
}

Vemi_CANFD_Data onChannel(Vemi_CANFD_Data frame, uint8_t channel)
{
    frame.channel = channel;
    return frame;
}

QByteArray payload(const Vemi_CANFD_Data &frame)
{
    return QByteArray(reinterpret_cast<const char *>(frame.data), frame.length);
}

// Exports through the driver into dir; the file's path, or empty on failure.
QString exportAsc(const QVector<Vemi_CANFD_Data> &frames, const QTemporaryDir &dir)
{
    const QString path = dir.filePath(QStringLiteral("frames.asc"));
    CanDataExporter exporter;
    const bool written = exporter.exportData(frames, ExportFormat::Asc, SortOrder::None, path);
    return written ? path : QString();
}

const QDateTime sundayEvening(QDate(2026, 12, 6), QTime(22, 3, 19));

} // namespace

class TestAscWriter : public QObject
{
    Q_OBJECT

private slots:
    void dateText_data()
    {
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("expected");
        QTest::newRow("after midnight")
            << QTime(0, 30, 5) << "Sun Dec 06 12:30:05.000 am 2026";
        QTest::newRow("morning") << QTime(9, 41, 7, 123) << "Sun Dec 06 09:41:07.123 am 2026";
        QTest::newRow("noon") << QTime(12, 30, 5) << "Sun Dec 06 12:30:05.000 pm 2026";
        QTest::newRow("evening")
            << QTime(22, 3, 19, 9) << "Sun Dec 06 10:03:19.009 pm 2026";
    }

    void dateText()
    {
        QFETCH(QTime, time);
        QFETCH(QString, expected);
        QCOMPARE(AscWriter::dateText(QDateTime(QDate(2026, 12, 6), time)), expected);
    }

    void wholeFile()
    {
        const WriterRun run = runWriter(AscWriter(sundayEvening),
                                        {makeFrame(0x123, 2, 0, false, false, false, 7)}, 7);
        QCOMPARE(run.text, QByteArray("date Sun Dec 06 10:03:19.000 pm 2026\n"
                                      "base hex  timestamps absolute\n"
                                      "internal events logged\n"
                                      "// version 11.0.0\n"
                                      "Begin Triggerblock Sun Dec 06 10:03:19.000 pm 2026\n"
                                      "0.000000\t1\t123\tRx\td\t2\t11 12 \n"
                                      "End TriggerBlock\n"));
    }

    void frameLine_data()
    {
        QTest::addColumn<Vemi_CANFD_Data>("frame");
        QTest::addColumn<QByteArray>("expected");
        const uint64_t base = 1000000;
        // Duration, bit count, flags, CRC, bit timings.
        const auto fdf = [](const char *flags) -> QByteArray {
            return "0 0 " + QByteArray(flags) + " 0 0 0 0 0";
        };

        QTest::newRow("classic data")
            << withPayload(makeFrame(0x123, 0, 0, false, false, false, base + 250000),
                           QByteArray::fromHex("1122334455667788"))
            << QByteArray("0.250000\t1\t123\tRx\td\t8\t11 22 33 44 55 66 77 88 ");
        QTest::newRow("classic remote extended sent")
            << makeFrame(0x1ABCDEF, 0, 0, true, true, true, base)
            << QByteArray("0.000000\t1\t1ABCDEFx\tTx\tr\t0\t");
        QTest::newRow("classic remote keeps length, drops bytes")
            << makeFrame(0x7FF, 4, 0, false, true, false, base)
            << QByteArray("0.000000\t1\t7FF\tRx\tr\t4\t");
        QTest::newRow("classic empty data")
            << makeFrame(0x1, 0, 0, false, false, false, base)
            << QByteArray("0.000000\t1\t1\tRx\td\t0\t");
        // The bus carries 8 bytes at most.
        QTest::newRow("classic 12 bytes written as 8")
            << makeFrame(0x2, 12, 0, false, false, false, base)
            << "0.000000\t1\t2\tRx\td\t8\t" + byteTexts(0x11, 8);
        QTest::newRow("classic remote of 12 asks for 8")
            << makeFrame(0x2, 12, 0, false, true, false, base)
            << QByteArray("0.000000\t1\t2\tRx\tr\t8\t");
        QTest::newRow("classic on channel 4")
            << onChannel(makeFrame(0x3, 1, 0, false, false, true, base), 4)
            << QByteArray("0.000000\t4\t3\tTx\td\t1\t11 ");
        QTest::newRow("classic on channel 255")
            << onChannel(makeFrame(0x3, 0, 0, false, true, false, base), 255)
            << QByteArray("0.000000\t255\t3\tRx\tr\t0\t");

        QTest::newRow("fd with switch")
            << makeFrame(0x10, 12, 3, false, false, false, base + 1)
            << "0.000001 CANFD 1 Rx 10 1 0 9 12 " + byteTexts(0x11, 12) + fdf("3000");
        QTest::newRow("fd length off the table gets DLC f")
            << makeFrame(0x10, 10, 2, false, false, false, 2 * base)
            << "1.000000 CANFD 1 Rx 10 0 0 f 10 " + byteTexts(0x11, 10) + fdf("1000");
        QTest::newRow("fd length 16, DLC a")
            << makeFrame(0x10, 16, 2, false, false, false, base)
            << "0.000000 CANFD 1 Rx 10 0 0 a 16 " + byteTexts(0x11, 16) + fdf("1000");
        QTest::newRow("fd length 48, DLC e")
            << makeFrame(0x10, 48, 2, false, false, false, base)
            << "0.000000 CANFD 1 Rx 10 0 0 e 48 " + byteTexts(0x11, 48) + fdf("1000");
        QTest::newRow("fd length 64")
            << makeFrame(0x10, 64, 2, true, false, true, base)
            << "0.000000 CANFD 1 Tx 10x 0 0 f 64 " + byteTexts(0x11, 64) + fdf("1000");
        QTest::newRow("fd empty") << makeFrame(0x10, 0, 2, false, false, false, base)
                                  << "0.000000 CANFD 1 Rx 10 0 0 0 0 " + fdf("1000");
        QTest::newRow("protocol 1 reads as switched fd")
            << makeFrame(0x20, 1, 1, false, false, false, base)
            << "0.000000 CANFD 1 Rx 20 1 0 1 1 11 " + fdf("3000");
        QTest::newRow("remote fd lists its bytes")
            << makeFrame(0x55, 3, 2, false, true, false, base)
            << "0.000000 CANFD 1 Rx 55 0 0 3 3 11 12 13 " + fdf("1000");
        QTest::newRow("fd on channel 3") << onChannel(makeFrame(0x55, 0, 2, false, false,
                                                                false, base), 3)
                                         << "0.000000 CANFD 3 Rx 55 0 0 0 0 " + fdf("1000");

        Vemi_CANFD_Data esi = makeFrame(0x55, 0, 2, false, false, false, base);
        esi.errorFlags = Vemi_CANFD_Data::EsiBit;
        QTest::newRow("error state indicator")
            << esi << "0.000000 CANFD 1 Rx 55 0 1 0 0 " + fdf("5000");
        esi.setProtocol(Vemi_CANFD_Data::ProtocolCanFdBrs);
        QTest::newRow("error state indicator and switch")
            << esi << "0.000000 CANFD 1 Rx 55 1 1 0 0 " + fdf("7000");

        Vemi_CANFD_Data bit7 = makeFrame(0x55, 0, 0, false, false, false, base);
        bit7.flags |= 0x80;
        QTest::newRow("bit 7 of flags ignored")
            << bit7 << QByteArray("0.000000\t1\t55\tRx\td\t0\t");
        bit7.flags |= 0x40;
        QTest::newRow("bit 6 alone means sent")
            << bit7 << QByteArray("0.000000\t1\t55\tTx\td\t0\t");

        Vemi_CANFD_Data damaged = makeFrame(0x66, 64, 2, false, false, false, base);
        damaged.length = 200;
        QTest::newRow("damaged length clamped")
            << damaged << "0.000000 CANFD 1 Rx 66 0 0 f 64 " + byteTexts(0x11, 64) + fdf("1000");
    }

    void frameLine()
    {
        QFETCH(Vemi_CANFD_Data, frame);
        QFETCH(QByteArray, expected);
        const WriterRun run = runWriter(AscWriter(sundayEvening), {frame}, 1000000);
        const QList<QByteArray> lines = run.text.split('\n');
        QCOMPARE(lines.size(), 8); // five header lines, the frame, the closing line, ""
        QCOMPARE(lines.at(5), expected);
    }

    void errorEntriesWriteNothing()
    {
        Vemi_CANFD_Data error = makeFrame(0x1, 0);
        error.errorFlags = Vemi_CANFD_Data::ErrorEntry;
        const WriterRun run = runWriter(AscWriter(sundayEvening), {error, makeFrame(0x2, 0)}, 0);
        QCOMPARE(run.text.count('\n'), 7);
        QVERIFY(run.text.contains("0.000000\t1\t2\tRx\td\t0\t\n"));
        QCOMPARE(run.progress, QList<int>{100});
    }

    void timeMatchesPrintf_data()
    {
        QTest::addColumn<quint64>("micros");
        for (const quint64 micros :
             {quint64(0), quint64(1), quint64(999999), quint64(1000000), quint64(86400000000),
              (quint64(1) << 52) - 1, quint64(1) << 52, (quint64(1) << 53) + 1,
              quint64(0xFFFFFFFFFFFFFFFF)})
            QTest::newRow(qPrintable(QString::number(micros))) << micros;
    }

    void timeMatchesPrintf()
    {
        QFETCH(quint64, micros);
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.6f", double(micros) / 1000000.0);
        LineBuffer line;
        line.appendSeconds(micros);
        QCOMPARE(QByteArray(line.data(), line.size()), QByteArray(expected));
    }

    // The hand-made number texts the writers use, against printf.
    void numbersMatchPrintf()
    {
        QRandomGenerator random(0xF0F);
        char expected[600];
        LineBuffer line;
        for (int i = 0; i < 20000; ++i) {
            // Values of every magnitude, the edges of each included.
            const int bits = i % 65;
            const quint64 value = bits == 64 ? random.generate64()
                                             : random.generate64() & ((quint64(1) << bits) - 1);
            const quint32 word = quint32(value);
            line.clear();
            line.appendDecimal(value);
            line.append(' ');
            line.appendHex(word);
            line.append(' ');
            line.appendHex(word, 8);
            line.append(' ');
            line.appendTwoDigits(int(value % 100));
            std::snprintf(expected, sizeof expected, "%llu %X %08X %02d",
                          static_cast<unsigned long long>(value), word, word, int(value % 100));
            QCOMPARE(QByteArray(line.data(), line.size()), QByteArray(expected));
        }
        Vemi_CANFD_Data frame;
        for (int length = 0; length <= 64; ++length) {
            frame.length = uint8_t(length);
            QByteArray text;
            for (int b = 0; b < length; ++b) {
                frame.data[b] = uint8_t(random.bounded(256));
                std::snprintf(expected, sizeof expected, "%02X ", frame.data[b]);
                text += expected;
            }
            line.clear();
            line.appendPayload(frame);
            QCOMPARE(QByteArray(line.data(), line.size()), text);
        }
    }

    void roundTripThroughReader()
    {
        const QVector<Vemi_CANFD_Data> frames = mixedFrames();
        QTemporaryDir dir;
        const QString path = exportAsc(frames, dir);
        QVERIFY(!path.isEmpty());

        const QVector<Vemi_CANFD_Data> read = TestSupport::parseOnWorker(path).frames();
        QCOMPARE(read.size(), frames.size());
        for (int i = 0; i < frames.size(); ++i) {
            QCOMPARE(read[i].id, frames[i].id);
            QCOMPARE(read[i].length, frames[i].length);
            QCOMPARE(read[i].flags, frames[i].flags);
            QCOMPARE(read[i].timestamp, frames[i].timestamp - frames[0].timestamp);
            if (!frames[i].isRemote())
                QCOMPARE(payload(read[i]), payload(frames[i]));
        }
    }

    void pythonCanReadsOurFile()
    {
        if (!TestSupport::pythonCanAvailable())
            QSKIP("python-can is not installed");
        QTemporaryDir dir;
        const QString path = exportAsc(mixedFrames(), dir);
        QVERIFY(!path.isEmpty());

        const char *script = R"(
import sys, can
for m in can.ASCReader(sys.argv[1]):
    print('%.6f %X %d %d %d %d %d %d %s' % (m.timestamp, m.arbitration_id, m.is_extended_id,
          m.is_remote_frame, m.is_fd, m.bitrate_switch, m.is_rx, m.dlc, m.data.hex()))
)";
        bool ok = false;
        const QByteArray out = TestSupport::runPython(QString::fromLatin1(script), {path}, &ok);
        QVERIFY(ok);
        QCOMPARE(out.split('\n').mid(0, 4),
                 (QList<QByteArray>{"0.000000 123 0 0 0 0 1 8 1112131415161718",
                                    "0.000500 1ABCDEF 1 1 0 0 0 2 ",
                                    "0.250000 10 0 0 1 1 0 12 " + packedHex(12),
                                    "2.000000 1FFFFFFF 1 0 1 0 1 64 " + packedHex(64)}));
    }
};

QTEST_GUILESS_MAIN(TestAscWriter)
#include "tst_ascwriter.moc"
