#include "idataparser.h"

const char *const parserStopLogLine = "检测到停止信号，线程正在退出...";

namespace {
std::atomic<int> liveCount{0};
}

IDataParser::IDataParser()
    : QObject(nullptr)
{
    ++liveCount;
}

IDataParser::~IDataParser()
{
    --liveCount;
}

int IDataParser::liveInstances()
{
    return liveCount.load();
}
