#include "protocol/client_frame_build.h"
#include "protocol/frame_codes.h"
#include "protocol/frame_header.h"
#include "protocol/msg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class Clients : public OnlineClientList {
public:
    std::vector<std::pair<std::string, std::string>> entries;
    size_t Count() const override { return entries.size(); }
    OnlineClientEntry At(size_t i) const override { return {entries[i].first, entries[i].second}; }
};

struct Buffer {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(frame::kSendBufferSize, 0xA5);
    uint8_t *data() { return bytes.data(); }
    std::string Text(size_t from, size_t to) const { return std::string(bytes.begin() + from, bytes.begin() + to); }
};

CMsg Reply(uint32_t code)
{
    CMsg msg;
    msg.m_type = code;
    return msg;
}

} // namespace

TEST(BuildClientFrame, BareRepliesAre22ByteHeaders)
{
    for (uint16_t code : {uint16_t(MSG_LOGIN_FAIL), uint16_t(MSG_KEEPALIVE_ACK), uint16_t(0x99)}) {
        Buffer buf;
        CMsg msg = Reply(code);
        ASSERT_EQ(BuildClientFrame(buf.data(), buf.bytes.size(), msg, false), 22);
        const std::vector<uint8_t> header = {0x00, 0x16, 'Z', 'O', 'L', 'P', 2, 1, 0xFF, 0xFF, 0, 0, 0, 0, 0,
                                             uint8_t(code), 0, 0};
        EXPECT_EQ(std::vector<uint8_t>(buf.bytes.begin(), buf.bytes.begin() + 18), header) << std::hex << code;
        // Building, floor, room and byte 21 are left as the buffer holds them.
        EXPECT_EQ(std::vector<uint8_t>(buf.bytes.begin() + 18, buf.bytes.begin() + 22), std::vector<uint8_t>(4, 0xA5));
    }
}

TEST(BuildClientFrame, HeaderCarriesTagAndAnswerWantedFlag)
{
    Buffer buf;
    CMsg msg = Reply(MSG_KEEPALIVE_ACK);
    msg.m_tag = 0x10203;
    msg.m_answerWanted = 0x101;
    BuildClientFrame(buf.data(), buf.bytes.size(), msg, false);
    EXPECT_EQ(frame::GetU16Le(buf.data() + 8), 0x0203);
    EXPECT_EQ(buf.bytes[17], 1);
}

TEST(BuildClientFrame, FixedPayloadReplies)
{
    CMsg msg;
    msg.m_userInfo.USER_ID = 0x01020304;
    std::snprintf(msg.m_userInfo.userName, sizeof msg.m_userInfo.userName, "alice");
    msg.m_userInfo.GROUP_ID = 7;
    msg.m_userInfo.rights[11] = 1;
    for (size_t i = 0; i < sizeof msg.m_paramBlock; ++i)
        msg.m_paramBlock[i] = static_cast<uint8_t>(i);
    msg.m_timeAnswer.time[0] = 0x20;
    msg.m_timeAnswer.extra = 3;
    msg.m_block26.tail = 0x1234;

    struct Case {
        uint16_t code;
        size_t total;
    };
    const Case cases[] = {{MSG_BLOCK26, 48}, {MSG_LOGIN_OK, 195}, {MSG_TIME_ANSWER, 31}, {MSG_PARAMS_ANSWER, 62}};
    for (const Case &c : cases) {
        Buffer buf;
        msg.m_type = c.code;
        ASSERT_EQ(BuildClientFrame(buf.data(), buf.bytes.size(), msg, false), c.total) << std::hex << c.code;
        EXPECT_EQ(frame::GetU16Be(buf.data()), c.total);
        switch (c.code) {
        case MSG_LOGIN_OK:
            EXPECT_EQ(frame::GetU32Le(buf.data() + 22), 0x01020304u);
            EXPECT_EQ(buf.Text(26, 31), "alice");
            EXPECT_EQ(buf.bytes[31], 0);
            EXPECT_EQ(buf.bytes[182], 7);
            EXPECT_EQ(buf.bytes[194], 1);
            break;
        case MSG_PARAMS_ANSWER:
            EXPECT_EQ(buf.bytes[22 + 39], 39);
            break;
        case MSG_TIME_ANSWER:
            EXPECT_EQ(buf.bytes[22], 0x20);
            EXPECT_EQ(buf.bytes[30], 3);
            break;
        case MSG_BLOCK26:
            EXPECT_EQ(frame::GetU16Le(buf.data() + 46), 0x1234);
            break;
        }
    }
}

TEST(BuildClientFrame, ResetMessageCarriesTag0xFFFF)
{
    Buffer buf;
    CMsg *msg = GetScratchMsg();
    msg->m_type = MSG_LOGIN_FAIL;
    msg->m_tag = 5;
    msg = GetScratchMsg();
    EXPECT_EQ(msg->m_type, 0u);
    msg->m_type = MSG_KEEPALIVE_ACK;
    BuildClientFrame(buf.data(), buf.bytes.size(), *msg, false);
    EXPECT_EQ(frame::GetU16Le(buf.data() + 8), 0xFFFF);
}

TEST(BuildClientFrame, EventReplyIsTheEventsText)
{
    Buffer buf;
    CMsg msg = Reply(MSG_EVENT);
    msg.m_event.m_buildNum = 1;
    msg.m_event.m_msgType = 18;
    msg.m_event.m_title = "t";
    const std::string text = "1\n0\n0\n0\n0\n18\nt\n\n0\n";
    ASSERT_EQ(BuildClientFrame(buf.data(), buf.bytes.size(), msg, false), 22 + text.size());
    EXPECT_EQ(buf.Text(22, 22 + text.size()), text);
}

TEST(BuildClientFrame, LongReplyOfAnotherCodeGetsLengthField1450AndIsSentWhole)
{
    Buffer buf;
    CMsg msg = Reply(MSG_EVENT);
    msg.m_event.m_note = std::string(1500, 'n');
    const uint16_t total = BuildClientFrame(buf.data(), buf.bytes.size(), msg, false);
    EXPECT_GT(total, 1450);
    EXPECT_EQ(frame::GetU16Be(buf.data()), 1450);
    EXPECT_EQ(buf.bytes[14], 0) << "only reply 0x81 is split";
}

TEST(BuildClientFrame, EventTooLongForTheBufferIsRefused)
{
    Buffer buf;
    CMsg msg = Reply(MSG_EVENT);
    msg.m_event.m_note = std::string(frame::kSendBufferSize, 'n');
    EXPECT_EQ(BuildClientFrame(buf.data(), buf.bytes.size(), msg, false), 0);
    // A smaller buffer bounds it as well.
    msg.m_event.m_note = "x";
    EXPECT_EQ(BuildClientFrame(buf.data(), 30, msg, false), 0);
    EXPECT_EQ(buf.bytes[30], 0xA5);
}

TEST(BuildClientFrame, OnlineListRepliesListEveryClient)
{
    Buffer buf;
    CMsg msg = Reply(MSG_ONLINE_LIST_ANSWER);
    EXPECT_EQ(BuildClientFrame(buf.data(), buf.bytes.size(), msg, false), 24) << "no list: empty";
    EXPECT_EQ(buf.Text(22, 24), "0\n");

    Clients clients;
    ClientFrameContext context{&clients};
    EXPECT_EQ(BuildClientFrame(buf.data(), buf.bytes.size(), msg, false, context), 24);

    clients.entries = {{"alice", "10.0.0.1"}, {"alice", "10.0.0.1"}, {"bob", "192.168.1.20"}};
    const std::string text = "3\nalice\n10.0.0.1\nalice\n10.0.0.1\nbob\n192.168.1.20\n";
    ASSERT_EQ(BuildClientFrame(buf.data(), buf.bytes.size(), msg, false, context), 22 + text.size());
    EXPECT_EQ(buf.Text(22, 22 + text.size()), text);
}

// Each client below takes 51 + 16 = 67 bytes.
TEST(BuildClientFrame, LongOnlineListIsWholeUnderLengthField1450AndCutOnlyAtTheBuffer)
{
    struct Case {
        int clients;
        int listed;
    };
    // 40 clients: 2705 bytes, all of them; 50 would be 3375: 3000 - 22 - 3 ("44\n") holds 44.
    for (const Case c : {Case{40, 40}, Case{50, 44}}) {
        Clients clients;
        for (int i = 0; i < c.clients; ++i)
            clients.entries.emplace_back(std::string(50, 'u'), "192.168.100.200");
        Buffer buf;
        CMsg msg = Reply(MSG_ONLINE_LIST_ANSWER);
        const uint16_t total = BuildClientFrame(buf.data(), buf.bytes.size(), msg, false, ClientFrameContext{&clients});
        EXPECT_EQ(total, 22 + 3 + c.listed * 67) << c.clients;
        EXPECT_EQ(buf.Text(22, 25), std::to_string(c.listed) + "\n");
        EXPECT_EQ(frame::GetU16Be(buf.data()), 1450) << "length field";
        EXPECT_EQ(buf.bytes[14], 0) << "one datagram";
        EXPECT_EQ(buf.Text(total - 16, total), "192.168.100.200\n");
        EXPECT_EQ(buf.bytes[total], 0xA5);
    }
}

TEST(BuildClientFrame, TooSmallBufferIsRefused)
{
    uint8_t small[21] = {};
    CMsg msg = Reply(MSG_LOGIN_FAIL);
    EXPECT_EQ(BuildClientFrame(small, sizeof small, msg, false), 0);
    uint8_t header[22];
    msg.m_type = MSG_LOGIN_OK;
    EXPECT_EQ(BuildClientFrame(header, sizeof header, msg, false), 0);
}
