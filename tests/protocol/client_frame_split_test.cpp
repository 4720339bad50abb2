// Replies carrying the hotel's data: the layout list with its split over two
// datagrams, a room and a building.
#include "model/hotel.h"
#include "platform/archive.h"
#include "protocol/client_frame_build.h"
#include "protocol/frame_codes.h"
#include "protocol/frame_header.h"
#include "protocol/msg.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A layout whose text is exactly textLength bytes: "1\n" then one item
// "1\n1\n1\n<gaps>\n" followed by gap lines "0\n" and one wider line to
// make up an odd length.
std::vector<stRoomAssignItem> LayoutOfTextLength(size_t textLength)
{
    std::vector<uint32_t> gaps;
    size_t length = 2 + 6; // "1\n" and the three "1\n" lines
    // The gap count line widens with the count; settle it by trying.
    for (size_t n = 0;; ++n) {
        const size_t countLine = std::to_string(n).size() + 1;
        const size_t rest = textLength - length - countLine;
        if (rest >= 2 * n && rest <= 2 * n + 1) {
            gaps.assign(n, 0);
            if (rest == 2 * n + 1 && n > 0)
                gaps[0] = 10; // "10\n"
            else if (rest != 2 * n)
                continue;
            break;
        }
    }
    return {stRoomAssignItem(1, 1, 1, gaps)};
}

CMsg LayoutReply(size_t textLength)
{
    CMsg msg;
    msg.m_type = MSG_HOTEL_INFO;
    msg.m_tag = 9;
    msg.m_layout = LayoutOfTextLength(textLength);
    return msg;
}

std::vector<uint8_t> Payload(const CMsg &msg)
{
    std::vector<char> text(frame::kSendBufferSize);
    const int n = FormatLayoutText(msg.m_layout, text.data(), text.size());
    return std::vector<uint8_t>(text.begin(), text.begin() + n);
}

} // namespace

TEST(ClientFrameSplit, ReplyOfExactly1450BytesIsOneDatagram)
{
    CMsg msg = LayoutReply(1450 - 22);
    std::vector<uint8_t> buf(frame::kSendBufferSize);
    ASSERT_EQ(BuildClientFrame(buf.data(), buf.size(), msg, false), 1450);
    EXPECT_EQ(frame::GetU16Be(buf.data()), 1450);
    EXPECT_EQ(buf[14], 0);
    EXPECT_EQ(std::vector<uint8_t>(buf.begin() + 22, buf.begin() + 1450), Payload(msg));
}

TEST(ClientFrameSplit, ReplyOf1451BytesGoesAsTwoDatagrams)
{
    CMsg msg = LayoutReply(1451 - 22);
    const std::vector<uint8_t> payload = Payload(msg);
    ASSERT_EQ(payload.size(), 1429u);
    std::vector<uint8_t> buf(frame::kSendBufferSize);

    ASSERT_EQ(BuildClientFrame(buf.data(), buf.size(), msg, false), 1451);
    EXPECT_EQ(frame::GetU16Be(buf.data()), 1450);
    EXPECT_EQ(buf[14], 1);
    EXPECT_EQ(frame::GetU16Le(buf.data() + 8), 9);
    EXPECT_EQ(std::vector<uint8_t>(buf.begin() + 22, buf.begin() + 1450),
              std::vector<uint8_t>(payload.begin(), payload.begin() + 1428));

    ASSERT_EQ(BuildClientFrame(buf.data(), buf.size(), msg, true), 1451);
    // The continuation: a fresh header, length 23, byte 14 = 0, the last payload byte.
    EXPECT_EQ(frame::GetU16Be(buf.data()), 23);
    EXPECT_EQ(buf[14], 0);
    EXPECT_EQ(std::memcmp(buf.data() + 2, "ZOLP", 4), 0);
    EXPECT_EQ(frame::GetU16Le(buf.data() + 15), MSG_HOTEL_INFO);
    EXPECT_EQ(buf[22], payload.back());
}

TEST(ClientFrameSplit, LayoutTooLongForTwoDatagramsIsCutAfterItsLastWholeItem)
{
    CMsg msg;
    msg.m_type = MSG_HOTEL_INFO;
    // 400 items of "1\nF\n10\n0\n" (F = 1..9): far more than 2878 bytes.
    for (uint32_t i = 0; i < 400; ++i)
        msg.m_layout.emplace_back(1, 1 + i % 9, 10, std::vector<uint32_t>{});
    std::vector<uint8_t> buf(frame::kSendBufferSize + 16, 0xA5);

    const uint16_t total = BuildClientFrame(buf.data(), frame::kSendBufferSize, msg, false);
    ASSERT_GT(total, 1450);
    ASSERT_LE(total, frame::kClientSplitMax);
    // Each item is 9 bytes; the count line "316\n" is 4; 2856 - 4 leaves room for 316 items.
    EXPECT_EQ(std::string(buf.begin() + 22, buf.begin() + 26), "316\n");
    EXPECT_EQ(total, 22 + 4 + 316 * 9);

    ASSERT_EQ(BuildClientFrame(buf.data(), frame::kSendBufferSize, msg, true), total);
    EXPECT_LE(frame::GetU16Be(buf.data()), frame::kClientSplitLength);
    EXPECT_EQ(buf[frame::kSendBufferSize], 0xA5);
}

TEST(ClientFrameSplit, EmptyLayoutIsTheLineZero)
{
    CMsg msg;
    msg.m_type = MSG_HOTEL_INFO;
    std::vector<uint8_t> buf(frame::kSendBufferSize);
    ASSERT_EQ(BuildClientFrame(buf.data(), buf.size(), msg, false), 24);
    EXPECT_EQ(buf[22], '0');
    EXPECT_EQ(buf[23], '\n');
}

TEST(ClientFrameSplit, RoomAndBuildingRepliesAreTheirTextForms)
{
    CMsg msg;
    msg.m_room = CRoom(1, 2, 5);
    msg.m_build = CBuild(12);
    std::memcpy(msg.m_build.m_name, "East", 4);
    std::vector<char> text(CRoom::kMaxTextSize);
    std::vector<uint8_t> buf(frame::kSendBufferSize);

    msg.m_type = MSG_ROOM_STATE;
    const int roomText = msg.m_room.FormatText(text.data(), text.size());
    ASSERT_EQ(BuildClientFrame(buf.data(), buf.size(), msg, false), 22 + roomText);
    EXPECT_EQ(std::memcmp(buf.data() + 22, text.data(), static_cast<size_t>(roomText)), 0);
    EXPECT_EQ(frame::GetU16Be(buf.data()), 22 + roomText);

    msg.m_type = MSG_BUILD_INFO;
    ASSERT_EQ(BuildClientFrame(buf.data(), buf.size(), msg, false), 22 + 33);
    EXPECT_EQ(std::string(buf.begin() + 22, buf.begin() + 29), "12\nEast");
    EXPECT_EQ(buf[22 + 32], 0);
}

TEST(ClientFrameSplit, RoomReplyBoundedByTheBuffer)
{
    CMsg msg;
    msg.m_type = MSG_ROOM_STATE;
    std::vector<uint8_t> buf(100, 0xA5);
    EXPECT_EQ(BuildClientFrame(buf.data(), 90, msg, false), 0);
    EXPECT_EQ(buf[90], 0xA5);
}

TEST(MsgArchive, RoomStateBodyIsTheRoomsArchiveForm)
{
    CMsg msg;
    msg.m_type = MSG_ROOM_STATE;
    msg.m_room = CRoom(3, 4, 5);
    platform::CArchive out;
    msg.Serialize(out);
    EXPECT_EQ(out.Bytes().size(), 6 + CRoom::kArchiveSize);
    platform::CArchive in(out.Bytes());
    CMsg back;
    back.Serialize(in);
    EXPECT_TRUE(in.Ok());
    EXPECT_EQ(back.m_room.m_buildNum, 3);
    EXPECT_EQ(back.m_room.m_roomNum, 5);
}
