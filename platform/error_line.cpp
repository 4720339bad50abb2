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
    // A driver's error text comes in several indented lines (ADO's
    // "Error\n\tCode = ..."): read as one line, they are blanks. GBK's
    // trailing bytes are never below 0x40, so these bytes are what they seem.
    for (char &c : text)
        if (c == '\n' || c == '\r' || c == '\t')
            c = ' ';
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
    const std::string text = Utf8FromGbk(gbkText);
    // The text carries what peers sent (a PMS command, a user name) and is
    // read in a terminal: a control byte shown as itself could recolour or
    // retitle that terminal, or start a line of its own.
    static constexpr char kHex[] = "0123456789abcdef";
    line.reserve(line.size() + text.size() + 1);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            const char escape[4] = {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
            line.append(escape, sizeof escape);
        } else {
            line += c;
        }
    }
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
