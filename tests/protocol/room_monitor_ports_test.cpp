// The room monitor's passes: the changed rooms pushed, the offline rule, the
// PMS change step, the range and door latches and the event pushes, seen by
// a logged-in workstation and a room unit on loopback.
#include "report_fixture.h"
#include "workstation_fixture.h"
#include "support/datagrams.h"
#include "support/small_disk.h"

#include "platform/gbk.h"
#include "protocol/crc.h"
#include "protocol/udp_socket.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QStringListModel>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <functional>
#include <cstring>
#include <thread>

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

// Every pass pushes the changed rooms and looks at every room; a room its
// own checks mark changed is pushed by a later pass.
TEST_F(RoomMonitorTest, EveryRoomIsLookedAtInEveryPass)
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
    ASSERT_EQ(pushed.size(), 2u);
    EXPECT_EQ(ReplyCode(pushed[0]), 0x87);
    EXPECT_EQ(ReplyTag(pushed[0]), 0xFFFF);
    EXPECT_EQ(ReplyPayload(pushed[0]), RoomText(first));
    EXPECT_EQ(ReplyPayload(pushed[1]), RoomText(later));
    EXPECT_EQ(first.m_changed, 0);
    EXPECT_EQ(later.m_changed, 0);
    EXPECT_EQ(beyond.m_online, 0) << "rooms after the pushed ones are looked at too";
    EXPECT_EQ(beyond.m_changed, 1);

    Pass();
    pushed = Pushed();
    ASSERT_EQ(pushed.size(), 1u);
    EXPECT_EQ(ReplyPayload(pushed[0]), RoomText(beyond));
    Pass();
    EXPECT_TRUE(Pushed().empty());
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
    EXPECT_EQ(ByteAt(frames[0], 20), 5);
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

// Pushing a room does not hold up the new event rows.
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
        StartOnSmallDisk(m_disk);
        if (IsSkipped() || HasFatalFailure())
            return;
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

// The range latch follows the units as the full reports store them, and the
// range as timer 0 reloads it.
TEST_F(RoomMonitorTest, RangeLatchFollowsStoredUnitsAndNewLimits)
{
    QUdpSocket &unit = m_roomUnits;
    CRoom &room = Room(1, 2, 5);
    auto report = [&](int temp) {
        TestFrame frame = QuietFullReport(1, 2, 5);
        frame.Set(30, 1).Set(36, static_cast<uint8_t>(temp));
        ASSERT_EQ(unit.writeDatagram(frame.Bytes(), QHostAddress::LocalHost, ServerUdpPort()), frame.Bytes().size());
        ASSERT_TRUE(QTest::qWaitFor([&] { return room.m_fanCoils[0].curTemp == temp; }, 2000));
    };
    const auto setHigh = [&](int high) {
        SeedExec("update sysoptions set Value = '" + std::to_string(high) + "' where Optioncode = 15");
        m_server->OnTimer(0);
    };
    report(30);
    Pass();
    EXPECT_EQ(room.m_rangeAlarm, 0);
    report(41);
    Pass();
    EXPECT_EQ(room.m_rangeAlarm, 1);
    setHigh(45);
    Pass();
    EXPECT_EQ(room.m_rangeAlarm, 0);
    setHigh(35);
    Pass();
    EXPECT_EQ(room.m_rangeAlarm, 1);
    report(30);
    Pass();
    EXPECT_EQ(room.m_rangeAlarm, 0);
}

// The poller stores while passes run: each state the monitor takes, as its
// log line shows it, was stored after the one it took before, and the last
// one stored is taken.
TEST_F(RoomMonitorTest, StatesStoredWhilePassesRunAreDeliveredOnce)
{
    m_server->m_pmsType = kPmsZhongruan;
    CRoom &room = Room(1, 2, 3);
    room.m_rcuIp = 0x7F000001;
    constexpr int kStores = 20000;
    std::vector<int> taken;
    QStringListModel &log = m_server->LogModel();
    // Each line is written into the row appended for it.
    QObject::connect(&log, &QAbstractItemModel::dataChanged, [&](const QModelIndex &first, const QModelIndex &end) {
        for (int row = first.row(); row <= end.row(); ++row) {
            const QString line = log.data(log.index(row)).toString();
            const qsizetype arrow = line.lastIndexOf(QStringLiteral("->"));
            if (arrow > 0)
                taken.push_back(line.mid(arrow + 2).chopped(1).toInt());
        }
    });
    std::atomic<bool> done{false};
    std::thread poller([&] {
        for (int i = 1; i <= kStores; ++i) {
            room.StorePolledPmsState(i);
            for (int spin = 0; spin < (i & 63) * 4; ++spin)
                std::atomic_signal_fence(std::memory_order_seq_cst);
        }
        done = true;
    });
    while (!done)
        Pass();
    poller.join();
    Pass();
    Pass();
    ASSERT_FALSE(taken.empty());
    for (size_t i = 1; i < taken.size(); ++i)
        ASSERT_GT(taken[i], taken[i - 1]) << "take " << i << " of " << taken.size();
    EXPECT_EQ(taken.back(), kStores);
    Drain(m_roomUnits);
}

namespace {

// The hotel at the scale it is built for: 4 buildings of 10 floors of 50
// rooms, 2,000 rooms in service, walked building by building.
constexpr int kBuilds = 4, kFloors = 10, kRoomsPerFloor = 50;
constexpr int kScaleRooms = kBuilds * kFloors * kRoomsPerFloor;

std::string ScaleHotelConf()
{
    std::string text = "[Hotel]\nName=Scale\n[Layout]\n";
    int item = 0;
    for (int build = 1; build <= kBuilds; ++build)
        for (int floor = 1; floor <= kFloors; ++floor)
            text += "item" + std::to_string(++item) + "=" + std::to_string(build) + " " + std::to_string(floor) +
                    " " + std::to_string(kRoomsPerFloor) + "\n";
    return text;
}

struct RoomKey {
    int build, floor, room;
    bool operator==(const RoomKey &) const = default;
};

RoomKey KeyOf(int walkIndex)
{
    return {1 + walkIndex / (kFloors * kRoomsPerFloor), 1 + walkIndex / kRoomsPerFloor % kFloors,
            walkIndex % kRoomsPerFloor};
}

// Lines 1..3 and 14 of a pushed room: its numbers and its door alarm.
struct PushedRoom {
    RoomKey key;
    int doorAlarm;
};

PushedRoom ParsePush(const QByteArray &reply)
{
    const QList<QByteArray> lines = ReplyPayload(reply).split('\n');
    if (lines.size() < 14)
        return {{-1, -1, -1}, -1};
    return {{lines[0].toInt(), lines[1].toInt(), lines[2].toInt()}, lines[13].toInt()};
}

} // namespace

class HotelScaleMonitorTest : public RoomMonitorTest {
protected:
    void BeforeStart() override { WriteHotelConf(ScaleHotelConf()); }
    void SetUp() override
    {
        RoomMonitorTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_EQ(m_server->m_hotel.GetTotalRooms(), kScaleRooms);
        // Room pushes come faster than a test reads them between its steps.
        m_ws->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4 << 20);
        m_roomUnits.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4 << 20);
    }

    CRoom &RoomAt(int walkIndex)
    {
        const RoomKey k = KeyOf(walkIndex);
        return Room(k.build, k.floor, k.room);
    }

    // One second of the hotel: every room unit reports (from the room units'
    // socket, so the rooms learn where their unit is); rooms in this second's
    // 5% toggle do-not-disturb, and the doors of the first and last room
    // stand open. The reports come in bursts; after each the idle hook runs
    // once, as the event loop runs it. Then the event loop runs on its own
    // for a moment, with every pass it gives.
    void ReportRound()
    {
        m_now += 1;
        ++m_round;
        constexpr int kBurst = 200;
        for (int i = 0; i < kScaleRooms; ++i) {
            const RoomKey k = KeyOf(i);
            TestFrame frame = QuietFullReport(k.build, k.floor, k.room);
            // One block of 100 rooms in walk order crosses a multiple of 20 each round.
            frame.Set(47, static_cast<uint8_t>((i / (kScaleRooms / 20) + m_round) / 20 % 2));
            if (i == 0 || i == kScaleRooms - 1)
                frame.Set(49, 1);
            m_roomUnits.writeDatagram(frame.Bytes(), QHostAddress::LocalHost, ServerUdpPort());
            if ((i + 1) % kBurst == 0) {
                HandleEverythingSent();
                Pass();
                Collect();
            }
        }
        RunEventLoopUntil([] { return false; }, 50);
    }
    // The server's own event loop with every idle pass it gives, until the
    // condition holds (looked at every 20 ms) or the time is up.
    bool RunEventLoopUntil(const std::function<bool()> &condition, int timeoutMs)
    {
        const int level = m_server->m_idleLoopLevel;
        m_server->m_idleLoopLevel = -1;
        QEventLoop loop;
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, &loop, [&] {
            Collect();
            if (condition())
                loop.quit();
        });
        look.start(20);
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
        m_server->m_idleLoopLevel = level;
        Collect();
        return condition();
    }
    // The server reads one datagram each time round its event loop.
    void HandleEverythingSent()
    {
        const QDeadlineTimer deadline(10000);
        while (m_server->m_udpSocket->hasPendingDatagrams() && !deadline.hasExpired())
            QCoreApplication::processEvents();
        EXPECT_FALSE(m_server->m_udpSocket->hasPendingDatagrams());
    }
    void Collect()
    {
        for (const QByteArray &f : Drain(*m_ws))
            if (ReplyCode(f) == 0x87)
                m_pushes.push_back(ParsePush(f));
        for (const QByteArray &f : Drain(m_roomUnits))
            if (f.size() == 28 && (static_cast<uint8_t>(f[15]) << 8 | static_cast<uint8_t>(f[16])) == 0x000C)
                m_stateCommands.push_back({{f[18], f[19], f[20]}, static_cast<uint8_t>(f[23])});
    }
    int RowsOf(const RoomKey &k, const std::string &what)
    {
        return EventRows(what + " and BUILD_NUM = " + std::to_string(k.build) + " and FLOOR_NUM = " +
                         std::to_string(k.floor) + " and ROOM_NUM = " + std::to_string(k.room));
    }
    bool PushedWithDoorAlarm(const RoomKey &k) const
    {
        for (const PushedRoom &p : m_pushes)
            if (p.key == k && p.doorAlarm == 1)
                return true;
        return false;
    }

    int m_round = 0;
    std::vector<PushedRoom> m_pushes;
    struct StateCommand {
        RoomKey key;
        int state;
    };
    std::vector<StateCommand> m_stateCommands;
};

TEST_F(HotelScaleMonitorTest, DoorAlarmsOfTheFirstAndLastRoomWhileRoomsChangeEveryRound)
{
    SeedExec("update sysoptions set Value = '3' where Optioncode = 13");
    m_server->OnTimer(0);
    const RoomKey first = KeyOf(0), last = KeyOf(kScaleRooms - 1);
    const std::string doorAlarm = "MSG_TYPE = 18";
    // The doors open in round 1 and are overdue from round 5 on.
    for (int round = 0; round < 12 && !(RowsOf(first, doorAlarm) == 1 && RowsOf(last, doorAlarm) == 1); ++round)
        ReportRound();
    ReportRound();
    EXPECT_EQ(RowsOf(first, doorAlarm), 1);
    EXPECT_EQ(RowsOf(last, doorAlarm), 1);
    EXPECT_GE(EventRows("MSG_TYPE in (9, 10)"), m_round * kScaleRooms / 20) << "rooms changed every round";
    // The rounds came faster than seconds; the pushes keep their own pace.
    EXPECT_TRUE(RunEventLoopUntil([&] { return PushedWithDoorAlarm(first) && PushedWithDoorAlarm(last); }, 20000));
    EXPECT_EQ(RowsOf(first, doorAlarm), 1);
    EXPECT_EQ(RowsOf(last, doorAlarm), 1);
}

class HotelScalePmsTest : public HotelScaleMonitorTest {
protected:
    void BeforeStart() override
    {
        HotelScaleMonitorTest::BeforeStart();
        SetSetting("Interface Configuration/HMS INTERFACE", kPmsZhongruan);
    }
};

TEST_F(HotelScalePmsTest, OutsideRmstateChangeOfTheLastRoomReachesItsUnit)
{
    ASSERT_NE(m_server->m_pmsThread, nullptr);
    const RoomKey last = KeyOf(kScaleRooms - 1);
    const std::string repair = "MSG_TYPE = 22 and MSG_TITLE = '<中软>房间维修'";
    auto commandsTo = [&](const RoomKey &k, int state) {
        return std::count_if(m_stateCommands.begin(), m_stateCommands.end(),
                             [&](const StateCommand &c) { return c.key == k && c.state == state; });
    };
    ReportRound();
    ReportRound();
    SeedExec("update ##REALTIMEROOM set RMSTATE = 3 where BUILD = 4 and FLOOR = 10 and ROOMNUM = 49");
    for (int round = 0; round < 10 && !(commandsTo(last, 3) == 1 && RowsOf(last, repair) == 1); ++round)
        ReportRound();
    ReportRound();
    EXPECT_EQ(commandsTo(last, 3), 1);
    EXPECT_EQ(RowsOf(last, repair), 1);
}

// 300 rooms changed at once: each reaches each logged-in workstation once,
// in walk order from the room after the one pushed last.
TEST_F(HotelScaleMonitorTest, ChangedRoomsArePushedRoundRobinAndOnce)
{
    AddUser("bob", "pw2", 0);
    QUdpSocket &second = Workstation();
    second.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4 << 20);
    ASSERT_EQ(Login(second, "bob", "pw2").size(), 2u);
    constexpr int kLastPushed = 1000, kFrom = 850, kCount = 300;
    RoomAt(kLastPushed).m_changed = 1;
    Pass();
    Collect();
    ASSERT_EQ(m_pushes.size(), 1u);
    ASSERT_EQ(Drain(second).size(), 1u);
    m_pushes.clear();

    for (int i = kFrom; i < kFrom + kCount; ++i)
        RoomAt(i).m_changed = 1;
    std::vector<PushedRoom> atSecond;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        Pass();
        Collect();
        for (const QByteArray &f : Drain(second))
            atSecond.push_back(ParsePush(f));
        return m_pushes.size() >= kCount && atSecond.size() >= kCount;
    }, 20000));
    for (int i = 0; i < 3; ++i)
        Pass();
    Collect();
    for (const QByteArray &f : Drain(second))
        atSecond.push_back(ParsePush(f));

    std::vector<RoomKey> expected;
    for (int i = kLastPushed + 1; i < kFrom + kCount; ++i)
        expected.push_back(KeyOf(i));
    for (int i = kFrom; i <= kLastPushed; ++i)
        expected.push_back(KeyOf(i));
    for (const std::vector<PushedRoom> *seen : {&m_pushes, &atSecond}) {
        ASSERT_EQ(seen->size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i)
            ASSERT_TRUE((*seen)[i].key == expected[i])
                << "push " << i << ": " << (*seen)[i].key.build << "|" << (*seen)[i].key.floor << "|"
                << (*seen)[i].key.room;
    }
}
