#include "datahub.h"

#include <QFileInfo>
#include <QtDebug>

#include "idataparser.h"
#include "logformat.h"

DataHub::DataHub(QObject *parent)
    : QObject(parent)
{
}

IDataParser *DataHub::createParser(const QString &filePath)
{
    const QString suffix = QFileInfo(filePath).suffix().toLower();
    if (const LogFormat *format = LogFormat::forSuffix(suffix))
        return format->createReader();
    qWarning("%s", qUtf8Printable(QStringLiteral("不支持的文件格式:") + suffix));
    return nullptr;
}

bool DataHub::parseFile(const QString &filePath, std::atomic<bool> &stopRequested)
{
    return parseFile(filePath, stopRequested, BatchSink());
}

bool DataHub::parseFile(const QString &filePath, std::atomic<bool> &stopRequested,
                        const BatchSink &sink)
{
    IDataParser *parser = createParser(filePath);
    if (!parser)
        return false;

    connect(parser, &IDataParser::progressUpdated, this, &DataHub::progressUpdated);
    if (sink)
        connect(parser, &IDataParser::dataParsed, parser, sink, Qt::DirectConnection);
    else
        connect(parser, &IDataParser::dataParsed, this, &DataHub::dataParsed);
    connect(parser, &IDataParser::endedEarly, this, &DataHub::endedEarly);
    connect(parser, &IDataParser::shareRead, this, &DataHub::shareRead);
    connect(parser, &IDataParser::parsingFinished, this, &DataHub::parsingFinished);
    connect(parser, &IDataParser::parsingFinished, parser, &QObject::deleteLater);

    const bool result = parser->parse(filePath, stopRequested);
    // A stopped run never emitted parsingFinished, so nothing has asked for its
    // deletion yet. Asking twice is harmless: the object's pending events go
    // with it. The deletion takes effect when this worker thread ends.
    parser->deleteLater();
    return result;
}
