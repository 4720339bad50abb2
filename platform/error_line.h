#pragma once
// Standard error is the log of a server run without a display (a service's
// journal) and the place for failures that have no window to go to, or that
// repeat too often for one. Every line carries the local date and time and
// its text in UTF-8, and goes out in one write, so lines of several threads
// never interleave.
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace platform {

// "YYYY-MM-DD HH:MM:SS  " in local time, then the GBK text converted to
// UTF-8 with every byte below 0x20 and 0x7F shown as an escape ("\x1b"),
// then a newline.
std::string StderrLine(int64_t secondsSince1970, std::string_view gbkText);

// That line for the given time (or now) to stderr.
void WriteStderrLine(int64_t secondsSince1970, std::string_view gbkText);
void WriteStderrLine(std::string_view gbkText);

// "<label>: <text>" as one such line, for now; the text's line breaks and
// tabs are blanks there, and its line breaks at the end are left off.
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
