// The room-state poller on its own thread against a real live-room table,
// written by the test as the PMS software would write it.
#include "support/outside_program.h"
#include "support/server_fixture.h"

#include "database/ado_recordset.h"
#include "model/hotel_conf.h"
#include "pms/pms_poller.h"

#include <QTest>
#include <QThread>
#include <atomic>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

constexpr const char *kLogin = "Driver={SQL Server};Server=127.0.0.1;Uid=velto;Pwd=qubra;";

class PollerTest : public ServerTest {
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        InstallSeed("velto.db");
        ASSERT_TRUE(m_db.Open(kLogin));
        m_hotel.SetLayout(ParseHotelConf(kHotelConf).layout);
        ASSERT_TRUE(m_hotel.BuildRooms());
    }
    void TearDown() override
    {
        StopPoller();
        m_db.Close();
        ServerTest::TearDown();
    }

    // The live-room table as start-up leaves it: RMSTATE 1 for every room in
    // service.
    void CreateLiveRooms()
    {
        Exec("CREATE TABLE ##REALTIMEROOM ([INDEX] [int] IDENTITY (1, 1) NOT NULL ,[BUILD] [tinyint] NOT NULL ,"
             "[FLOOR] [tinyint] NOT NULL ,[ROOMNUM] [tinyint] NOT NULL ,[RMSTATE] [tinyint] NOT NULL) ON [PRIMARY]");
        CHotel::RoomWalker walker(m_hotel);
        for (CRoom *room = walker.First(); room; room = walker.Next())
            Exec("insert into ##REALTIMEROOM(BUILD, FLOOR, ROOMNUM, RMSTATE)values(" + std::to_string(room->m_buildNum) +
                 ", " + std::to_string(room->m_floorNum) + ", " + std::to_string(room->m_roomNum) + ", 1)");
    }
    void SetState(int build, int floor, int room, int state)
    {
        Exec("update ##REALTIMEROOM set\r\nRMSTATE =" + std::to_string(state) + "\r\nwhere build = " +
             std::to_string(build) + " and floor = " + std::to_string(floor) + " and roomnum =" + std::to_string(room));
    }
    // The PMS software: another program writing tempdb.db.
    void WriteAsThePms(const std::string &sql) { ExecAsOutsideProgram(PathStd("tempdb.db"), sql); }
    void Exec(const std::string &sql)
    {
        CADOMyRecordset rs(&m_db);
        ASSERT_TRUE(rs.Exec(sql)) << sql << "\n" << rs.GetLastErrorText();
    }

    void StartPoller()
    {
        m_thread.reset(QThread::create([this] {
            m_threadId = static_cast<int>(::gettid());
            PollPmsRoomStates(m_hotel, m_db, m_stop, m_gate, &m_progress);
            m_finished.store(true, std::memory_order_release);
        }));
        m_thread->start();
    }
    // QThread::wait() joins through Qt's own futex, which ThreadSanitizer
    // cannot see; the flag orders the poller's last steps before the
    // fixture's teardown where it can.
    void StopPoller()
    {
        if (!m_thread)
            return;
        m_stop = 1;
        m_thread->wait();
        m_finished.load(std::memory_order_acquire);
    }
    // The first pass of a poller just started. Counted from its start, not
    // from now: the poller may be through it already, and with nothing
    // committed since, no second pass comes.
    bool WaitFirstPass()
    {
        return QTest::qWaitFor([&] { return m_progress.passes >= 1; }, 5000);
    }
    // Waits until the poller has read every room since the last write: until
    // it leaves out a pass after a look that began after the write. A look
    // under way at the write may still have been before it: two more.
    bool WaitCaughtUp()
    {
        const int until = m_progress.skipped + 2;
        return QTest::qWaitFor([&] { return m_progress.skipped >= until; }, 5000);
    }
    CRoom &Room(int build, int floor, int room) { return *m_hotel.FindRoom(build, floor, room); }
    int MarkedRooms()
    {
        int marked = 0;
        CHotel::RoomWalker walker(m_hotel);
        for (CRoom *room = walker.First(); room; room = walker.Next())
            marked += room->m_pmsChangeMark != 0;
        return marked;
    }
    void TakeAllMarks()
    {
        CHotel::RoomWalker walker(m_hotel);
        int32_t state = 0;
        for (CRoom *room = walker.First(); room; room = walker.Next())
            room->TakePolledPmsChange(state);
    }

    CADODatabase m_db;
    CHotel m_hotel;
    std::atomic<int> m_stop{0};
    PmsPollerGate m_gate;
    std::atomic<bool> m_finished{false};
    PmsPollerProgress m_progress;
    std::unique_ptr<QThread> m_thread;
    std::atomic<int> m_threadId{0};
};

// How often the thread has gone to sleep and been woken so far.
long VoluntaryContextSwitches(int threadId)
{
    std::ifstream status("/proc/self/task/" + std::to_string(threadId) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("voluntary_ctxt_switches:"))
            return std::stol(line.substr(line.find(':') + 1));
    return -1;
}

TEST_F(PollerTest, FirstPassMarksEveryRoomInServiceThatHasARow)
{
    CreateLiveRooms();
    Exec("delete from ##REALTIMEROOM where BUILD=2 and FLOOR=1 and ROOMNUM=2");
    StartPoller();
    ASSERT_TRUE(WaitFirstPass());
    EXPECT_EQ(MarkedRooms(), 12);
    CHotel::RoomWalker walker(m_hotel);
    for (CRoom *room = walker.First(); room; room = walker.Next()) {
        const bool hasRow = !(room->m_buildNum == 2 && room->m_roomNum == 2);
        EXPECT_EQ(room->m_pmsChangeMark, hasRow ? 2 : 0) << room->m_buildNum << room->m_floorNum << room->m_roomNum;
        EXPECT_EQ(room->m_polledPmsState, hasRow ? 1 : 0);
    }
    EXPECT_EQ(Room(1, 2, 0).m_pmsChangeMark, 0); // the gap room is never polled
    EXPECT_EQ(m_progress.failures, 0);
}

TEST_F(PollerTest, RewritingTheSameValueMarksNothing)
{
    CreateLiveRooms();
    StartPoller();
    ASSERT_TRUE(WaitFirstPass());
    TakeAllMarks();
    SetState(1, 2, 4, 1);
    ASSERT_TRUE(WaitCaughtUp());
    EXPECT_EQ(MarkedRooms(), 0);

    SetState(1, 2, 4, 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Room(1, 2, 4).m_pmsChangeMark == 2; }, 5000));
    EXPECT_EQ(Room(1, 2, 4).m_polledPmsState, 3);
    EXPECT_EQ(MarkedRooms(), 1);
}

// While nothing is committed to the live-room table no pass runs, whatever
// else the database does; a change by another program, or by the server's
// own live-room writes, brings a pass that marks it, once.
TEST_F(PollerTest, PassesAreLeftOutUntilSomeoneCommitsAndTheChangeIsMarkedOnce)
{
    CreateLiveRooms();
    StartPoller();
    ASSERT_TRUE(WaitFirstPass());
    TakeAllMarks();
    ASSERT_TRUE(WaitCaughtUp());

    const int passes = m_progress.passes;
    const int until = m_progress.skipped + 20;
    for (int i = 0; i < 5; ++i)
        Exec("Insert into event_msg_list(build_num, floor_num, room_num, msg_type, msg_title, card_sn, card_id)"
             "values(1, 2, 7, 11, 'door', 0, 0)");
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_progress.skipped >= until; }, 5000));
    EXPECT_EQ(m_progress.passes, passes) << "nothing was committed to the live-room table";

    struct Writer {
        const char *who;
        std::function<void(int state)> write;
    };
    const Writer writers[] = {
        {"another program",
         [&](int state) { WriteAsThePms("update REALTIMEROOM set RMSTATE=" + std::to_string(state) +
                                        " where BUILD=2 and FLOOR=1 and ROOMNUM=1"); }},
        {"the server's live-room handle",
         [&](int state) {
             m_db.EnableGroupCommit({}, {});
             SetState(2, 1, 1, state);
         }},
    };
    int state = 2;
    for (const Writer &writer : writers) {
        ++state;
        writer.write(state);
        ASSERT_TRUE(QTest::qWaitFor([&] { return Room(2, 1, 1).m_pmsChangeMark != 0; }, 5000)) << writer.who;
        int32_t taken = -1;
        EXPECT_TRUE(Room(2, 1, 1).TakePolledPmsChange(taken)) << writer.who;
        EXPECT_EQ(taken, state) << writer.who;
        ASSERT_TRUE(WaitCaughtUp()) << writer.who;
        EXPECT_FALSE(Room(2, 1, 1).TakePolledPmsChange(taken)) << writer.who << ": marked again";
        EXPECT_EQ(MarkedRooms(), 0) << writer.who;
    }
    EXPECT_EQ(m_progress.failures, 0);
}

TEST_F(PollerTest, EndsOnTheStopFlagWhilePassesAreLeftOut)
{
    CreateLiveRooms();
    StartPoller();
    ASSERT_TRUE(WaitFirstPass());
    ASSERT_TRUE(WaitCaughtUp());
    const int passes = m_progress.passes;
    m_stop = 1;
    EXPECT_TRUE(m_thread->wait(2000));
    EXPECT_EQ(m_progress.passes, passes);
}

// The monitor has not run between two changes: one mark, the latest value.
TEST_F(PollerTest, TwoChangesBeforeTheMonitorLeaveOnlyTheLast)
{
    CreateLiveRooms();
    StartPoller();
    ASSERT_TRUE(WaitFirstPass());
    TakeAllMarks();
    SetState(2, 1, 0, 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Room(2, 1, 0).m_polledPmsState == 3; }, 5000));
    SetState(2, 1, 0, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Room(2, 1, 0).m_polledPmsState == 0; }, 5000));
    int32_t state = -1;
    EXPECT_TRUE(Room(2, 1, 0).TakePolledPmsChange(state));
    EXPECT_EQ(state, 0);
    EXPECT_FALSE(Room(2, 1, 0).TakePolledPmsChange(state));
}

// Without the table every query fails and is retried on the same room; the
// stop flag still ends the thread at once, without a single mark.
TEST_F(PollerTest, EndsOnTheStopFlagWhileEveryQueryFails)
{
    StartPoller();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_progress.failures >= 3; }, 5000));
    m_stop = 1;
    EXPECT_TRUE(m_thread->wait(2000));
    EXPECT_EQ(m_progress.passes, 0);
    EXPECT_EQ(MarkedRooms(), 0);
}

TEST_F(PollerTest, ASetFlagEndsItBeforeTheFirstQuery)
{
    CreateLiveRooms();
    m_stop = 1;
    StartPoller();
    ASSERT_TRUE(m_thread->wait(2000));
    EXPECT_EQ(m_progress.passes, 0);
    EXPECT_EQ(m_progress.failures, 0);
    EXPECT_EQ(MarkedRooms(), 0);
}

// A pause closes the poller's connection between two statements and holds
// it; a change written meanwhile is marked after Resume, on a new connection.
TEST_F(PollerTest, PauseHoldsItWithoutItsConnectionUntilResume)
{
    CreateLiveRooms();
    StartPoller();
    ASSERT_TRUE(WaitFirstPass());
    TakeAllMarks();
    ASSERT_TRUE(m_gate.Pause(std::chrono::seconds(5)));
    EXPECT_TRUE(m_gate.Holding());
    SetState(1, 2, 4, 2);
    EXPECT_TRUE(m_gate.Holding());
    m_gate.Resume();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Room(1, 2, 4).m_pmsChangeMark == 2; }, 5000));
    EXPECT_EQ(Room(1, 2, 4).m_polledPmsState, 2);
    EXPECT_FALSE(m_gate.Holding());
    EXPECT_EQ(m_progress.failures, 0);
}

// No poller yet: Pause returns at once, and one that starts while the pause
// stands holds before it connects. The stop flag ends a holding poller.
TEST_F(PollerTest, PauseBeforeTheStartAndStopWhileHolding)
{
    CreateLiveRooms();
    ASSERT_TRUE(m_gate.Pause(std::chrono::milliseconds(0)));
    StartPoller();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_gate.Holding(); }, 5000));
    EXPECT_EQ(MarkedRooms(), 0);
    m_stop = 1;
    EXPECT_TRUE(m_thread->wait(2000));
    EXPECT_FALSE(m_gate.Holding());
    EXPECT_TRUE(m_gate.Pause(std::chrono::milliseconds(0))) << "an ended poller holds nothing up";
    EXPECT_EQ(m_progress.passes, 0);
}

// A holding poller sleeps until something wakes it: it does not wake every
// moment to look at the flags. Stop wakes it, and it ends.
TEST_F(PollerTest, AHoldingPollerSleepsUntilStopWakesIt)
{
    CreateLiveRooms();
    StartPoller();
    ASSERT_TRUE(WaitFirstPass());
    ASSERT_TRUE(m_gate.Pause(std::chrono::seconds(5)));
    const long before = VoluntaryContextSwitches(m_threadId);
    ASSERT_GE(before, 0);
    QTest::qWait(500);
    EXPECT_LT(VoluntaryContextSwitches(m_threadId) - before, 25) << "woken while holding";
    EXPECT_TRUE(m_gate.Holding());
    m_gate.Stop(m_stop);
    EXPECT_TRUE(m_thread->wait(5000));
    EXPECT_FALSE(m_gate.Holding());
}

} // namespace
