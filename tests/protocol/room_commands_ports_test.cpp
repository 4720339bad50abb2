// Workstation room commands over real sockets: the frame each request code
// gives the room unit, the all-rooms broadcast, the command record's kept
// fields, several online clients at one address and the sequence on the wire.
#include "room_unit_fixture.h"

#include "platform/gbk.h"
#include "protocol/online_client.h"
#include "support/datagrams.h"

#include <QTest>
#include <cstring>

namespace {

std::vector<uint8_t> Bytes(int first, int last)
{
    std::vector<uint8_t> bytes;
    for (int i = first; i <= last; ++i)
        bytes.push_back(static_cast<uint8_t>(i));
    return bytes;
}

// Only for a frame whose length is asserted first.
const uint8_t *At(const QByteArray &frame) { return reinterpret_cast<const uint8_t *>(frame.constData()); }
int Sequence(const QByteArray &frame) { return ByteAt(frame, 8) | ByteAt(frame, 9) << 8; }

std::string Utf8(const char *gbk) { return platform::Utf8FromGbk(gbk); }

// The request's answer-wanted byte is 1 and its byte 27 is 27; the online
// client is new, so a kept answer-wanted flag or control byte is 0.
struct CommandCase {
    int request;
    int rcu;
    int length;
    int control;      // byte 14
    int answerWanted; // byte 17
    const char *answerColumn; // "1", "0", "req" or "kept", as the table says
    bool allRooms;    // bytes 18..20 are 255
    bool tagStored;
    std::vector<uint8_t> payload;
    const char *log; // null: no line
};

const std::vector<CommandCase> &CommandCases()
{
    static const std::vector<CommandCase> cases = {
        {0x01, 0x0014, 32, 27, 1, "1", false, false, Bytes(22, 29), "用户alice向1|205房间发送风机控制命令"},
        {0x03, 0x0020, 28, 0xFF, 0, "0", true, false, Bytes(22, 25), "用户alice向1|205房间发送风机季节模式命令"},
        {0x08, 0x0007, 24, 0, 1, "req", false, true, {}, "用户alice向1|205房间发送时间查询命令"},
        {0x0A, 0x0010, 24, 0xFF, 0, "kept", false, false, {}, "用户alice向1|205房间发送取消清理命令"},
        {0x0B, 0x0011, 24, 0xFF, 0, "kept", false, false, {}, "用户alice向1|205房间发送取消勿扰命令"},
        {0x0C, 0x0015, 24, 0xFF, 0, "kept", false, false, {}, "用户alice向1|205房间发送取消洗衣命令"},
        {0x0D, 0x0012, 24, 0xFF, 0, "kept", false, false, {}, "用户alice向1|205房间发送取消退房命令"},
        {0x0E, 0x000C, 28, 0, 1, "req", false, false, Bytes(22, 25), "用户alice向1|205房间发送房态控制命令"},
        {0x0F, 0x001C, 24, 0, 1, "req", false, false, {}, "用户alice向1|205房间发送查询设备命令"},
        {0x10, 0x001D, 24, 0, 1, "req", false, false, {}, "用户alice向1|205房间发送复位设备命令"},
        {0x12, 0x0019, 24, 0xFF, 0, "kept", false, false, {}, "用户alice向1|205房间发送取消紧急呼叫命令"},
        {0x13, 0x0025, 29, 0xFF, 0, "0", false, false, Bytes(22, 26), "用户alice向1|205房间发送灯光控制命令"},
        {0x14, 0x002A, 24, 0, 1, "1", false, false, {}, "用户alice向1|205房间发送电源控制命令"},
        {0x22, 0x001E, 24, 0, 1, "req", false, true, {}, nullptr},
        {0x23, 0x001F, 64, 0, 1, "req", false, true, Bytes(22, 61), "用户alice向1|205房间发送节能模式命令"},
        {0x24, 0x0023, 28, 0xFF, 0, "0", true, false, Bytes(22, 25), "用户alice向1|205房间发送水阀模式命令"},
        {0x25, 0x0026, 28, 0xFF, 0, "0", true, false, Bytes(22, 25), "用户alice向1|205房间发送灯光模式命令"},
        {0x2F, 0x002D, 65, 0, 1, "req", false, true, Bytes(22, 62), "用户alice向1|205房间发送预置命令"},
        {0x30, 0x0040, 28, 0, 1, "1", false, false, {0x97, 0x3A, 0x1E, 0x5C}, "用户alice向1|205房间发送开门控制命令"},
        {0x31, 0x0617, 24, 0xFF, 0, "kept", false, false, {}, "用户alice向1|205房间启用电磁阀命令"},
        {0x32, 0x0619, 24, 0xFF, 0, "kept", false, false, {}, "用户alice向1|205房间发送停用电磁阀命令"},
        {0x40, 0x8101, 27, 0xFF, 0, "0", true, false, {24, 23, 0}, "用户alice向1|205房间发送灯光场景控制命令"},
        {0x43, 0x0043, 28, 0xFF, 0, "0", true, false, Bytes(22, 25), "用户alice向1|205房间发送制热模式命令"},
    };
    return cases;
}

} // namespace

class RoomCommandTest : public RoomUnitTest {
protected:
    void SetUp() override
    {
        RoomUnitTest::SetUp();
        // The broadcast address of the room units, played by m_roomUnits.
        m_server->m_rcuBroadcastIp = 0x7F000001;
    }

    // One request from the workstation; what the room unit received.
    std::vector<QByteArray> Command(const Request &request)
    {
        Send(ClientRequest(request), m_station);
        return Received(m_unit);
    }
};

TEST_F(RoomCommandTest, EveryCommandCodeGivesItsFrameToTheRoomsUnit)
{
    for (const CommandCase &c : CommandCases()) {
        SCOPED_TRACE(c.request);
        m_server->m_clients.clear();
        const COnlineClient &client = AddClient(m_station);
        const size_t logLines = LogLines().size();
        const int sequence = static_cast<uint16_t>(m_server->m_cmdSeq);

        const std::vector<QByteArray> frames = Command({c.request});
        ASSERT_EQ(frames.size(), 1u);
        const QByteArray &frame = frames[0];
        ASSERT_EQ(frame.size(), c.length);
        const uint8_t *b = At(frame);
        EXPECT_EQ(b[0], 0xFF);
        EXPECT_EQ(b[1], c.length);
        EXPECT_EQ(std::memcmp(b + 2, "ZOLP", 4), 0);
        EXPECT_EQ(b[6], 0);
        EXPECT_EQ(b[7], 1);
        EXPECT_EQ(Sequence(frame), sequence);
        EXPECT_EQ(frame.mid(10, 4), QByteArray(4, '\xFF'));
        EXPECT_EQ(b[14], c.control);
        EXPECT_EQ(b[15] << 8 | b[16], c.rcu);
        EXPECT_EQ(b[17], c.answerWanted);
        const int expectedRoom[3] = {c.allRooms ? 255 : 1, c.allRooms ? 255 : 2, c.allRooms ? 255 : 5};
        EXPECT_EQ((std::vector<int>{b[18], b[19], b[20]}), (std::vector<int>(expectedRoom, expectedRoom + 3)));
        EXPECT_EQ(b[21], 1);
        EXPECT_EQ(std::vector<uint8_t>(b + 22, b + c.length - 2), c.payload);
        int sum = 0;
        for (int i = 0; i < c.length - 2; ++i)
            sum += b[i];
        EXPECT_EQ(b[c.length - 2] | b[c.length - 1] << 8, sum & 0xFFFF);

        EXPECT_EQ(client.m_cmdRecord.m_clientTag, c.tagStored ? 0x1234u : 0u);
        EXPECT_EQ(client.m_cmdRecord.m_answerWanted, static_cast<uint32_t>(c.answerWanted));
        const std::vector<std::string> lines = LogLines();
        ASSERT_EQ(lines.size(), logLines + (c.log ? 1 : 0));
        if (c.log) {
            EXPECT_EQ(lines.back(), Utf8(c.log));
        }
        EXPECT_TRUE(Received(m_station).empty()); // no reply to the workstation
        EXPECT_TRUE(Received(m_roomUnits).empty());
    }
}

TEST_F(RoomCommandTest, AllRoomsCommandsGoToTheBroadcastAddressWhenTheRoomIsMissing)
{
    AddClient(m_station);
    const struct {
        int request, rcu;
        const char *log;
    } cases[] = {
        {0x03, 0x0020, "用户alice向所有房间发送风机季节模式命令"},
        {0x24, 0x0023, "用户alice向所有房间发送水阀模式命令"},
        {0x25, 0x0026, "用户alice向所有房间发送灯光模式命令"},
        {0x43, 0x0043, "用户alice向所有房间发送制热模式命令"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.request);
        EXPECT_TRUE(Command({c.request, 255, 255, 255}).empty());
        const std::vector<QByteArray> frames = Received(m_roomUnits);
        ASSERT_EQ(frames.size(), 1u);
        ASSERT_EQ(frames[0].size(), 28);
        const uint8_t *b = At(frames[0]);
        EXPECT_EQ(b[15] << 8 | b[16], c.rcu);
        EXPECT_EQ((std::vector<int>{b[18], b[19], b[20]}), (std::vector<int>{255, 255, 255}));
        EXPECT_EQ(LogLines().back(), Utf8(c.log));
    }
    EXPECT_EQ(m_server->m_rcuSendCount, 4);

    // A room that exists gets the same frame, still addressed to all rooms.
    const std::vector<QByteArray> frames = Command({0x03});
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(ByteAt(frames[0], 18), 255);
    EXPECT_TRUE(Received(m_roomUnits).empty());
}

// Light scene frames name all rooms, yet the command is for one room only;
// a missing room, or a sender that is no online client, gets nothing done.
TEST_F(RoomCommandTest, NothingIsSentForAMissingRoomOrAnUnknownSender)
{
    AddClient(m_station);
    EXPECT_TRUE(Command({0x40, 255, 255, 255}).empty());
    EXPECT_TRUE(Command({0x30, 1, 2, 99}).empty());
    EXPECT_TRUE(Received(m_roomUnits).empty());
    EXPECT_TRUE(LogLines().empty());
    EXPECT_EQ(m_server->m_cmdSeq, 2); // the numbers are used up all the same

    QUdpSocket stranger;
    ASSERT_TRUE(stranger.bind(QHostAddress::LocalHost, 0));
    Send(ClientRequest({0x30}), stranger);
    EXPECT_TRUE(Received(m_unit).empty());
    EXPECT_EQ(m_server->m_cmdSeq, 2);
}

TEST_F(RoomCommandTest, EachOnlineClientAtTheAddressCarriesTheCommandOut)
{
    AddClient(m_station, "alice");
    QUdpSocket other;
    ASSERT_TRUE(other.bind(QHostAddress::LocalHost, 0));
    AddClient(other, "carol");
    AddClient(m_station, "bob");

    const std::vector<QByteArray> frames = Command({0x13});
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(Sequence(frames[0]), 0);
    EXPECT_EQ(Sequence(frames[1]), 1);
    EXPECT_EQ(LogLines(), (std::vector<std::string>{Utf8("用户alice向1|205房间发送灯光控制命令"),
                                                    Utf8("用户bob向1|205房间发送灯光控制命令")}));
}

TEST_F(RoomCommandTest, KeptFieldsCarryThePreviousCommandsValues)
{
    COnlineClient &client = AddClient(m_station);
    // A time query still waiting for its answer: the cancel keeps byte 17.
    Command({0x08, 1, 2, 5, 0x0042, 1});
    std::vector<QByteArray> frames = Command({0x0A, 1, 2, 5, 0x0043, 0});
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(ByteAt(frames[0], 17), 1);
    EXPECT_EQ(client.m_cmdRecord.m_answerWanted, 1u);
    EXPECT_EQ(client.m_cmdRecord.m_clientTag, 0x0042u);

    // The fan command's request byte 27 stays the control byte of the open door.
    QByteArray fan = ClientRequest({0x01});
    fan[27] = '\x6B';
    Send(fan, m_station);
    Received(m_unit);
    frames = Command({0x30});
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(ByteAt(frames[0], 14), 0x6B);
}

// Every command after a client's time query (tag 0x0042, still waiting) and
// fan command (control byte 0x6B), now with answer-wanted 0 and another tag:
// each kept field shows what those left, each written one its new value.
TEST_F(RoomCommandTest, EveryCommandWritesOrKeepsTheRecordFieldsAsItsRowSays)
{
    for (const CommandCase &c : CommandCases()) {
        SCOPED_TRACE(c.request);
        m_server->m_clients.clear();
        const COnlineClient &client = AddClient(m_station);
        Command({0x08, 1, 2, 5, 0x0042, 1});
        QByteArray fan = ClientRequest({0x01});
        fan[27] = '\x6B';
        Send(fan, m_station);
        Received(m_unit);

        const std::vector<QByteArray> frames = Command({c.request, 1, 2, 5, 0x0099, 0});
        ASSERT_EQ(frames.size(), 1u);
        const std::string column = c.answerColumn;
        const int answerWanted = column == "1" || column == "kept" ? 1 : 0;
        EXPECT_EQ(ByteAt(frames[0], 17), answerWanted);
        EXPECT_EQ(client.m_cmdRecord.m_answerWanted, static_cast<uint32_t>(answerWanted));
        EXPECT_EQ(ByteAt(frames[0], 14), c.control == 0 ? 0x6B : c.control); // 0 above: kept
        EXPECT_EQ(client.m_cmdRecord.m_clientTag, c.tagStored ? 0x0099u : 0x0042u);
    }
}

TEST_F(RoomCommandTest, TheSequenceWrapsAfter65536Commands)
{
    AddClient(m_station);
    std::vector<QByteArray> frames = Command({0x0A});
    ASSERT_EQ(frames.size(), 1u);
    ASSERT_EQ(Sequence(frames[0]), 0);
    // The request stays in hand: carry it out again without the round trip.
    int received = 1;
    for (int i = 1; i < 65536; ++i) {
        m_server->OnClientRoomCommand(m_now);
        for (const QByteArray &frame : Received(m_unit)) {
            ASSERT_EQ(Sequence(frame), received & 0xFFFF);
            ++received;
        }
    }
    EXPECT_EQ(received, 65536);
    EXPECT_EQ(m_server->m_cmdSeq, 0);
    frames = Command({0x0A});
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(Sequence(frames[0]), 0x0000);
}
