#pragma once

#include <algorithm>

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QTextStream>
#include <QVector>

#include "exportcontext.h"
#include "vemi_canfd_data.h"

// One run of a text writer over a hand-made context, so a test fixes the time
// origin and the clock instead of reading them from the driver.
struct WriterRun
{
    QByteArray text;
    QList<int> progress;
};

template<typename Writer>
WriterRun runWriter(Writer &&writer, const QVector<Vemi_CANFD_Data> &frames,
                    uint64_t baseTimestamp, const QDateTime &start = QDateTime())
{
    WriterRun run;
    ExportContext context;
    context.frames = FrameSnapshot(frames);
    context.total = frames.size();
    context.baseTimestamp = baseTimestamp;
    context.exportStartTime = start;
    context.progress = [&run](int percent) { run.progress << percent; };
    QTextStream out(&run.text, QIODevice::WriteOnly);
    writer.write(context, out);
    out.flush();
    return run;
}

// "%02X " texts of count bytes counting up from first, as makeFrame fills them.
inline QByteArray byteTexts(int first, int count)
{
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text += QByteArray::number((first + i) & 0xFF, 16).toUpper().rightJustified(2, '0') + ' ';
    return text;
}

// A frame carrying exactly these payload bytes.
inline Vemi_CANFD_Data withPayload(Vemi_CANFD_Data frame, const QByteArray &bytes)
{
    const int size = std::min(bytes.size(), int(Vemi_CANFD_Data::MaxDataLength));
    frame.length = uint8_t(size);
    std::copy(bytes.cbegin(), bytes.cbegin() + size, frame.data);
    return frame;
}
