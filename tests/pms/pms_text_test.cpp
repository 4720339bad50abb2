// The set-top-box string's fields and the bbffrr room numbers.
#include "pms/pms_functions.h"
#include "pms/pms_text.h"

#include <gtest/gtest.h>
#include <string>

namespace {

struct SplitCase {
    std::string command, a, b, c;
};

TEST(PmsText, SetTopBoxFields)
{
    const std::string a45(45, 'x');
    const SplitCase cases[] = {
        {"10203:5:9", "10203", "5", "9"},
        {"10203", "10203", "", ""},
        {"10203:", "10203", "", ""},
        {"10203:5", "10203", "5", ""},
        {"10203:5:  \t9 trailing", "10203", "5", "9"},
        {"10203:5:9:7", "10203", "5", "9:7"},
        {":5:9", "", "5", "9"},
        {"", "", "", ""},
        // A stops after 45 bytes; the 46th byte ended it and is skipped.
        {a45 + "y12:3", a45, "12", "3"},
        {a45 + ":12:3", a45, "12", "3"},
        {"<foxhis ver=\"1\"><func>GSTIN</func></foxhis>", "<foxhis ver=\"1\"><func>GSTIN</func></foxhis>", "",
         ""},
    };
    for (const SplitCase &t : cases) {
        const SetTopBoxFields f = SplitSetTopBox(t.command.c_str());
        EXPECT_EQ(f.a, t.a) << t.command;
        EXPECT_EQ(f.b, t.b) << t.command;
        EXPECT_EQ(f.c, t.c) << t.command;
    }
    const SetTopBoxFields longC = SplitSetTopBox(("1:2:" + std::string(60, '7')).c_str());
    EXPECT_EQ(std::string(longC.c), std::string(45, '7'));
    EXPECT_EQ(longC.c[45], 0);
}

struct NumberCase {
    const char *text;
    bool asUnsigned, zeroIsOne;
    int build, floor, room;
};

TEST(PmsText, RoomNumbers)
{
    const NumberCase cases[] = {
        {"10203", false, true, 1, 2, 3},
        {"203", false, true, 1, 2, 3},   // set-top box: building 0 is 1
        {"203", true, false, 0, 2, 3},   // foxhis keeps building 0
        {"203", true, true, 1, 2, 3},    // nehops
        {"  +20512x", true, false, 2, 5, 12},
        {"", false, true, 1, 0, 0},
        {"<foxhis>", false, true, 1, 0, 0},
        {"1234567", true, false, 123, 45, 67},
        {"-10203", false, true, -1, -102, -3},
        {"-1", true, false, 429496, 72, 95}, // 4294967295
        {"99999999999", false, false, 214748, 36, 47}, // held to INT32_MAX
    };
    for (const NumberCase &t : cases) {
        const PmsRoomNumber n = DecodeRoomNumber(t.text, t.asUnsigned, t.zeroIsOne);
        EXPECT_EQ(n.build, t.build) << t.text;
        EXPECT_EQ(n.floor, t.floor) << t.text;
        EXPECT_EQ(n.room, t.room) << t.text;
    }
}

TEST(PmsText, FunctionNamesAreExact)
{
    EXPECT_EQ(FindPmsFunction("GSTIN").kind, PmsFunction::CheckIn);
    EXPECT_EQ(FindPmsFunction("GSTSYN").kind, PmsFunction::StateSync);
    EXPECT_EQ(FindPmsFunction("gstin").kind, PmsFunction::Unknown);
    EXPECT_EQ(FindPmsFunction("GSTIN ").kind, PmsFunction::Unknown);
    EXPECT_EQ(FindPmsFunction("").kind, PmsFunction::Unknown);
    EXPECT_EQ(PmsStateOfCode("VR"), 1);
    EXPECT_EQ(PmsStateOfCode("OD"), 4);
    EXPECT_EQ(PmsStateOfCode("od"), 0);
}

} // namespace
