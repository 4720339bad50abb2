#pragma once
// Failures that have no window to go to (or that repeat too often for one)
// written to standard error, one line each.
#include <cstdint>
#include <limits>
#include <string_view>

namespace platform {

// Writes "<label>: <text>" as one line: the GBK text converted to UTF-8, its
// line breaks and tabs folded into blanks.
void WriteErrorLine(const char *label, std::string_view gbkText);

// For a failure that can repeat thousands of times a second (a statement run
// for every datagram): at most one line a second, and the next line written
// counts the ones left out.
class ThrottledErrorLine {
public:
    // WriteErrorLine unless a line already went out in this second of now;
    // true when it was written.
    bool Write(int64_t now, const char *label, std::string_view gbkText);

private:
    int64_t m_lastSecond = std::numeric_limits<int64_t>::min();
    uint64_t m_leftOut = 0;
};

} // namespace platform
