#include "platform/archive.h"
#include "protocol/msg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

CMyEvent DoorAlarmEvent()
{
    CMyEvent e;
    e.m_buildNum = 1;
    e.m_floorNum = 2;
    e.m_roomNum = 3;
    e.m_msgIndex = 45;
    e.m_unitNum = 0;
    e.m_msgType = 18;
    e.m_title = "房门未关报警";
    return e;
}

template <typename Record> Record RoundTrip(Record &stored, Record loaded)
{
    platform::CArchive out;
    stored.Serialize(out);
    platform::CArchive in(out.Bytes());
    loaded.Serialize(in);
    EXPECT_TRUE(in.Ok());
    EXPECT_EQ(in.Position(), out.Bytes().size());
    return loaded;
}

} // namespace

TEST(MyEvent, TextFormIsNineLines)
{
    const CMyEvent e = DoorAlarmEvent();
    char out[200];
    const int n = e.FormatText(out, sizeof out);
    const std::string expected = std::string("1\n2\n3\n45\n0\n18\n") + "房门未关报警" + "\n\n0\n";
    EXPECT_EQ(std::string(out, n), expected);

    CMyEvent big = e;
    big.m_msgIndex = 0xFFFFFFFFFFFFFFFFull; // printed signed
    big.m_time = 1700000000;
    big.m_note = "note";
    const int m = big.FormatText(out, sizeof out);
    EXPECT_EQ(std::string(out, m), std::string("1\n2\n3\n-1\n0\n18\n") + "房门未关报警" + "\nnote\n1700000000\n");

    // The widest numbers a row can hold still come out whole.
    CMyEvent widest = e;
    for (int32_t *field : {&widest.m_buildNum, &widest.m_floorNum, &widest.m_roomNum, &widest.m_unitNum,
                           &widest.m_msgType})
        *field = INT32_MIN;
    widest.m_msgIndex = 0x8000000000000000ull;
    widest.m_title = "t";
    const int w = widest.FormatText(out, sizeof out);
    const std::string min32 = "-2147483648\n";
    EXPECT_EQ(std::string(out, w), min32 + min32 + min32 + "-9223372036854775808\n" + min32 + min32 + "t\n\n0\n");
}

TEST(MyEvent, TextFormThatDoesNotFitIsRefused)
{
    CMyEvent e = DoorAlarmEvent();
    char out[64];
    const int n = e.FormatText(out, sizeof out);
    ASSERT_GT(n, 0);
    EXPECT_EQ(e.FormatText(out, static_cast<size_t>(n)), n);
    EXPECT_EQ(e.FormatText(out, static_cast<size_t>(n - 1)), -1);
}

TEST(MyEvent, ArchiveForm)
{
    CMyEvent e = DoorAlarmEvent();
    e.m_unitNum = 7;
    e.m_note = "n";
    e.m_time = 0x0102030405060708LL;
    e.m_msgIndex = 0x1122334455667788ULL;
    platform::CArchive out;
    e.Serialize(out);
    const std::vector<uint8_t> &b = out.Bytes();
    const size_t titleSize = e.m_title.size();
    ASSERT_EQ(b.size(), 20 + 1 + titleSize + 2 + 16);
    EXPECT_EQ(b[0], 1);
    EXPECT_EQ(b[12], 7) << "unit before type";
    EXPECT_EQ(b[16], 18);
    EXPECT_EQ(b[20], titleSize);
    const size_t index = 20 + 1 + titleSize + 2;
    EXPECT_EQ(b[index], 0x88) << "index low 32 bits first";
    EXPECT_EQ(b[index + 7], 0x11);
    EXPECT_EQ(b[index + 8], 0x08);

    const CMyEvent back = RoundTrip(e, CMyEvent());
    EXPECT_EQ(back.m_buildNum, 1);
    EXPECT_EQ(back.m_unitNum, 7);
    EXPECT_EQ(back.m_msgType, 18);
    EXPECT_EQ(back.m_title, e.m_title);
    EXPECT_EQ(back.m_note, "n");
    EXPECT_EQ(back.m_msgIndex, e.m_msgIndex);
    EXPECT_EQ(back.m_time, e.m_time);
}

TEST(MyEvent, ShortArchiveKeepsTheFieldsItCannotRead)
{
    CMyEvent e = DoorAlarmEvent();
    platform::CArchive out;
    e.Serialize(out);
    std::vector<uint8_t> cut(out.Bytes().begin(), out.Bytes().begin() + 10);
    platform::CArchive in(cut);
    CMyEvent loaded;
    loaded.m_msgType = 99;
    loaded.Serialize(in);
    EXPECT_FALSE(in.Ok());
    EXPECT_EQ(loaded.m_buildNum, 1);
    EXPECT_EQ(loaded.m_msgType, 99);
}

TEST(Msg, ResetClearsTheHeaderFieldsAndTheLoginTextsOnly)
{
    CMsg msg;
    EXPECT_EQ(msg.m_tag, -1);
    msg.m_tag = 3;
    msg.m_type = 4;
    msg.m_answerWanted = 1;
    msg.m_archiveWord = 9;
    msg.m_buildNum = msg.m_floorNum = msg.m_roomNum = 2;
    msg.m_user = "u";
    msg.m_password = "p";
    msg.m_text = "t";
    msg.m_seasonMode = 5;
    msg.m_event.m_msgType = 6;
    msg.Reset();
    EXPECT_EQ(msg.m_tag, -1);
    EXPECT_EQ(msg.m_type, 0u);
    EXPECT_EQ(msg.m_answerWanted, 0u);
    EXPECT_EQ(msg.m_archiveWord, 0u);
    EXPECT_EQ(msg.m_buildNum + msg.m_floorNum + msg.m_roomNum, 0u);
    EXPECT_TRUE(msg.m_user.empty());
    EXPECT_TRUE(msg.m_password.empty());
    EXPECT_EQ(msg.m_text, "t");
    EXPECT_EQ(msg.m_seasonMode, 5u);
    EXPECT_EQ(msg.m_event.m_msgType, 6);
}

TEST(Msg, ScratchMessageIsOneMessageResetOnEveryCall)
{
    CMsg *first = GetScratchMsg();
    first->m_tag = 7;
    first->m_user = "x";
    CMsg *second = GetScratchMsg();
    EXPECT_EQ(first, second);
    EXPECT_EQ(second->m_tag, -1);
    EXPECT_TRUE(second->m_user.empty());
}

TEST(Msg, ArchiveBodiesByType)
{
    struct Case {
        uint32_t type;
        size_t size; // after the u16 word and the u32 type
    };
    CMsg msg;
    msg.m_archiveWord = 0x12345;
    msg.m_user = "ab";
    msg.m_password = "cde";
    msg.m_buildNum = 1, msg.m_floorNum = 2, msg.m_roomNum = 3;
    msg.m_fanControl[0] = 0x11, msg.m_fanControl[1] = 0x22;
    msg.m_text = "hello";
    msg.m_event = DoorAlarmEvent();
    platform::CArchive eventOut;
    msg.m_event.Serialize(eventOut);
    const Case cases[] = {
        {0x02, 3 + 4},  {0x01, 12 + 8}, {0x08, 12}, {0x0A, 12}, {0x0B, 12}, {0x0C, 12},
        {0x0D, 12},     {0x0E, 12},     {0x0F, 12}, {0x12, 12}, {0x1D, 12}, {0x31, 12},
        {0x32, 12},     {0x20, 6},      {0x8B, eventOut.Bytes().size()},    {0x04, 0},
        {0x81, 0},      {0x09, 0},
    };
    for (const Case &c : cases) {
        msg.m_type = c.type;
        platform::CArchive out;
        msg.Serialize(out);
        ASSERT_EQ(out.Bytes().size(), 6 + c.size) << std::hex << c.type;
        EXPECT_EQ(out.Bytes()[0], 0x45);
        EXPECT_EQ(out.Bytes()[1], 0x23);
        EXPECT_EQ(out.Bytes()[2], c.type);

        const CMsg back = RoundTrip(msg, CMsg());
        EXPECT_EQ(back.m_type, c.type);
        EXPECT_EQ(back.m_archiveWord, 0x2345u);
    }

    msg.m_type = 0x01;
    const CMsg fan = RoundTrip(msg, CMsg());
    EXPECT_EQ(fan.m_roomNum, 3u);
    EXPECT_EQ(fan.m_fanControl[1], 0x22u);
    msg.m_type = 0x02;
    const CMsg login = RoundTrip(msg, CMsg());
    EXPECT_EQ(login.m_user, "ab");
    EXPECT_EQ(login.m_password, "cde");
    msg.m_type = 0x20;
    EXPECT_EQ(RoundTrip(msg, CMsg()).m_text, "hello");
    msg.m_type = 0x8B;
    EXPECT_EQ(RoundTrip(msg, CMsg()).m_event.m_title, msg.m_event.m_title);
    // A login body is not read for another type.
    msg.m_type = 0x04;
    EXPECT_TRUE(RoundTrip(msg, CMsg()).m_user.empty());
}

// A loader that has read the class name makes the message by that name and
// lets it load itself; only creatable classes are made.
TEST(Msg, CreatableByItsClassName)
{
    const CRuntimeClass *found = CRuntimeClass::FromName("CMsg");
    ASSERT_EQ(found, &CMsg::classCMsg);
    EXPECT_STREQ(found->m_className, "CMsg");
    EXPECT_EQ(found->m_schema, 0xFFFF);

    CMsg stored;
    stored.m_type = 0x20;
    stored.m_text = "hello";
    platform::CArchive out;
    stored.Serialize(out);

    std::unique_ptr<CObject> made = CRuntimeClass::CreateObject("CMsg");
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->GetRuntimeClass(), &CMsg::classCMsg);
    auto *msg = dynamic_cast<CMsg *>(made.get());
    ASSERT_NE(msg, nullptr);
    EXPECT_EQ(msg->m_tag, -1) << "a new message is reset";
    platform::CArchive in(out.Bytes());
    made->Serialize(in);
    EXPECT_TRUE(in.Ok());
    EXPECT_EQ(msg->m_text, "hello");

    for (const char *name : {"CObject", "CMyEvent", "cmsg", "CMsg ", ""})
        EXPECT_EQ(CRuntimeClass::CreateObject(name), nullptr) << name;
    EXPECT_EQ(CMyEvent().GetRuntimeClass(), &CObject::classCObject);
}
