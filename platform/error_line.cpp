#include "platform/error_line.h"

#include "platform/gbk.h"

#include <cinttypes>
#include <cstdio>
#include <string>

namespace platform {

namespace {

void WriteLine(const char *label, std::string_view gbkText, uint64_t leftOut)
{
    std::string line = Utf8FromGbk(gbkText);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    for (char &c : line)
        if (c == '\n' || c == '\r' || c == '\t')
            c = ' ';
    if (leftOut != 0)
        std::fprintf(stderr, "%s: %s (%" PRIu64 " more left out)\n", label, line.c_str(), leftOut);
    else
        std::fprintf(stderr, "%s: %s\n", label, line.c_str());
    std::fflush(stderr);
}

} // namespace

void WriteErrorLine(const char *label, std::string_view gbkText) { WriteLine(label, gbkText, 0); }

bool ThrottledErrorLine::Write(int64_t now, const char *label, std::string_view gbkText)
{
    if (now == m_lastSecond) {
        ++m_leftOut;
        return false;
    }
    m_lastSecond = now;
    WriteLine(label, gbkText, m_leftOut);
    m_leftOut = 0;
    return true;
}

} // namespace platform
