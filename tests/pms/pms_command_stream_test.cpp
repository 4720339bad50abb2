// The PMS byte stream cut back into commands: XML commands by the end of
// their root element, whatever the reads; white space and control bytes
// between commands belong to none; set-top-box strings one per read; an
// over-long XML command dropped whole.
#include "pms/pms_command_stream.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

const std::string kOverlong = "<foxhis><id>" + std::string(3100, '9') + "</id></foxhis>";

// Feeds each read into a stream and lists what comes out: the commands, and
// "<overlong>" where one was dropped.
std::vector<std::string> Cut(const std::vector<std::string> &reads)
{
    PmsCommandStream stream;
    std::vector<std::string> out;
    char command[PmsCommandStream::kCapacity + 1];
    for (const std::string &read : reads) {
        for (size_t at = 0; at < read.size();) {
            const size_t n = std::min(read.size() - at, stream.SpaceSize());
            EXPECT_GT(n, 0u);
            read.copy(stream.Space(), n, at);
            stream.Received(n);
            at += n;
            size_t length = 0;
            for (PmsCommandStream::Next next; (next = stream.Take(command, length)) != PmsCommandStream::Next::Nothing;) {
                if (next == PmsCommandStream::Next::Overlong) {
                    out.push_back("<overlong>");
                    continue;
                }
                EXPECT_LE(length, PmsCommandStream::kCapacity);
                EXPECT_EQ(command[length], '\0');
                out.push_back(std::string(command, length));
            }
        }
    }
    return out;
}

struct CutCase {
    const char *what;
    std::vector<std::string> reads;
    std::vector<std::string> commands;
};

TEST(PmsCommandStream, CutsCommands)
{
    const std::string a = "<foxhis ver=\"1\"><func>GSTIN</func><roomno>10203</roomno></foxhis>";
    const std::string b = "<nehops><func>GSTOUT</func></nehops>";
    const std::string exact = "<a>" + std::string(3000 - 7, 'x') + "</a>";
    const CutCase cases[] = {
        {"one command, one read", {a}, {a}},
        {"set-top-box string", {"10203:5:9"}, {"10203:5:9"}},
        {"white space only, as a read of its own", {" \r\n"}, {}},
        {"control bytes only", {std::string("\0\x03\x1f\t", 4)}, {}},
        {"two in one read; white space after each belongs to neither", {a + "\r\n" + b + "\n"}, {a, b}},
        {"three, each ended by a NUL", {a + '\0' + b + '\0' + a + '\0'}, {a, b, a}},
        {"three, each ended by an ETX", {a + "\x03" + b + "\x03" + a + "\x03"}, {a, b, a}},
        {"one ended by a NUL alone", {a + '\0'}, {a}},
        {"the NUL in a read of its own", {a, std::string(1, '\0'), b}, {a, b}},
        {"a run of control bytes and white space between two", {a + std::string("\x02\0\r\n\x03 \x04", 7) + b}, {a, b}},
        {"set-top-box string after a NUL", {std::string(1, '\0') + "10203:5:9"}, {"10203:5:9"}},
        {"split inside a tag", {a.substr(0, 30), a.substr(30)}, {a}},
        {"split byte by byte", [&] {
             std::vector<std::string> bytes;
             for (char c : b)
                 bytes.push_back(std::string(1, c));
             return bytes;
         }(), {b}},
        {"third one cut", {a + b + a.substr(0, 20)}, {a, b}},
        {"third one completed later", {a + b + a.substr(0, 20), a.substr(20)}, {a, b, a}},
        {"white space in the next read trails the command", {a, "\r\n", "10203:1:1"}, {a, "10203:1:1"}},
        {"leading white space and control bytes go", {std::string("\r\n\0", 3) + a}, {a}},
        {"set-top-box after XML in one read", {a + "10205:1:1"}, {a, "10205:1:1"}},
        {"XML after a set-top-box string in one read: one read, one command", {"10205:1:1" + a}, {"10205:1:1" + a}},
        {"prolog, comment, declaration, CDATA, quoted '>' and an empty element",
         {"<?xml version=\"1.0\"?><!-- <x> --><!DOCTYPE foxhis [<!ENTITY e \"]>\">]><foxhis a='>'><![CDATA[</foxhis>]]><b/>",
          "</foxhis>"},
         {"<?xml version=\"1.0\"?><!-- <x> --><!DOCTYPE foxhis [<!ENTITY e \"]>\">]><foxhis a='>'><![CDATA[</foxhis>]]><b/>"
          "</foxhis>"}},
        {"empty root element", {"<foxhis/><foxhis/>"}, {"<foxhis/>", "<foxhis/>"}},
        {"not XML it can follow: the read as it is", {"<<" + a, "10203"}, {"<<" + a, "10203"}},
        {"a closing tag first", {"</foxhis>" + a}, {"</foxhis>" + a}},
        {"a command of exactly the buffer's size", {exact + b}, {exact, b}},
        {"over-long, then a good one", {kOverlong + "\r\n" + a}, {"<overlong>", a}},
        {"over-long in small reads", {kOverlong.substr(0, 1000), kOverlong.substr(1000, 2050), kOverlong.substr(3050), b},
         {"<overlong>", b}},
        {"over-long whose rest is no XML", {kOverlong.substr(0, 3100) + "<>", a}, {"<overlong>", a}},
        {"over-long whose rest breaks at a new command", {kOverlong.substr(0, 3100) + "<" + a}, {"<overlong>", a}},
    };
    for (const CutCase &c : cases)
        EXPECT_EQ(Cut(c.reads), c.commands) << c.what;
}

// Wherever the network splits the stream, the same commands come out, and
// the separators between them go with none.
TEST(PmsCommandStream, EverySplitGivesTheSameCommands)
{
    const std::vector<std::string> commands = {
        "<?xml version=\"1.0\"?>\r\n<foxhis ver='1'><func>GSTIN</func><!-- -> --><a b=\"/>\"/></foxhis>",
        "<nehops><![CDATA[]]]]><x/>]]></nehops>",
        "<foxhis/>",
    };
    const std::string separators[] = {"\r\n", std::string("\0", 1), "\x03\n"};
    std::string stream;
    for (size_t i = 0; i < commands.size(); ++i)
        stream += commands[i] + separators[i];
    for (size_t cut = 1; cut < stream.size(); ++cut)
        EXPECT_EQ(Cut({stream.substr(0, cut), stream.substr(cut)}), commands) << "cut at " << cut;
}

} // namespace
