// The room monitor's passes: one changed room pushed per pass, the offline
// rule, the PMS change step, the range and door latches and the event pushes,
// seen by a logged-in workstation and a room unit on loopback.
#include "workstation_fixture.h"
#include "support/small_disk.h"

#include "platform/gbk.h"
#include "protocol/crc.h"

#include <QTest>
#include <cstring>

namespace {

using platform::Utf8FromGbk;

QByteArray RoomText(const CRoom &room)
{
    CRoom copy;
    copy = room;
    char text[CRoom::kMaxTextSize];
    return QByteArray(text, copy.FormatText(text));
}

} // namespace

class RoomMonitorTest : public WorkstationTest {
protected:
    void SetUp() override
    {
        WorkstationTest::SetUp();
        if (HasFatalFailure())
            return;
        LogIn();
    }
    // Alice logged in on m_ws, the alarm options read, nothing left to push.
    void LogIn()
    {
        AddUser("alice", "pw1", 0);
        m_ws = &Workstation();
        ASSERT_EQ(Login(*m_ws, "alice", "pw1").size(), 2u);
        m_server->OnTimer(0); // options 13, 14 and 15 of the seed: 180 s, 5..40
        ASSERT_EQ(m_server->m_doorAlarmDelay, 180);
        Pass();
        ASSERT_TRUE(Drain(*m_ws).empty()) << "a fresh hotel has nothing to push";
    }

    CRoom &Room(int build, int floor, int room) { return *m_server->m_hotel.FindRoom(build, floor, room); }
    std::vector<QByteArray> Pushed() { return Drain(*m_ws); }
    int EventRows(const std::string &where = "1=1")
    {
        return QueryInt("select count(*) as v from event_msg_list where " + where);
    }

    QUdpSocket *m_ws = nullptr;
};

TEST_F(RoomMonitorTest, OneChangedRoomPerPassInWalkOrder)
{
    CRoom &later = Room(2, 1, 1), &first = Room(1, 2, 5), &beyond = Room(2, 1, 2);
    later.m_changed = 1;
    first.m_changed = 1;
    first.m_cardIn = 1;
    beyond.m_online = 1;
    beyond.m_lastHeard = m_now - 5000;
    // A client that is not logged in gets no push.
    QUdpSocket &idle = Workstation();
    auto notLoggedIn = std::make_unique<COnlineClient>();
    notLoggedIn->m_peerAddress = "127.0.0.1";
    notLoggedIn->m_peerPort = idle.localPort();
    m_server->m_clients.push_back(std::move(notLoggedIn));

    Pass();
    auto pushed = Pushed();
    ASSERT_EQ(pushed.size(), 1u);
    EXPECT_EQ(ReplyCode(pushed[0]), 0x87);
    EXPECT_EQ(ReplyTag(pushed[0]), 0xFFFF);
    EXPECT_EQ(ReplyPayload(pushed[0]), RoomText(first));
    EXPECT_EQ(first.m_changed, 0);
    EXPECT_EQ(later.m_changed, 1);
    EXPECT_EQ(beyond.m_online, 1) << "rooms after the pushed one are not looked at";

    Pass();
    pushed = Pushed();
    ASSERT_EQ(pushed.size(), 1u);
    EXPECT_EQ(ReplyPayload(pushed[0]), RoomText(later));
    EXPECT_EQ(beyond.m_online, 1);

    Pass(); // now the walk reaches the silent room
    EXPECT_TRUE(Pushed().empty());
    EXPECT_EQ(beyond.m_online, 0);
    Pass();
    pushed = Pushed();
    ASSERT_EQ(pushed.size(), 1u);
    EXPECT_EQ(ReplyPayload(pushed[0]), RoomText(beyond));
    EXPECT_TRUE(Drain(idle).empty());
}

// A second login from the same address and port gets every push as well.
TEST_F(RoomMonitorTest, PushesGoToEveryLoggedInClient)
{
    AddUser("bob", "pw2", 0);
    ASSERT_EQ(Login(*m_ws, "bob", "pw2").size(), 2u);
    QUdpSocket &other = Workstation();
    ASSERT_EQ(Login(other, "alice", "pw1").size(), 2u);
    Room(1, 2, 2).m_changed = 1;
    Pass();
    const auto pushed = Pushed();
    ASSERT_EQ(pushed.size(), 2u);
    EXPECT_EQ(pushed[0], pushed[1]);
    EXPECT_EQ(Drain(other).size(), 1u);
}

TEST_F(RoomMonitorTest, OfflineAfterMoreThan2000Seconds)
{
    CRoom &room = Room(1, 2, 4);
    room.m_online = 1;
    room.m_lastHeard = m_now - 2000;
    Pass();
    EXPECT_EQ(room.m_online, 1);
    EXPECT_EQ(room.m_changed, 0);
    m_now += 1;
    Pass();
    EXPECT_EQ(room.m_online, 0);
    EXPECT_EQ(room.m_changed, 1);
    EXPECT_TRUE(Pushed().empty());
    Pass();
    EXPECT_EQ(Pushed().size(), 1u);
}

TEST_F(RoomMonitorTest, DoorLeftOpenRaisesEvent18OncePerOpening)
{
    SeedExec("update sysoptions set Value = '60' where Optioncode = 13");
    m_server->OnTimer(0);
    ASSERT_EQ(m_server->m_doorAlarmDelay, 60);
    m_server->m_lastEventIndex = static_cast<uint64_t>(QueryInt("select max(MSG_INDEX) as v from event_msg_list"));
    const std::string alarmRows = "MSG_TYPE = 18 and BUILD_NUM = 1 and FLOOR_NUM = 2 and ROOM_NUM = 6";
    CRoom &room = Room(1, 2, 6);
    room.m_doorOpen = 1;
    room.m_doorTime = m_now - 60;
    Pass();
    EXPECT_EQ(room.m_doorAlarm, 0);
    EXPECT_EQ(EventRows(alarmRows), 0);

    m_now += 1;
    Pass();
    EXPECT_EQ(room.m_doorAlarm, 1);
    EXPECT_EQ(room.m_changed, 1);
    EXPECT_EQ(EventRows(alarmRows), 1);
    EXPECT_EQ(QueryText("select MSG_TITLE || '|' || CARD_SN || '|' || CARD_ID as v from event_msg_list where " +
                        alarmRows),
              "房门未关报警|0|0");
    auto pushed = Pushed(); // the new row, pushed in the same pass
    ASSERT_EQ(pushed.size(), 1u);
    EXPECT_EQ(ReplyCode(pushed[0]), 0x8B);
    Pass();
    pushed = Pushed();
    ASSERT_EQ(pushed.size(), 1u);
    EXPECT_EQ(ReplyCode(pushed[0]), 0x87);

    m_now += 600;
    Pass();
    EXPECT_EQ(EventRows(alarmRows), 1) << "latched while the door stays open";
    EXPECT_TRUE(Pushed().empty());

    room.m_doorOpen = 0;
    Pass();
    EXPECT_EQ(room.m_doorAlarm, 0);
    EXPECT_EQ(room.m_changed, 1);
    EXPECT_EQ(EventRows(alarmRows), 1);
    Pass();
    EXPECT_EQ(Pushed().size(), 1u);

    room.m_doorOpen = 1;
    room.m_doorTime = m_now - 61;
    Pass();
    EXPECT_EQ(room.m_doorAlarm, 1);
    EXPECT_EQ(EventRows(alarmRows), 2);
}

TEST_F(RoomMonitorTest, TemperatureRangeLatchOverTheFirst16Slots)
{
    struct Case {
        int slot, present, temp, wasAlarm, alarm;
    } cases[] = {
        {3, 1, 41, 0, 1}, {3, 1, 4, 0, 1},   {3, 1, 40, 0, 0}, {3, 1, 5, 0, 0},
        {15, 1, -3, 0, 1}, {3, 0, 99, 0, 0}, {16, 1, 99, 0, 0},
        {3, 1, 22, 1, 0}, {3, 0, 99, 1, 0}, {3, 1, 50, 1, 1},
    };
    CRoom &room = Room(1, 2, 7);
    const CRoom fresh(1, 2, 7);
    for (const Case &c : cases) {
        std::memcpy(room.m_fanCoils, fresh.m_fanCoils, sizeof room.m_fanCoils);
        room.m_fanCoils[c.slot].present = c.present;
        room.m_fanCoils[c.slot].curTemp = c.temp;
        room.m_rangeAlarm = c.wasAlarm;
        room.m_changed = 0;
        Pass();
        EXPECT_EQ(room.m_rangeAlarm, c.alarm) << c.slot << " " << c.temp;
        EXPECT_EQ(room.m_changed, c.alarm != c.wasAlarm ? 1 : 0) << c.slot << " " << c.temp;
    }
    EXPECT_EQ(EventRows("MSG_TYPE = 17"), 0);
}

// The poller's marks turn into a log line, an event row chosen by the polled
// state and a room-state command to the room unit.
TEST_F(RoomMonitorTest, PolledPmsChangesReachTheRoomUnit)
{
    QUdpSocket &unit = m_roomUnits;
    CRoom &room = Room(1, 2, 3);
    room.m_rcuIp = 0x7F000001;
    room.m_rcuStatus = 4;
    struct Case {
        int pmsType, state, msgType;
        const char *title; // GBK; none: no row
        const char *log;
    } cases[] = {
        {2, 1, 21, "<中软>客人入住", "<中软> 客房状态改变 ROOM:1|203 (4->1)"},
        {2, 0, 22, "<中软>客人退房", "<中软> 客房状态改变 ROOM:1|203 (4->0)"},
        {2, 2, 22, "<中软>房间预定", "<中软> 客房状态改变 ROOM:1|203 (4->2)"},
        {2, 3, 22, "<中软>房间维修", "<中软> 客房状态改变 ROOM:1|203 (4->3)"},
        {3, 1, 21, "<千里马>客人入住", "<千里马> 客房状态改变 ROOM:1|203 (4->1)"},
        {3, 0, 22, "<千里马>客人退房", "<千里马> 客房状态改变 ROOM:1|203 (4->0)"},
        {3, 2, 22, "<千里马>房间预定", "<千里马> 客房状态改变 ROOM:1|203 (4->2)"},
        {3, 3, 22, "<千里马>房间维修", "<千里马> 客房状态改变 ROOM:1|203 (4->3)"},
        {2, 5, 0, nullptr, "<中软> 客房状态改变 ROOM:1|203 (4->5)"},
    };
    for (const Case &c : cases) {
        m_server->m_pmsType = c.pmsType;
        const int rowsBefore = EventRows();
        room.StorePolledPmsState(c.state);
        Pass();
        EXPECT_EQ(room.m_pmsChangeMark.load(), 0);
        EXPECT_EQ(LogTexts().back(), Utf8FromGbk(c.log));
        EXPECT_EQ(room.m_changed, 0);
        EXPECT_EQ(room.m_pmsState, 0);
        EXPECT_EQ(m_server->m_newEvent, 0);
        if (c.title) {
            ASSERT_EQ(EventRows(), rowsBefore + 1) << c.log;
            EXPECT_EQ(QueryText("select MSG_TYPE || '|' || MSG_TITLE || '|' || BUILD_NUM || FLOOR_NUM || ROOM_NUM ||"
                                " '|' || CARD_SN || CARD_ID as v from event_msg_list order by MSG_INDEX desc limit 1"),
                      std::to_string(c.msgType) + "|" + c.title + "|123|01");
        } else {
            EXPECT_EQ(EventRows(), rowsBefore);
        }
        EXPECT_TRUE(Pushed().empty()) << "PMS rows wait for the next push";

        ASSERT_TRUE(QTest::qWaitFor([&] { return unit.hasPendingDatagrams(); }, 2000));
        const auto frames = Drain(unit);
        ASSERT_EQ(frames.size(), 1u);
        const QByteArray &f = frames[0];
        ASSERT_EQ(f.size(), 28);
        uint8_t record[4] = {4, static_cast<uint8_t>(c.state), 0, 0};
        CalcFrameCRC16(record);
        const QByteArray expectedHead("\xFF\x1CZOLP\x00\x01\xFF\xFF\xFF\xFF\xFF\xFF\x00\x00\x0C\x00\x01\x02\x03\x01",
                                      22);
        EXPECT_EQ(f.left(22), expectedHead);
        EXPECT_EQ(f.mid(22, 4), QByteArray(reinterpret_cast<const char *>(record), 4));
    }
}

// A room whose unit never reported has address 0.0.0.0, which would reach
// this machine: its command is not sent and not counted, and the rooms after
// it still get theirs.
TEST_F(RoomMonitorTest, RoomWithoutAddressIsSentNothing)
{
    QUdpSocket &unit = m_roomUnits;
    m_server->m_pmsType = 2;
    CRoom &heard = Room(1, 2, 5);
    heard.m_rcuIp = 0x7F000001;
    Room(1, 2, 3).StorePolledPmsState(1); // earlier in walk order
    heard.StorePolledPmsState(1);
    const int rcuSent = m_server->m_rcuSendCount, clientSent = m_server->m_clientSendCount;
    Pass();
    ASSERT_TRUE(QTest::qWaitFor([&] { return unit.hasPendingDatagrams(); }, 2000));
    const auto frames = Drain(unit);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0][20], 5);
    EXPECT_EQ(m_server->m_rcuSendCount, rcuSent + 1);

    const int rcuPort = m_server->RcuPort();
    for (const auto &[address, port] : {std::pair{"0.0.0.0", rcuPort}, std::pair{"127.0.0.1", 0}})
        EXPECT_EQ(m_server->SendUdp(28, port, address), -1) << address << ":" << port;
    EXPECT_EQ(m_server->m_rcuSendCount, rcuSent + 1);
    EXPECT_EQ(m_server->m_clientSendCount, clientSent);
}

TEST_F(RoomMonitorTest, OtherPmsTypesLeaveTheMarkAlone)
{
    CRoom &room = Room(1, 2, 3);
    for (int type : {kPmsNone, kPmsFoxhis, kPmsNehops}) {
        m_server->m_pmsType = type;
        room.StorePolledPmsState(1);
        const size_t lines = LogTexts().size();
        Pass();
        EXPECT_EQ(room.m_pmsChangeMark.load(), 2) << type;
        EXPECT_EQ(LogTexts().size(), lines);
    }
}

TEST_F(RoomMonitorTest, NewEventRowsArePushedAndTheIndexAdvances)
{
    const uint64_t start = static_cast<uint64_t>(QueryInt("select max(MSG_INDEX) as v from event_msg_list"));
    m_server->m_lastEventIndex = start;
    SeedExec("insert into event_msg_list(BUILD_NUM, FLOOR_NUM, ROOM_NUM, UNIT_NUM, MSG_TYPE, MSG_TITLE, MSG_NOTE) "
             "values(1, 2, 3, 4, 7, 'title a', 'note a'), (2, 1, 0, 0, 9, 'title b', NULL)");
    Pass();
    EXPECT_TRUE(Pushed().empty()) << "only the new-event flag starts a read";

    m_server->m_newEvent = 1;
    m_now += 5;
    Pass();
    EXPECT_EQ(m_server->m_newEvent, 0);
    EXPECT_EQ(m_server->m_lastEventIndex, start + 2);
    const auto pushed = Pushed();
    ASSERT_EQ(pushed.size(), 2u);
    CMyEvent expected;
    expected.m_buildNum = 1, expected.m_floorNum = 2, expected.m_roomNum = 3, expected.m_unitNum = 4;
    expected.m_msgType = 7, expected.m_msgIndex = start + 1, expected.m_time = m_now;
    expected.m_title = "title a", expected.m_note = "note a";
    char text[256];
    EXPECT_EQ(ReplyCode(pushed[0]), 0x8B);
    EXPECT_EQ(ReplyPayload(pushed[0]), QByteArray(text, expected.FormatText(text, sizeof text)));
    expected.m_buildNum = 2, expected.m_floorNum = 1, expected.m_roomNum = 0, expected.m_unitNum = 0;
    expected.m_msgType = 9, expected.m_msgIndex = start + 2;
    expected.m_title = "title b", expected.m_note.clear();
    EXPECT_EQ(ReplyPayload(pushed[1]), QByteArray(text, expected.FormatText(text, sizeof text)));
}

// Ending the walk at the pushed room does not hold up the new event rows.
TEST_F(RoomMonitorTest, ThePassThatPushesARoomAlsoPushesTheNewEvents)
{
    m_server->m_lastEventIndex = static_cast<uint64_t>(QueryInt("select max(MSG_INDEX) as v from event_msg_list"));
    SeedExec("insert into event_msg_list(MSG_TYPE, MSG_TITLE) values(5, 'x')");
    m_server->m_newEvent = 1;
    Room(1, 2, 1).m_changed = 1;
    Pass();
    const auto pushed = Pushed();
    ASSERT_EQ(pushed.size(), 2u);
    EXPECT_EQ(ReplyCode(pushed[0]), 0x87);
    EXPECT_EQ(ReplyCode(pushed[1]), 0x8B);
}

TEST_F(RoomMonitorTest, EventsWithoutALoggedInClientAreReadAndNeverSentLater)
{
    ASSERT_TRUE(Request(*m_ws, RequestFrame(0x09)).empty());
    const uint64_t start = static_cast<uint64_t>(QueryInt("select max(MSG_INDEX) as v from event_msg_list"));
    m_server->m_lastEventIndex = start;
    SeedExec("insert into event_msg_list(MSG_TYPE, MSG_TITLE) values(5, 'x')");
    m_server->m_newEvent = 1;
    Pass();
    EXPECT_EQ(m_server->m_lastEventIndex, start + 1);

    ASSERT_EQ(Login(*m_ws, "alice", "pw1").size(), 2u);
    SeedExec("insert into event_msg_list(MSG_TYPE, MSG_TITLE) values(6, 'y')");
    m_server->m_newEvent = 1;
    Pass();
    const auto pushed = Pushed();
    ASSERT_EQ(pushed.size(), 1u);
    EXPECT_TRUE(ReplyPayload(pushed[0]).contains("\ny\n"));
    EXPECT_EQ(m_server->m_lastEventIndex, start + 2);
}

// The server's database on a small file system of its own, so that a commit
// can be made to fail.
class RoomMonitorOnSmallDiskTest : public RoomMonitorTest {
protected:
    void SetUp() override
    {
        WorkstationTest::SetUp();
        if (HasFatalFailure())
            return;
        std::string why;
        if (!m_disk.Mount(Path(QStringLiteral("disk")), 2 << 20, why))
            GTEST_SKIP() << "no small file system here: " << why;
        Stop();
        UseDatabaseFolder(QStringLiteral("disk"));
        Start();
        ASSERT_EQ(m_server->Mode(), StartMode::Full);
        m_server->m_idleLoopLevel = 1000;
        LogIn();
    }
    std::vector<QByteArray> PushedEvents()
    {
        std::vector<QByteArray> events;
        for (const QByteArray &push : Pushed())
            if (ReplyCode(push) == 0x8B)
                events.push_back(push);
        return events;
    }
    void OpenDoorTooLong(CRoom &room)
    {
        room.m_doorOpen = 1;
        room.m_doorTime = m_now - m_server->m_doorAlarmDelay - 1;
    }

    SmallDisk m_disk;
};

// A batch whose commit fails takes its event rows with it: none is pushed,
// and the rows written later, which get the same MSG_INDEX values again, are
// each pushed once.
TEST_F(RoomMonitorOnSmallDiskTest, RowsOfALostBatchAreNotPushedAndLaterRowsArePushedOnce)
{
    const uint64_t start = static_cast<uint64_t>(QueryInt("select max(MSG_INDEX) as v from event_msg_list"));
    ASSERT_EQ(m_server->m_lastEventIndex, start);
    OpenDoorTooLong(Room(1, 2, 3));
    m_disk.Fill();
    Pass(); // the door alarm's row is written in this pass and lost with its commit
    EXPECT_TRUE(PushedEvents().empty());
    m_disk.Free();
    EXPECT_EQ(EventRows("MSG_TYPE=18"), 0);
    EXPECT_EQ(m_server->m_lastEventIndex, start);
    Pass(); // the room of the latch is pushed, which ends that walk
    EXPECT_TRUE(PushedEvents().empty());

    OpenDoorTooLong(Room(1, 2, 5));
    Pass();
    const auto pushed = PushedEvents();
    ASSERT_EQ(pushed.size(), 1u);
    EXPECT_TRUE(ReplyPayload(pushed[0]).startsWith("1\n2\n5\n" + QByteArray::number(qulonglong(start + 1)) + "\n"))
        << ReplyPayload(pushed[0]).toStdString();
    EXPECT_EQ(m_server->m_lastEventIndex, start + 1);
    EXPECT_EQ(EventRows("MSG_TYPE=18"), 1);

    m_server->m_newEvent = 1;
    Pass();
    EXPECT_TRUE(PushedEvents().empty()) << "pushed once only";
}

// An index that counted rows the lost batch held (as any read inside the
// batch sees them) goes back to the highest row committed.
TEST_F(RoomMonitorOnSmallDiskTest, ALostBatchPutsTheLastIndexBackToTheCommittedRows)
{
    const uint64_t start = static_cast<uint64_t>(QueryInt("select max(MSG_INDEX) as v from event_msg_list"));
    m_server->m_lastEventIndex = start + 5;
    OpenDoorTooLong(Room(1, 2, 3));
    m_disk.Fill();
    Pass();
    m_disk.Free();
    EXPECT_EQ(m_server->m_lastEventIndex, start);
}

TEST_F(RoomMonitorTest, FailingEventQueryClosesTheDatabase)
{
    SeedExec("drop table event_msg_list");
    m_server->m_newEvent = 1;
    Pass();
    EXPECT_FALSE(m_server->m_db.IsOpen());
    EXPECT_TRUE(Pushed().empty());
    const int received = m_server->m_clientRecvCount;
    EXPECT_TRUE(Request(*m_ws, RequestFrame(0x04)).empty()) << "datagrams are dropped now";
    EXPECT_EQ(m_server->m_clientRecvCount, received);
    const int passes = m_server->m_idlePasses;
    Pass();
    EXPECT_EQ(m_server->m_idlePasses, passes) << "no monitor pass on a closed database";
}

// Option texts are read as the Windows runtime's atoi reads them: a value
// beyond 32 bits is held at the end of the range, not wrapped.
TEST_F(RoomMonitorTest, AlarmOptionsHoldOutOfRangeValues)
{
    const struct {
        const char *value;
        int read;
    } cases[] = {
        {" 60 s", 60}, {"", 0}, {"abc", 0}, {"3000000000", INT32_MAX}, {"-99999999999", INT32_MIN},
    };
    for (const auto &c : cases) {
        for (int code : {13, 14, 15})
            SeedExec("update sysoptions set Value = '" + std::string(c.value) + "' where Optioncode = " +
                     std::to_string(code));
        m_server->OnTimer(0);
        EXPECT_EQ(m_server->m_doorAlarmDelay, c.read) << c.value;
        EXPECT_EQ(m_server->m_rangeLow, c.read) << c.value;
        EXPECT_EQ(m_server->m_rangeHigh, c.read) << c.value;
    }
}
