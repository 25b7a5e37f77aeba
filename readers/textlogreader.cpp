#include "textlogreader.h"

#include <QtDebug>

TextLogReader::TextLogReader(IDataParser &reader, Texts messages)
    : parser(reader)
    , texts(std::move(messages))
{
    batch.reserve(BatchSize);
}

bool TextLogReader::open(QFile &file, const QString &filePath, QIODevice::OpenMode mode)
{
    emit parser.progressUpdated(0, texts.start);
    file.setFileName(filePath);
    if (!file.open(QIODevice::ReadOnly | mode)) {
        emit parser.parsingFinished(false, QStringLiteral("无法打开文件"));
        return false;
    }
    return true;
}

void TextLogReader::stopped()
{
    // Frames not yet handed over are dropped with the batch.
    qDebug("%s", parserStopLogLine);
}

void TextLogReader::closingStep(qint64 lineCount, const LineSource &lines)
{
    if (batch.size() >= BatchSize) {
        emit parser.dataParsed(batch);
        batch = QVector<Vemi_CANFD_Data>();
        batch.reserve(BatchSize);
    }
    if (lineCount % ProgressInterval == 0) {
        // One percent per thousand lines, held at 95 until the end.
        const int percent = int(std::min<qint64>(lineCount / 1000, 95));
        emit parser.progressUpdated(percent, texts.progress);
        // The lines say little of a long log; its bytes do (a pipe has none).
        const qint64 size = lines.size();
        if (size > 0)
            emit parser.shareRead(int(std::min<qint64>(lines.position() * 100 / size, 99)));
    }
}

void TextLogReader::finish(bool cut)
{
    if (!batch.isEmpty())
        emit parser.dataParsed(batch);
    if (cut)
        emit parser.endedEarly(QStringLiteral("文件末行不完整"));
    emit parser.progressUpdated(100, QStringLiteral("解析完成"));
    emit parser.parsingFinished(true, texts.success);
}
