// The room units' full and short status reports on a running server: event
// rows, live-room columns, room fields, the temperature latch, the fan-coil
// history rows and the log line.
#include "report_fixture.h"

#include <QTest>

namespace {

class StatusReportTest : public ReportTest {
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        StartServer(16, 28);
    }
};

} // namespace

TEST_F(StatusReportTest, FirstReportWritesOneRowPerActiveStateThenRepeatsWriteNothing)
{
    TestFrame report = QuietFullReport(1, 2, 5);
    report.Set(38, 1).Set(39, 1).Set32(41, 0xFFFFFFFE); // guest card, number -2
    for (int offset : {45, 46, 47, 49, 59, 60, 77, 78, 62})
        report.Set(offset, 1);
    const int firstLine = LogLines();
    m_now += 7;
    SendOverLoopback(report);

    const std::vector<int> types = {5, 3, 1, 9, 11, 7, 15, 24, 26, 19};
    const std::vector<EventRowSeen> rows = EventRows();
    ASSERT_EQ(rows.size(), types.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].type, types[i]) << i;
        EXPECT_EQ(rows[i].room, 5);
        EXPECT_EQ(rows[i].cardSn, -2);
        EXPECT_EQ(rows[i].cardId, 1);
    }
    EXPECT_EQ(rows[0].title, "客人进入房间");
    EXPECT_EQ(rows[7].title, "请求洗衣服务");
    for (const char *column : {"CARDIN", "CALL", "CLEAN", "DND", "DOOR", "CHECKOUT", "SERVICE"})
        EXPECT_EQ(LiveRoom(1, 2, 5, column), 1) << column;
    EXPECT_EQ(LiveRoom(1, 2, 4, "DOOR"), 0);

    CRoom &room = Room(1, 2, 5);
    EXPECT_EQ(room.m_doorOpen, 1);
    EXPECT_EQ(room.m_doorTime, m_now);
    EXPECT_EQ(room.m_pickupTime, m_now);
    EXPECT_EQ(room.m_cardNumber, 0xFFFFFFFEu);
    EXPECT_EQ(room.m_lastHeard, m_now);
    EXPECT_EQ(room.m_online, 1);
    EXPECT_EQ(room.m_changed, 1);
    EXPECT_EQ(m_server->m_newEvent, 1);
    // The safe door is the last state that changed.
    EXPECT_EQ(LogLinesSince(firstLine), std::vector<std::string>{"1|205房间状态改变 (code:8)"});

    // The room not pushed yet: the same report logs code 0 and writes nothing.
    SendOverLoopback(report);
    EXPECT_EQ(EventRows().size(), types.size());
    EXPECT_EQ(LogLinesSince(firstLine + 1), std::vector<std::string>{"1|205房间状态改变 (code:0)"});

    // Pushed: the same report leaves no trace but the time it was heard.
    ClearMarks();
    m_now += 10;
    SendOverLoopback(report);
    EXPECT_EQ(EventRows().size(), types.size());
    EXPECT_EQ(LogLines(), firstLine + 2);
    EXPECT_EQ(room.m_changed, 0);
    EXPECT_EQ(m_server->m_newEvent, 0);
    EXPECT_EQ(room.m_lastHeard, m_now);
    EXPECT_EQ(room.m_doorTime, m_now - 10);
}

TEST_F(StatusReportTest, CardTitleFollowsTheCardType)
{
    struct Case {
        uint8_t cardType;
        const char *title;
    };
    const Case cases[] = {
        {1, "客人进入房间"}, {2, "服务员进入房间"}, {0xF2, "服务员进入房间"}, {0xF0, "服务员进入房间"},
        {3, "经理进入房间"}, {7, "未知身份人员进入房间"}, {0, "未知身份人员进入房间"},
    };
    int room = 1;
    for (const Case &c : cases) {
        Send(QuietFullReport(1, 2, room).Set(38, c.cardType).Set(39, 1));
        const std::vector<EventRowSeen> rows = EventRows();
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows.back(), (EventRowSeen{room, 5, c.title, 0, c.cardType})) << int(c.cardType);
        EXPECT_EQ(LiveRoom(1, 2, room, "CARDIN"), c.cardType);
        EXPECT_EQ(Room(1, 2, room).m_cardType, c.cardType);
        ++room;
    }
    // The short report's card type sits at byte 22.
    Send(QuietShortReport(2, 1, 1).Set(22, 0xF7).Set(23, 1));
    EXPECT_EQ(EventRows().back(), (EventRowSeen{1, 5, "服务员进入房间", 0, 0xF7}));
    EXPECT_EQ(LiveRoom(2, 1, 1, "CARDIN"), 0xF7);
}

TEST_F(StatusReportTest, CardByteTwoIsACardRemoved)
{
    Send(QuietFullReport(1, 2, 3).Set(38, 1).Set(39, 1));
    Send(QuietFullReport(1, 2, 3).Set(38, 1).Set(39, 2));
    EXPECT_EQ(EventRows().back().type, 6);
    EXPECT_EQ(EventRows().back().title, "拔卡断电离开房间");
    EXPECT_EQ(LiveRoom(1, 2, 3, "CARDIN"), 0);
    EXPECT_EQ(Room(1, 2, 3).m_cardIn, 2);

    Send(QuietFullReport(1, 2, 3).Set(38, 1).Set(39, 0));
    const std::vector<EventRowSeen> rows = EventRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2].type, 6);
    EXPECT_EQ(Room(1, 2, 3).m_cardIn, 0);
}

TEST_F(StatusReportTest, CallByteTwoIsACallInTheFullReportAndAClearInTheShort)
{
    Send(QuietFullReport(1, 2, 1).Set(45, 2));
    Send(QuietShortReport(1, 2, 2).Set(29, 2));
    const std::vector<EventRowSeen> rows = EventRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (EventRowSeen{1, 3, "紧急呼叫", 0, 0}));
    EXPECT_EQ(rows[1], (EventRowSeen{2, 4, "解除紧急呼叫", 0, 0}));
    EXPECT_EQ(LiveRoom(1, 2, 1, "CALL"), 1);
    EXPECT_EQ(LiveRoom(1, 2, 2, "CALL"), 0);
    EXPECT_EQ(Room(1, 2, 1).m_call, 2);
    EXPECT_EQ(Room(1, 2, 2).m_call, 2);
}

TEST_F(StatusReportTest, TwoChangesAreWrittenInTableOrderWithTheLastCode)
{
    Send(QuietFullReport(1, 2, 5));
    ClearMarks();
    const int firstLine = LogLines();
    Send(QuietFullReport(1, 2, 5).Set(59, 1).Set(49, 1));
    const std::vector<EventRowSeen> rows = EventRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].type, 11);
    EXPECT_EQ(rows[1].type, 7);
    EXPECT_EQ(LiveRoom(1, 2, 5, "DOOR"), 1);
    EXPECT_EQ(LiveRoom(1, 2, 5, "CHECKOUT"), 1);
    EXPECT_EQ(LogLinesSince(firstLine), std::vector<std::string>{"1|205房间状态改变 (code:6)"});
}

TEST_F(StatusReportTest, ShortReportLaundryAndServiceShareTheServiceColumn)
{
    Send(QuietShortReport(1, 2, 6).Set(36, 1));
    EXPECT_EQ(EventRows().back(), (EventRowSeen{6, 15, "请求洗衣服务", 0, 0}));
    EXPECT_EQ(LiveRoom(1, 2, 6, "SERVICE"), 1);
    EXPECT_EQ(Room(1, 2, 6).m_serviceTime, m_now);
    Send(QuietShortReport(1, 2, 6));
    EXPECT_EQ(EventRows().back(), (EventRowSeen{6, 16, "洗衣服务结束", 0, 0}));
    EXPECT_EQ(LiveRoom(1, 2, 6, "SERVICE"), 0);
}

TEST_F(StatusReportTest, TemperatureLatchRaisesHoldsClearsAndRaisesAgain)
{
    auto report = [](int temp) { return QuietFullReport(1, 2, 4).Set(30, 1).Set(36, static_cast<uint8_t>(temp)); };
    CRoom &room = Room(1, 2, 4);
    Send(report(30));
    ASSERT_EQ(EventRows().size(), 1u);
    EXPECT_EQ(EventRows()[0], (EventRowSeen{4, 17, "房间温度不正常报警", 0, 0}));
    EXPECT_EQ(room.m_rangeAlarm, 1);
    EXPECT_EQ(m_server->m_newEvent, 1);

    ClearMarks();
    Send(report(30));
    EXPECT_EQ(EventRows().size(), 1u);
    EXPECT_EQ(room.m_changed, 0);

    Send(report(25));
    EXPECT_EQ(EventRows().size(), 1u);
    EXPECT_EQ(room.m_rangeAlarm, 0);
    EXPECT_EQ(room.m_changed, 1);
    EXPECT_EQ(m_server->m_newEvent, 0);

    Send(report(30));
    EXPECT_EQ(EventRows().size(), 2u);
    EXPECT_EQ(EventRows()[1].type, 17);
    EXPECT_EQ(room.m_rangeAlarm, 1);

    // Both bounds are allowed values.
    Send(report(28));
    EXPECT_EQ(room.m_rangeAlarm, 0);
    Send(report(16));
    EXPECT_EQ(room.m_rangeAlarm, 0);
    EXPECT_EQ(EventRows().size(), 2u);
}

TEST_F(StatusReportTest, LatchHoldsWhileEitherUnitIsOutOfRange)
{
    CRoom &room = Room(1, 2, 7);
    // Unit 0 too hot, unit 1 in range.
    Send(QuietFullReport(1, 2, 7).Set(30, 1).Set(36, 35).Set(63, 1).Set(68, 20));
    EXPECT_EQ(room.m_rangeAlarm, 1);
    Send(QuietFullReport(1, 2, 7).Set(30, 1).Set(36, 35).Set(63, 1).Set(68, 20));
    EXPECT_EQ(room.m_rangeAlarm, 1);
    EXPECT_EQ(EventRows().size(), 1u);
    // An absent unit's temperature counts for nothing.
    Send(QuietFullReport(1, 2, 7).Set(30, 0).Set(36, 35).Set(63, 1).Set(68, 20));
    EXPECT_EQ(room.m_rangeAlarm, 0);
    EXPECT_EQ(EventRows().size(), 1u);
}

TEST_F(StatusReportTest, UnitThatAppearsGetsItsIdSensorAndHistoryRow)
{
    TestFrame report = QuietFullReport(1, 2, 8);
    // Unit 0: present, speed 2, season 1, control 1, halt 0, sensor 5, 24 of 26.
    report.Set(30, 1).Set(31, 2).Set(32, 1).Set(33, 1).Set(35, 5).Set(36, 24).Set(37, 26).Set(75, 1);
    Send(report);
    CRoom &room = Room(1, 2, 8);
    const stFanCoilUnit &unit = room.m_fanCoils[0];
    EXPECT_EQ(unit.present, 1);
    EXPECT_EQ(unit.unitId, 3);
    EXPECT_EQ(unit.tempSensor, 5);
    EXPECT_EQ(unit.valveState, 1);
    EXPECT_EQ(room.m_fanCoils[1].unitId, 255);
    EXPECT_EQ(room.m_fanCoilChanged, 1);
    // build, floor, room, halt, control, speed, sensor, set, current, valve 1,
    // online, season, id.
    const std::vector<std::vector<int>> expected = {{1, 2, 8, 0, 1, 2, 5, 26, 24, 1, 1, 1, 3}};
    EXPECT_EQ(FanCoilRows(), expected);

    // Unchanged: no further row. Unit 1 appearing: its own row, id 4.
    Send(report);
    EXPECT_EQ(FanCoilRows().size(), 1u);
    report.Set(63, 1).Set(67, 0);
    Send(report);
    const std::vector<std::vector<int>> rows = FanCoilRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1], (std::vector<int>{1, 2, 8, 0, 0, 0, 0, 22, 22, 1, 1, 0, 4}));
    EXPECT_EQ(room.m_fanCoils[1].unitId, 4);
    // The report's sensor byte is compared after the unit appeared.
    EXPECT_EQ(room.m_fanCoils[1].tempSensor, 0);
}

TEST_F(StatusReportTest, SafeDoorWritesRowsButNoLiveRoomColumn)
{
    const int liveRows = CountRows("##REALTIMEROOM");
    auto columns = [&] {
        std::vector<int> values;
        for (const char *column : {"CLEAN", "DND", "RMSTATE", "CHECKOUT", "SERVICE", "CALL", "CARDIN", "DOOR"})
            values.push_back(LiveRoom(1, 2, 9, column));
        return values;
    };
    const std::vector<int> before = columns();
    Send(QuietFullReport(1, 2, 9).Set(62, 1));
    Send(QuietShortReport(1, 2, 9).Set(37, 0));
    const std::vector<EventRowSeen> rows = EventRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].type, 19);
    EXPECT_EQ(rows[1].type, 20);
    EXPECT_EQ(Room(1, 2, 9).m_safeTime, m_now);
    EXPECT_EQ(columns(), before);
    EXPECT_EQ(CountRows("##REALTIMEROOM"), liveRows);
}

TEST_F(StatusReportTest, ShortReportBringsARoomOnlineWithoutPushingIt)
{
    CRoom &quiet = Room(1, 2, 1);
    CRoom &full = Room(1, 2, 2);
    ASSERT_EQ(quiet.m_online, 0);
    const int firstLine = LogLines();
    m_now += 3;
    Send(QuietShortReport(1, 2, 1));
    EXPECT_EQ(quiet.m_online, 1);
    EXPECT_EQ(quiet.m_changed, 0);
    EXPECT_EQ(quiet.m_lastHeard, m_now);
    EXPECT_EQ(LogLines(), firstLine);

    Send(QuietFullReport(1, 2, 2));
    EXPECT_EQ(full.m_online, 1);
    EXPECT_EQ(full.m_changed, 1);
    EXPECT_EQ(LogLinesSince(firstLine), std::vector<std::string>{"1|202房间状态改变 (code:0)"});
    EXPECT_TRUE(EventRows().empty());
}

TEST_F(StatusReportTest, ShortReportStoresItsPlainFieldsOnly)
{
    CRoom &room = Room(1, 2, 3);
    room.m_cardNumber = 77;
    Send(QuietShortReport(1, 2, 3).Set(22, 9).Set(24, 4).Set32(25, 1234).Set(38, 6).Set(39, 8).Set(40, 0x34)
             .Set(41, 0x12).Set32(45, 0x01020304));
    EXPECT_EQ(room.m_cardType, 9);
    EXPECT_EQ(room.m_reportByte40, 4);
    EXPECT_EQ(room.m_rcuStatus, 6);
    EXPECT_EQ(room.m_reportByte23, 8);
    EXPECT_EQ(room.m_runTime, 0x1234);
    EXPECT_EQ(room.m_reportWord, 0x01020304u);
    EXPECT_EQ(room.m_cardNumber, 77u);
    EXPECT_EQ(room.m_changed, 1);
}

TEST_F(StatusReportTest, RoomOutOfServiceIsHandledWithoutALiveRoomRow)
{
    // Room 0 of building 1 floor 2 is a gap room.
    Send(QuietFullReport(1, 2, 0).Set(49, 1));
    EXPECT_EQ(EventRows().back(), (EventRowSeen{0, 11, "房门打开", 0, 0}));
    EXPECT_EQ(LiveRoom(1, 2, 0, "DOOR"), -1);
    EXPECT_EQ(Room(1, 2, 0).m_doorOpen, 1);
}

// What a short report does not carry reads as 0, never as what an earlier,
// longer datagram left in the receive buffer.
TEST_F(StatusReportTest, ReportCutShortReadsMissingBytesAsZero)
{
    Send(QuietFullReport(1, 2, 5).Set(49, 1).Set(77, 1));
    Send(QuietShortReport(1, 2, 6).Set(40, 7).Set32(45, 0x01020304));
    ClearMarks();
    m_now += 4;
    TestFrame full(60, 0, 0x0084, 1, 2, 5);
    full.Set(49, 1).Set(36, 22).Set(37, 22).Set(50, 30);
    Send(full);
    std::vector<EventRowSeen> rows = EventRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2], (EventRowSeen{5, 25, "请求洗衣服务结束", 0, 0}));
    EXPECT_EQ(LiveRoom(1, 2, 5, "SERVICE"), 0);
    CRoom &five = Room(1, 2, 5);
    EXPECT_EQ(five.m_doorOpen, 1);
    EXPECT_EQ(five.m_laundryRequest, 0);
    EXPECT_EQ(five.m_reportWord, 0u);
    EXPECT_EQ(five.m_lastHeard, m_now);

    TestFrame shortForm(40, 0, 0x0081, 1, 2, 6);
    shortForm.Set(33, 1);
    Send(shortForm);
    rows = EventRows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[3], (EventRowSeen{6, 11, "房门打开", 0, 0}));
    CRoom &six = Room(1, 2, 6);
    EXPECT_EQ(six.m_runTime, 0);
    EXPECT_EQ(six.m_reportWord, 0u);
    EXPECT_EQ(six.m_lastHeard, m_now);
}

TEST_F(StatusReportTest, FailedStatementsChangeNothingInMemory)
{
    SeedExec("drop table event_msg_list");
    SeedExec("drop table fengji_his");
    const int firstLine = LogLines();
    Send(QuietFullReport(1, 2, 5).Set(49, 1).Set(30, 1));
    CRoom &room = Room(1, 2, 5);
    EXPECT_EQ(room.m_doorOpen, 1);
    EXPECT_EQ(room.m_doorTime, m_now);
    EXPECT_EQ(room.m_fanCoils[0].unitId, 3);
    EXPECT_EQ(m_server->m_newEvent, 1);
    EXPECT_EQ(LiveRoom(1, 2, 5, "DOOR"), 1);
    EXPECT_EQ(LogLinesSince(firstLine),
              (std::vector<std::string>{"*事件记录写入数据库失败*", "1|205房间状态改变 (code:5)"}));
}

// Before timer 0 has ticked once: the reports and the monitor's passes judge
// by the stored options (the seed's 5..40 and 180 s), not by zeros, so a room
// in range with its door just opened raises nothing but the door's row.
class FirstSecondTest : public ReportTest {
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        InstallSeed("velto.db");
        Start();
        ASSERT_EQ(m_server->Mode(), StartMode::Full);
        m_server->m_idleLoopLevel = 1000;
    }
};

TEST_F(FirstSecondTest, ReportsAndPassesBeforeTheFirstTickUseTheStoredAlarmOptions)
{
    EXPECT_EQ(m_server->m_rangeLow, 5);
    EXPECT_EQ(m_server->m_rangeHigh, 40);
    EXPECT_EQ(m_server->m_doorAlarmDelay, 180);
    Send(QuietFullReport(1, 2, 5).Set(49, 1).Set(30, 1).Set(36, 23)); // door open, unit 0 at 23 degrees
    m_now += 1;
    m_server->m_idleLoopLevel = -1; // the monitor's passes at the idle moments
    m_server->ContinueModal();      // pushes the room
    m_server->ContinueModal();      // looks at its door
    const std::vector<EventRowSeen> rows = EventRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].type, 11);
}
