// Bursts of status reports: the kernel keeps every datagram of a burst, the
// writes of a burst share one transaction committed at the idle pass, and an
// outside program still gets at the tables.
#include "report_fixture.h"

#include "database/db_connection.h"
#include "protocol/udp_socket.h"
#include "support/stderr_capture.h"

#include <QTest>
#include <algorithm>
#include <atomic>
#include <map>
#include <sqlite3.h>
#include <thread>

namespace {

// Event offsets of the full report, and the event type each raises when set.
constexpr std::pair<int, int> kEventFields[] = {{39, 5},  {45, 3},  {46, 1},  {47, 9},  {49, 11},
                                                {59, 7},  {60, 15}, {77, 24}, {78, 26}, {62, 19}};

TestFrame AllChanged(int build, int floor, int room)
{
    TestFrame frame = QuietFullReport(build, floor, room);
    frame.Set(38, 1); // guest card
    for (const auto &[offset, type] : kEventFields)
        frame.Set(offset, 1);
    return frame;
}

// A connection of the test's own to one of the server's files, as any
// outside SQLite program has.
class Outside {
public:
    explicit Outside(const QString &file, int busyTimeoutMs = 5000)
    {
        sqlite3_open_v2(file.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_busy_timeout(m_db, busyTimeoutMs);
    }
    ~Outside() { sqlite3_close(m_db); }
    Outside(const Outside &) = delete;
    Outside &operator=(const Outside &) = delete;
    // The first column of the first row; -1 when the statement failed.
    int Number(const std::string &sql)
    {
        sqlite3_stmt *statement = nullptr;
        int value = -1;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            value = sqlite3_column_int(statement, 0);
        sqlite3_finalize(statement);
        return value;
    }
    int Exec(const std::string &sql) { return sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr); }
    std::map<int, int> RowsByType()
    {
        std::map<int, int> rows;
        sqlite3_stmt *statement = nullptr;
        sqlite3_prepare_v2(m_db, "select MSG_TYPE, count(*) from event_msg_list group by MSG_TYPE", -1, &statement,
                           nullptr);
        while (sqlite3_step(statement) == SQLITE_ROW)
            rows[sqlite3_column_int(statement, 0)] = sqlite3_column_int(statement, 1);
        sqlite3_finalize(statement);
        return rows;
    }

private:
    sqlite3 *m_db = nullptr;
};

class GroupCommitTest : public ReportTest {
protected:
    Outside Velto() { return Outside(Path(QStringLiteral("velto.db"))); }
    Outside Tempdb(int busyTimeoutMs = 5000) { return Outside(Path(QStringLiteral("tempdb.db")), busyTimeoutMs); }
    // Sends from the test's unit socket and waits until the server has
    // handled it.
    void Handled(const TestFrame &frame)
    {
        const int before = m_server->m_rcuKnownCount;
        if (m_unit.state() != QAbstractSocket::BoundState) {
            ASSERT_TRUE(m_unit.bind(QHostAddress::LocalHost, 0));
        }
        ASSERT_EQ(m_unit.writeDatagram(frame.Bytes(), QHostAddress::LocalHost, ServerUdpPort()), frame.Bytes().size());
        ASSERT_TRUE(QTest::qWaitFor([&] { return m_server->m_rcuKnownCount > before; }, 10000));
    }
    std::string LiveRoomSql(const char *column, int room)
    {
        return std::string("select ") + column + " from REALTIMEROOM where BUILD = 1 and FLOOR = 2 and ROOMNUM = " +
               std::to_string(room);
    }
    bool LogHas(const std::string &text)
    {
        for (const std::string &line : LogLinesSince(0)) {
            if (line.find(text) != std::string::npos)
                return true;
        }
        return false;
    }
};

TEST_F(GroupCommitTest, BurstOfAllChangedReportsLosesNothing)
{
    std::string conf = "[Layout]\n";
    for (int floor = 1; floor <= 20; ++floor)
        conf += "item" + std::to_string(floor) + "=1 " + std::to_string(floor) + " 50 0\n";
    WriteHotelConf(conf);
    StartServer();
    ASSERT_TRUE(m_server->HasUdpSocket()) << "no UDP socket";
    // A report costs the kernel about 840 bytes of receive buffer. Where it
    // granted less than the burst needs (a stock Debian without
    // CAP_NET_ADMIN allows 425,984), the burst is what the buffer holds.
    const int rooms = std::min(1000, m_server->m_udpSocket->ReceiveBufferBytes() / 1024);
    ASSERT_GT(rooms, 0);
    ASSERT_TRUE(m_unit.bind(QHostAddress::LocalHost, 0));
    // Sent without pacing: the server reads none of it before the last one
    // has left.
    for (int i = 0; i < rooms; ++i) {
        const QByteArray bytes = AllChanged(1, 1 + i / 50, 1 + i % 50).Bytes();
        ASSERT_EQ(m_unit.writeDatagram(bytes, QHostAddress::LocalHost, ServerUdpPort()), bytes.size());
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_server->m_rcuKnownCount >= rooms; }, 120000))
        << m_server->m_rcuKnownCount << " of " << rooms << " handled";
    m_server->ContinueModal();
    EXPECT_EQ(m_server->m_rcuKnownCount, rooms);
    EXPECT_EQ(m_server->m_udpSocket->KernelDrops(), 0);
    const std::map<int, int> rows = Velto().RowsByType();
    for (const auto &[offset, type] : kEventFields) {
        const auto found = rows.find(type);
        EXPECT_EQ(found == rows.end() ? 0 : found->second, rooms) << "event type " << type;
    }
    EXPECT_EQ(rows.size(), std::size(kEventFields));
    EXPECT_EQ(Tempdb().Number("select count(*) from REALTIMEROOM where DOOR = 1 and DND = 1 and CARDIN = 1"), rooms);
}

TEST_F(GroupCommitTest, ABurstCommitsAtTheIdlePassAndAFailingStatementFailsAlone)
{
    StartServer();
    SeedExec("CREATE TRIGGER door_refused BEFORE INSERT ON event_msg_list WHEN NEW.MSG_TYPE = 11 "
             "BEGIN SELECT RAISE(ABORT, 'door rows refused'); END");
    for (int room : {1, 2})
        Send(QuietFullReport(1, 2, room).Set(47, 1).Set(49, 1));
    // The server's own queries see the open batch; nobody else does yet.
    // The live-room table stays out of the batch: outside programs see it at
    // once.
    EXPECT_EQ(CountRows("event_msg_list"), 2);
    EXPECT_EQ(Velto().Number("select count(*) from event_msg_list"), 0);
    EXPECT_EQ(Tempdb().Number(LiveRoomSql("DND", 1)), 1);

    m_server->ContinueModal();
    EXPECT_EQ(Velto().Number("select count(*) from event_msg_list where MSG_TYPE = 9"), 2);
    EXPECT_EQ(Velto().Number("select count(*) from event_msg_list where MSG_TYPE = 11"), 0);
    for (int room : {1, 2}) {
        EXPECT_EQ(Tempdb().Number(LiveRoomSql("DND", room)), 1);
        EXPECT_EQ(Tempdb().Number(LiveRoomSql("DOOR", room)), 1);
    }
}

TEST_F(GroupCommitTest, AfterTheEngineRolledTheBatchBackTheNextStatementsCommit)
{
    StartServer();
    SeedExec("CREATE TRIGGER door_rolls_back BEFORE INSERT ON event_msg_list WHEN NEW.MSG_TYPE = 11 "
             "BEGIN SELECT RAISE(ROLLBACK, 'the engine gave up'); END");
    // Room 1: its DND row is in the batch the door row throws away; room 2's
    // row starts the next one. The live-room updates are not in any batch,
    // so the rollback keeps them.
    Send(QuietFullReport(1, 2, 1).Set(47, 1).Set(49, 1));
    Send(QuietFullReport(1, 2, 2).Set(47, 1));
    m_server->ContinueModal();

    EXPECT_TRUE(LogHas("数据库回滚了1条未提交的语句"));
    EXPECT_EQ(Velto().Number("select count(*) from event_msg_list"), 1);
    EXPECT_EQ(Velto().Number("select ROOM_NUM from event_msg_list where MSG_TYPE = 9"), 2);
    EXPECT_EQ(Tempdb().Number(LiveRoomSql("DND", 1)), 1);
    EXPECT_EQ(Tempdb().Number(LiveRoomSql("DOOR", 1)), 1);
    EXPECT_EQ(Tempdb().Number(LiveRoomSql("DND", 2)), 1);
}

// The writer starts while the server holds a batch open and the event loop
// never falls idle (qWaitFor only polls): the batch's age bound alone lets
// the writer in.
TEST_F(GroupCommitTest, AnOutsideWriterGetsTheLiveRoomTableWhileReportsStreamIn)
{
    StartServer();
    ASSERT_TRUE(m_server->HasUdpSocket()) << "no UDP socket";
    ASSERT_TRUE(m_unit.bind(QHostAddress::LocalHost, 0));
    const auto sendRound = [&](int round) {
        for (int room = 1; room <= 10; ++room) {
            const QByteArray bytes = QuietFullReport(1, 2, room).Set(49, round % 2).Set(47, round % 2).Bytes();
            ASSERT_EQ(m_unit.writeDatagram(bytes, QHostAddress::LocalHost, ServerUdpPort()), bytes.size());
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return m_server->m_rcuKnownCount >= 10 * round; }, 10000));
    };
    sendRound(1);
    ASSERT_TRUE(m_server->m_db.GetActiveConnection()->BatchOpen());
    std::atomic<int> writerResult{-1};
    std::atomic<bool> writerDone{false};
    std::thread writer([&] {
        writerResult = Tempdb().Exec("update REALTIMEROOM set RMSTATE = 3 where BUILD = 1 and FLOOR = 2 and ROOMNUM = 7");
        writerDone = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return writerDone.load(); }, 20000));
    writer.join();
    EXPECT_EQ(writerResult, SQLITE_OK);
    for (int round = 2; round <= 4; ++round)
        sendRound(round);
    m_server->ContinueModal();
    EXPECT_EQ(Tempdb().Number(LiveRoomSql("RMSTATE", 7)), 3);
    EXPECT_EQ(Tempdb().Number(LiveRoomSql("DOOR", 1)), 0);
    EXPECT_EQ(Velto().Number("select count(*) from event_msg_list where MSG_TYPE = 11"), 20);
}

TEST_F(GroupCommitTest, ShutdownWithAnOpenBatchKeepsEveryRow)
{
    StartServer();
    for (int room = 1; room <= 10; ++room)
        Send(AllChanged(1, 2, room));
    Stop();
    EXPECT_EQ(Velto().Number("select count(*) from event_msg_list"), 10 * static_cast<int>(std::size(kEventFields)));
}

} // namespace

// The live-room writes of one datagram run together once it is handled:
// each keeps its own outcome, and the table is free again between datagrams.
TEST_F(GroupCommitTest, AFailingLiveRoomWriteOfADatagramIsReportedAndTheOthersCommit)
{
    StartServer();
    ASSERT_TRUE(m_server->HasUdpSocket()) << "no UDP socket";
    ASSERT_EQ(Tempdb().Exec("CREATE TRIGGER refuse_door BEFORE UPDATE OF DOOR ON REALTIMEROOM "
                            "BEGIN SELECT RAISE(ABORT, 'door refused'); END"),
              SQLITE_OK);
    StderrCapture stderrText;
    Handled(QuietFullReport(1, 2, 5).Set(46, 1).Set(47, 1).Set(49, 1)); // clean, do not disturb, door
    const std::string told = stderrText.Stop();
    EXPECT_NE(told.find("event statement failed"), std::string::npos) << told;
    EXPECT_NE(told.find("DOOR =1"), std::string::npos) << told;
    EXPECT_NE(told.find("door refused"), std::string::npos) << told;
    EXPECT_TRUE(LogHas("*事件记录写入数据库失败*"));
    EXPECT_EQ(Tempdb().Number(LiveRoomSql("CLEAN", 5)), 1);
    EXPECT_EQ(Tempdb().Number(LiveRoomSql("DND", 5)), 1);
    EXPECT_EQ(Tempdb().Number(LiveRoomSql("DOOR", 5)), 0);
    EXPECT_EQ(Room(1, 2, 5).m_doorOpen, 1);
    m_server->ContinueModal();
    EXPECT_EQ(Velto().Number("select count(*) from event_msg_list"), 3);
}

TEST_F(GroupCommitTest, BetweenTwoDatagramsTheLiveRoomTableIsFreeAndShowsTheFirstOnesWrites)
{
    StartServer();
    ASSERT_TRUE(m_server->HasUdpSocket()) << "no UDP socket";
    Handled(QuietFullReport(1, 2, 5).Set(49, 1).Set(47, 1));
    EXPECT_EQ(LiveRoom(1, 2, 5, "DOOR"), 1); // a SELECT on the server's own connection
    EXPECT_EQ(Tempdb(0).Exec("update REALTIMEROOM set RMSTATE = 3 where BUILD = 1 and FLOOR = 2 and ROOMNUM = 5"),
              SQLITE_OK);
    Handled(QuietFullReport(1, 2, 5).Set(49, 0).Set(47, 1).Set(46, 1));
    EXPECT_EQ(Tempdb(0).Number(LiveRoomSql("RMSTATE", 5)), 3);
    EXPECT_EQ(Tempdb(0).Number(LiveRoomSql("DOOR", 5)), 0);
    EXPECT_EQ(Tempdb(0).Number(LiveRoomSql("DND", 5)), 1);
    EXPECT_EQ(Tempdb(0).Number(LiveRoomSql("CLEAN", 5)), 1);
}
