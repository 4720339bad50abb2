// Standard error is read in a terminal: no byte of a text, whoever sent it,
// reaches it as a control byte, and one text stays one line.
#include "platform/error_line.h"

#include <gtest/gtest.h>
#include <ctime>
#include <string>

namespace {

constexpr int64_t kWhen = 1700000000;

// The line's text, after its date and time.
std::string TextOf(const std::string &line)
{
    const size_t at = line.find("  ");
    return at == std::string::npos ? line : line.substr(at + 2);
}

TEST(StderrLine, ControlBytesAreShownAsEscapes)
{
    struct Case {
        std::string gbk, shown;
    };
    const Case cases[] = {
        // A terminal's colour, bell and title: what a PMS peer sent.
        {"10203:5:9\x1b[31m\x07\x1b]0;title\x07", "10203:5:9\\x1b[31m\\x07\\x1b]0;title\\x07"},
        {"a\rb\nc\td", "a\\x0db\\x0ac\\x09d"},
        {std::string("\x00\x01\x1f\x7f", 4), "\\x00\\x01\\x1f\\x7f"},
        // Printable bytes and GBK's own stay as they are, in UTF-8.
        {" ~\\x41", " ~\\x41"},
        {"1|205 *错误报文*", reinterpret_cast<const char *>(u8"1|205 *错误报文*")},
    };
    for (const Case &c : cases) {
        const std::string line = platform::StderrLine(kWhen, c.gbk);
        ASSERT_FALSE(line.empty());
        EXPECT_EQ(line.back(), '\n');
        EXPECT_EQ(TextOf(line), c.shown + "\n") << c.shown;
    }
}

TEST(StderrLine, EveryByteBelowBlankAndDeleteIsEscaped)
{
    std::string every;
    for (int byte = 0; byte < 0x80; ++byte)
        every += static_cast<char>(byte);
    const std::string line = platform::StderrLine(kWhen, every);
    for (size_t i = 0; i + 1 < line.size(); ++i) {
        const auto byte = static_cast<unsigned char>(line[i]);
        EXPECT_TRUE(byte >= 0x20 && byte != 0x7F) << "byte " << int(byte) << " at " << i;
    }
}

// An error line's own line breaks and tabs (a driver's indented text) read
// as blanks; its other control bytes are escaped like any line's.
TEST(WriteErrorLine, LineBreaksAreBlanksAndOtherControlBytesEscaped)
{
    testing::internal::CaptureStderr();
    platform::WriteErrorLine("live-room write failed", "Error\n\tCode = 1\r\nx\x1b[2Jy\n");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(TextOf(err), "live-room write failed: Error  Code = 1  x\\x1b[2Jy\n");
}

} // namespace
