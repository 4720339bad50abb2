#include "platform/error_line.h"

#include "platform/gbk.h"

#include <cstdio>
#include <ctime>

namespace platform {

namespace {

void WriteLabelled(const char *label, std::string_view gbkText, uint64_t leftOut)
{
    std::string text = label;
    text += ": ";
    text += gbkText;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    if (leftOut != 0)
        text += " (" + std::to_string(leftOut) + " more left out)";
    WriteStderrLine(text);
}

} // namespace

std::string StderrLine(int64_t secondsSince1970, std::string_view gbkText)
{
    const time_t when = static_cast<time_t>(secondsSince1970);
    struct tm local {};
    char stamp[32] = "0000-00-00 00:00:00  ";
    if (localtime_r(&when, &local))
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S  ", &local);
    std::string line = stamp;
    const size_t textStart = line.size();
    line += Utf8FromGbk(gbkText);
    // One event, one line: a multi-line error text must not look like several.
    for (size_t i = textStart; i < line.size(); ++i)
        if (line[i] == '\n' || line[i] == '\r' || line[i] == '\t')
            line[i] = ' ';
    line += '\n';
    return line;
}

void WriteStderrLine(int64_t secondsSince1970, std::string_view gbkText)
{
    const std::string line = StderrLine(secondsSince1970, gbkText);
    // Nothing sensible is left to do when stderr itself cannot be written.
    (void)std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void WriteStderrLine(std::string_view gbkText)
{
    WriteStderrLine(static_cast<int64_t>(std::time(nullptr)), gbkText);
}

void WriteErrorLine(const char *label, std::string_view gbkText) { WriteLabelled(label, gbkText, 0); }

bool ThrottledErrorLine::Write(int64_t now, const char *label, std::string_view gbkText)
{
    if (now == m_lastSecond) {
        ++m_leftOut;
        return false;
    }
    m_lastSecond = now;
    WriteLabelled(label, gbkText, m_leftOut);
    m_leftOut = 0;
    return true;
}

} // namespace platform
