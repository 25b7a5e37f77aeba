#include "parsercheck.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include <QFile>
#include <QObject>
#include <QString>
#include <QVector>

#include "fuzzinput.h"
#include "idataparser.h"
#include "vemi_canfd_data.h"

namespace {

[[noreturn]] void broken(const char *what)
{
    std::fprintf(stderr, "reader contract broken: %s\n", what);
    std::abort();
}

void require(bool condition, const char *what)
{
    if (!condition)
        broken(what);
}

void checkBusFrame(const Vemi_CANFD_Data &frame)
{
    require((frame.errorFlags & ~Vemi_CANFD_Data::EsiBit) == 0, "error byte other than ESI");
    if (frame.protocol() != Vemi_CANFD_Data::ProtocolCan) {
        require(!frame.isRemote(), "remote CAN FD frame");
        return;
    }
    require(frame.length <= 8, "classic frame above 8 bytes");
    require(frame.errorFlags == 0, "ESI on a classic frame");
}

} // namespace

void ParserCheck::run(IDataParser &parser, const uint8_t *data, std::size_t size, Frames frames)
{
    const QString path = QFile::decodeName(FuzzInput::write(data, size));
    int lastPercent = -1;
    int finishedCount = 0;
    bool succeeded = false;
    QObject context;
    QObject::connect(&parser, &IDataParser::progressUpdated, &context,
                     [&](int percent, const QString &) {
                         require(finishedCount == 0, "progress after the end");
                         require(percent >= 0 && percent <= 100, "progress outside 0-100");
                         require(percent >= lastPercent, "progress went back");
                         lastPercent = percent;
                     });
    QObject::connect(&parser, &IDataParser::dataParsed, &context,
                     [&](const QVector<Vemi_CANFD_Data> &batch) {
                         require(finishedCount == 0, "batch after the end");
                         require(!batch.isEmpty(), "empty batch");
                         for (const Vemi_CANFD_Data &frame : batch) {
                             require(frame.length <= Vemi_CANFD_Data::MaxDataLength,
                                     "length above 64");
                             require(frame.timeText[Vemi_CANFD_Data::TimeTextSize - 1] == 0,
                                     "time text not terminated");
                             if (frames == Frames::BusFrames)
                                 checkBusFrame(frame);
                         }
                     });
    QObject::connect(&parser, &IDataParser::parsingFinished, &context,
                     [&](bool success, const QString &) {
                         ++finishedCount;
                         succeeded = success;
                     });
    std::atomic<bool> stop{false};
    const bool result = parser.parse(path, stop);
    require(finishedCount == 1, "parsingFinished not emitted once");
    require(result == succeeded, "result disagrees with parsingFinished");
    require(!result || lastPercent == 100, "success without progress 100");
}
