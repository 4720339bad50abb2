// Call masks of a floor call panel on a running server.
#include "report_fixture.h"

#include "support/stderr_capture.h"

#include <algorithm>

namespace {

class FloorPanelTest : public ReportTest {
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        // Building 1 floor 3: rooms 1..20 in service, room 0 a gap room.
        WriteHotelConf("[Layout]\nitem1=1 3 20 0\n");
        StartServer();
    }
};

} // namespace

TEST_F(FloorPanelTest, MaskRaisesAndClearsCallsOfItsRooms)
{
    const int firstLine = LogLines();
    m_now += 5;
    SendOverLoopback(PanelMask(1, 3, 0x0091, 0xFFF00005)); // bits above room 20 have no room
    std::vector<EventRowSeen> rows = EventRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (EventRowSeen{1, 3, "紧急呼叫", 0, 0}));
    EXPECT_EQ(rows[1], (EventRowSeen{3, 3, "紧急呼叫", 0, 0}));
    EXPECT_EQ(LiveRoom(1, 3, 1, "CALL"), 1);
    EXPECT_EQ(LiveRoom(1, 3, 2, "CALL"), 0);
    EXPECT_EQ(LiveRoom(1, 3, 3, "CALL"), 1);
    EXPECT_EQ(LogLinesSince(firstLine),
              (std::vector<std::string>{"1|301房间状态改变 (code:2)", "1|303房间状态改变 (code:2)"}));
    EXPECT_EQ(m_server->m_newEvent, 1);
    for (int r = 1; r <= 20; ++r) {
        const CRoom &room = Room(1, 3, r);
        EXPECT_EQ(room.m_online, 1) << r;
        EXPECT_EQ(room.m_lastHeard, m_now) << r;
        EXPECT_EQ(room.m_changed, r == 1 || r == 3 ? 1 : 0) << r;
    }
    EXPECT_EQ(Room(1, 3, 1).m_callTime, m_now);
    EXPECT_EQ(Room(1, 3, 0).m_lastHeard, 0);
    EXPECT_EQ(Room(1, 3, 0).m_online, 0);

    // Before the push the marked rooms log again, with code 0.
    SendOverLoopback(PanelMask(1, 3, 0x0091, 5));
    EXPECT_EQ(LogLinesSince(firstLine + 2),
              (std::vector<std::string>{"1|301房间状态改变 (code:0)", "1|303房间状态改变 (code:0)"}));

    // After the push the same mask, also as code 0x92, leaves no trace.
    ClearMarks();
    SendOverLoopback(PanelMask(1, 3, 0x0092, 5));
    EXPECT_EQ(EventRows().size(), 2u);
    EXPECT_EQ(LogLines(), firstLine + 4);
    EXPECT_EQ(m_server->m_newEvent, 0);

    SendOverLoopback(PanelMask(1, 3, 0x0091, 4));
    rows = EventRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2], (EventRowSeen{1, 4, "解除紧急呼叫", 0, 0}));
    EXPECT_EQ(LiveRoom(1, 3, 1, "CALL"), 0);
    EXPECT_EQ(LiveRoom(1, 3, 3, "CALL"), 1);
    EXPECT_EQ(Room(1, 3, 3).m_call, 1);
    EXPECT_EQ(LogLinesSince(firstLine + 4), std::vector<std::string>{"1|301房间状态改变 (code:2)"});
}

TEST_F(FloorPanelTest, RowsCarryNoCardWhateverTheDatagramHolds)
{
    TestFrame mask(45, 6, 0x0091, 1, 3, 0);
    mask.Set32(26, 2).Set(38, 7).Set32(41, 99);
    Send(mask);
    EXPECT_EQ(EventRows(), (std::vector<EventRowSeen>{{2, 3, "紧急呼叫", 0, 0}}));
}

TEST_F(FloorPanelTest, OtherCodesAndUnknownFloorsTouchNothing)
{
    const int firstLine = LogLines();
    Send(PanelMask(1, 3, 0x0093, 5));
    Send(PanelMask(1, 4, 0x0091, 5));
    Send(PanelMask(2, 3, 0x0091, 5));
    EXPECT_TRUE(EventRows().empty());
    EXPECT_EQ(LogLines(), firstLine);
    EXPECT_EQ(Room(1, 3, 1).m_lastHeard, 0);
    EXPECT_EQ(Room(1, 3, 1).m_online, 0);
    // A panel datagram is no room unit's: no address learnt, nothing counted.
    EXPECT_EQ(Room(1, 3, 1).m_rcuPort, 0);
    EXPECT_EQ(m_server->m_rcuRecvCount, 0);
}

// Mask bytes a short datagram does not carry read as 0, never as what the
// datagram before left in the receive buffer.
TEST_F(FloorPanelTest, ShortMaskReadsItsMissingBytesAsZero)
{
    Send(PanelMask(1, 3, 0x0091, 0x00010001)); // rooms 1 and 17
    TestFrame cut(28, 6, 0x0091, 1, 3, 0);
    cut.Set(26, 1);
    Send(cut);
    const std::vector<EventRowSeen> rows = EventRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2], (EventRowSeen{17, 4, "解除紧急呼叫", 0, 0}));
    EXPECT_EQ(Room(1, 3, 1).m_call, 1);
    EXPECT_EQ(Room(1, 3, 17).m_call, 0);
}

TEST_F(FloorPanelTest, FailedStatementsChangeNothingInMemory)
{
    SeedExec("drop table event_msg_list");
    const int firstLine = LogLines();
    Send(PanelMask(1, 3, 0x0091, 1));
    const CRoom &room = Room(1, 3, 1);
    EXPECT_EQ(room.m_call, 1);
    EXPECT_EQ(room.m_callTime, m_now);
    EXPECT_EQ(room.m_changed, 1);
    EXPECT_EQ(m_server->m_newEvent, 1);
    EXPECT_EQ(LiveRoom(1, 3, 1, "CALL"), 1);
    EXPECT_EQ(LogLinesSince(firstLine),
              (std::vector<std::string>{"*事件记录写入数据库失败*", "1|301房间状态改变 (code:2)"}));
}

// The rows stay fire-and-forget, but a statement that fails is told: its
// error text on standard error, at most one line a second with a count of the
// ones left out, and once in the event log.
TEST_F(FloorPanelTest, FailingEventRowsReachStandardError)
{
    SeedExec("drop table event_msg_list");
    const int firstLine = LogLines();
    StderrCapture capture;
    Send(PanelMask(1, 3, 0x0091, 7)); // three calls, three failing rows
    m_now += 1;
    Send(PanelMask(1, 3, 0x0091, 0)); // three more
    const std::string text = capture.Stop();

    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
    const size_t second = text.find('\n') + 1;
    const std::string first = text.substr(0, second);
    // "YYYY-MM-DD HH:MM:SS  " and then the label.
    EXPECT_EQ(first.find("  event statement failed: "), 19u) << text;
    EXPECT_NE(first.find("event_msg_list"), std::string::npos) << text;
    EXPECT_NE(first.find("no such table"), std::string::npos) << text;
    EXPECT_EQ(first.find("left out"), std::string::npos) << text;
    EXPECT_NE(text.find("(2 more left out)\n", second), std::string::npos) << text;

    const std::vector<std::string> lines = LogLinesSince(firstLine);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "*事件记录写入数据库失败*"), 1) << lines.size();
    EXPECT_EQ(LiveRoom(1, 3, 1, "CALL"), 0) << "the live-room updates still ran";
    EXPECT_EQ(Room(1, 3, 1).m_callTime, m_now) << "the handler went on as if the rows were written";
}
