#include "protocol/client_frame_parse.h"
#include "protocol/frame_header.h"
#include "protocol/msg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

// A workstation request: header for code, tag 0x0102, answer-wanted 1,
// building 3, floor 4, room 5, then the payload.
std::vector<uint8_t> Request(uint16_t code, std::vector<uint8_t> payload = {})
{
    std::vector<uint8_t> f(22 + payload.size(), 0);
    f[2] = 'Z', f[3] = 'O', f[4] = 'L', f[5] = 'P';
    f[6] = 1;
    f[7] = 2;
    frame::PutU16Le(&f[8], 0x0102);
    frame::PutU16Le(&f[15], code);
    f[17] = 1;
    f[18] = 3, f[19] = 4, f[20] = 5;
    std::copy(payload.begin(), payload.end(), f.begin() + 22);
    frame::PutU16Be(&f[0], static_cast<uint16_t>(f.size()));
    return f;
}

std::vector<uint8_t> Bytes(const std::string &text) { return {text.begin(), text.end()}; }

bool Parse(const std::vector<uint8_t> &f, CMsg &msg) { return ParseClientFrame(f.data(), f.size(), msg); }

} // namespace

TEST(ParseClientFrame, AcceptsExactlyTheRequestCodesOfTheTable)
{
    const std::set<uint16_t> accepted = {0x01, 0x02, 0x03, 0x04, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D,
                                         0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x14, 0x1E, 0x21, 0x22,
                                         0x23, 0x24, 0x25, 0x2F, 0x30, 0x31, 0x32, 0x40, 0x41, 0x43};
    for (uint32_t code = 0; code <= 0xFFFF; ++code) {
        CMsg msg;
        const bool ok = Parse(Request(static_cast<uint16_t>(code)), msg);
        ASSERT_EQ(ok, accepted.count(static_cast<uint16_t>(code)) == 1) << std::hex << code;
        ASSERT_EQ(IsAcceptedClientRequest(static_cast<uint16_t>(code)), ok);
    }
}

TEST(ParseClientFrame, RejectedCodesStillCopyTheHeaderFields)
{
    for (uint16_t code : {0x05, 0x44, 0x81, 0xFFFF}) {
        CMsg msg;
        msg.m_seasonMode = 77;
        EXPECT_FALSE(Parse(Request(code, {1, 2, 3, 4}), msg));
        EXPECT_EQ(msg.m_type, code);
        EXPECT_EQ(msg.m_tag, 0x0102);
        EXPECT_EQ(msg.m_answerWanted, 1u);
        EXPECT_EQ(msg.m_buildNum, 3u);
        EXPECT_EQ(msg.m_floorNum, 4u);
        EXPECT_EQ(msg.m_roomNum, 5u);
        EXPECT_EQ(msg.m_seasonMode, 77u) << "no payload is read for a rejected code";
    }
}

TEST(ParseClientFrame, TagIsZeroExtended)
{
    auto f = Request(0x04);
    frame::PutU16Le(&f[8], 0xFFFF);
    CMsg msg;
    ASSERT_TRUE(Parse(f, msg));
    EXPECT_EQ(msg.m_tag, 0xFFFF);
}

TEST(ParseClientFrame, PayloadsGoToTheFieldsTheCodeNames)
{
    std::vector<uint8_t> payload(41);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<uint8_t>(0x10 + i);
    const uint32_t first = 0x13121110, second = 0x17161514;

    CMsg msg;
    ASSERT_TRUE(Parse(Request(0x01, payload), msg));
    EXPECT_EQ(msg.m_fanControl[0], first);
    EXPECT_EQ(msg.m_fanControl[1], second);

    struct U32Case {
        uint16_t code;
        uint32_t CMsg::*field;
    };
    const U32Case u32Cases[] = {{0x03, &CMsg::m_seasonMode}, {0x43, &CMsg::m_seasonMode}, {0x0E, &CMsg::m_roomState},
                                {0x24, &CMsg::m_valveMode},  {0x25, &CMsg::m_lightMode}};
    for (const U32Case &c : u32Cases) {
        CMsg m;
        ASSERT_TRUE(Parse(Request(c.code, payload), m));
        EXPECT_EQ(m.*c.field, first) << std::hex << c.code;
    }

    ASSERT_TRUE(Parse(Request(0x13, payload), msg));
    EXPECT_EQ(msg.m_lightControl.value, first);
    EXPECT_EQ(msg.m_lightControl.extra, 0x14);
    ASSERT_TRUE(Parse(Request(0x40, payload), msg));
    EXPECT_EQ(msg.m_lightScene.value, first);
    EXPECT_EQ(msg.m_lightScene.extra, 0x14);
    ASSERT_TRUE(Parse(Request(0x23, payload), msg));
    EXPECT_EQ(std::vector<uint8_t>(msg.m_paramBlock, msg.m_paramBlock + 40),
              std::vector<uint8_t>(payload.begin(), payload.begin() + 40));
    ASSERT_TRUE(Parse(Request(0x2F, payload), msg));
    EXPECT_EQ(std::vector<uint8_t>(msg.m_preset.block, msg.m_preset.block + 40),
              std::vector<uint8_t>(payload.begin(), payload.begin() + 40));
    EXPECT_EQ(msg.m_preset.extra, payload[40]);
}

TEST(ParseClientFrame, FieldsTheCodeDoesNotNameKeepTheirValue)
{
    CMsg msg;
    msg.m_valveMode = 9;
    msg.m_user = "kept";
    ASSERT_TRUE(Parse(Request(0x03, {1, 0, 0, 0}), msg));
    EXPECT_EQ(msg.m_seasonMode, 1u);
    EXPECT_EQ(msg.m_valveMode, 9u);
    EXPECT_EQ(msg.m_user, "kept");
}

TEST(ParseClientFrame, BytesBeyondTheDatagramReadAsZero)
{
    // The receive buffer still holds an earlier, longer datagram behind a
    // short one; only the short one's bytes count.
    std::vector<uint8_t> buffer = Request(0x23, std::vector<uint8_t>(40, 0xEE));
    const std::vector<uint8_t> shortOne = Request(0x23, {1, 2, 3});
    std::copy(shortOne.begin(), shortOne.end(), buffer.begin());

    CMsg msg;
    ASSERT_TRUE(ParseClientFrame(buffer.data(), shortOne.size(), msg));
    std::vector<uint8_t> expected(40, 0);
    expected[0] = 1, expected[1] = 2, expected[2] = 3;
    EXPECT_EQ(std::vector<uint8_t>(msg.m_paramBlock, msg.m_paramBlock + 40), expected);

    ASSERT_TRUE(ParseClientFrame(Request(0x01, {0xAA}).data(), 23, msg));
    EXPECT_EQ(msg.m_fanControl[0], 0xAAu);
    EXPECT_EQ(msg.m_fanControl[1], 0u);

    // Even the header: a frame cut after byte 16 has no answer-wanted flag,
    // building, floor or room.
    const auto full = Request(0x04);
    ASSERT_TRUE(ParseClientFrame(full.data(), 17, msg));
    EXPECT_EQ(msg.m_answerWanted, 0u);
    EXPECT_EQ(msg.m_buildNum, 0u);
    EXPECT_EQ(msg.m_roomNum, 0u);
}

TEST(ParseClientFrame, LoginNameAndPasswordScans)
{
    struct Case {
        std::string payload;
        size_t datagramPayload; // bytes of the payload that the datagram holds
        std::string user;
        std::string password;
    };
    const std::string fifty(50, 'n');
    const Case cases[] = {
        {std::string("alice\0secret\0", 13), 13, "alice", "secret"},
        {"bob\nsecret\n", 11, "bob", "secret"},
        {std::string("\0pw\0", 4), 4, "", "pw"},
        {std::string("\0\0", 2), 2, "", ""},
        // A 51st name byte is never read: the password starts right after the
        // 50 bytes of the name plus one.
        {fifty + "Xpass", 55, fifty, "pass"},
        {fifty + "X" + std::string(60, 'p'), 111, fifty, std::string(50, 'p')},
        // The scans stop at the end of the datagram, terminated or not.
        {"carol", 5, "carol", ""},
        {std::string("dave\0pw", 7), 7, "dave", "pw"},
        {"", 0, "", ""},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> buffer = Request(0x02, Bytes(c.payload));
        buffer.insert(buffer.end(), 64, 'Z'); // left from an earlier datagram
        CMsg msg;
        ASSERT_TRUE(ParseClientFrame(buffer.data(), 22 + c.datagramPayload, msg));
        EXPECT_EQ(msg.m_user, c.user) << c.payload;
        EXPECT_EQ(msg.m_password, c.password) << c.payload;
    }
}

TEST(ParseClientFrame, ReadsNothingOfAnEmptyDatagram)
{
    CMsg msg;
    const uint8_t nothing[1] = {0x55};
    EXPECT_FALSE(ParseClientFrame(nothing, 0, msg));
    EXPECT_EQ(msg.m_type, 0u);
    EXPECT_EQ(msg.m_tag, 0);
}
