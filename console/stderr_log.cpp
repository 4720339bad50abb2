#include "console/stderr_log.h"

#include "platform/gbk.h"

#include <cstdio>
#include <ctime>

std::string StderrLogLine(int64_t secondsSince1970, std::string_view gbkText)
{
    const time_t when = static_cast<time_t>(secondsSince1970);
    struct tm local {};
    char stamp[32] = "0000-00-00 00:00:00  ";
    if (localtime_r(&when, &local))
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S  ", &local);
    std::string line = stamp;
    line += platform::Utf8FromGbk(gbkText);
    line += '\n';
    return line;
}

void WriteStderrLog(int64_t secondsSince1970, std::string_view gbkText)
{
    const std::string line = StderrLogLine(secondsSince1970, gbkText);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void WriteStderrLog(std::string_view gbkText)
{
    WriteStderrLog(static_cast<int64_t>(std::time(nullptr)), gbkText);
}
