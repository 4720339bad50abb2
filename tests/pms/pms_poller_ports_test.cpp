// The poller as start-up starts it: only for PMS types 2 and 3 with the
// database open, and joined by shutdown.
#include "support/server_fixture.h"
#include "support/datagrams.h"

#include "database/ado_recordset.h"
#include "database/db_connection.h"
#include "database/engine_settings.h"
#include "platform/gbk.h"

#include <QSqlDriver>
#include <QTest>
#include <QThread>
#include <QUdpSocket>
#include <sqlite3.h>

namespace {

class ServerPollerTest : public ServerTest {
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        InstallSeed("velto.db");
    }
    int MarkedRooms()
    {
        int marked = 0;
        CHotel::RoomWalker walker(m_server->m_hotel);
        for (CRoom *room = walker.First(); room; room = walker.Next())
            marked += room->m_pmsChangeMark != 0;
        return marked;
    }
};

TEST_F(ServerPollerTest, TypesTwoAndThreeStartItAndItMarksEveryRoom)
{
    for (int type : {2, 3}) {
        SetSetting("Interface Configuration/HMS INTERFACE", type);
        Start();
        ASSERT_NE(m_server->m_pmsThread, nullptr) << type;
        // Start-up fills RMSTATE with 1; every polled state is still 0.
        EXPECT_TRUE(QTest::qWaitFor([&] { return MarkedRooms() == 13; }, 5000)) << type;
        QThread *thread = m_server->m_pmsThread;
        m_server->OnDestroy();
        EXPECT_TRUE(thread->isFinished());
        Stop();
    }
}

TEST_F(ServerPollerTest, OtherTypesStartNoPoller)
{
    for (int type : {0, 1, 4}) {
        SetSetting("Interface Configuration/HMS INTERFACE", type);
        Start();
        EXPECT_EQ(m_server->m_pmsThread, nullptr) << type;
        Stop();
    }
    // Type 2 on a database server that does not answer: no poller either.
    SetSetting("Interface Configuration/HMS INTERFACE", 2);
    database::EngineSettings settings;
    settings.directory = Path(QStringLiteral("missing-folder"));
    database::SetEngineSettings(settings);
    Start();
    EXPECT_EQ(m_server->Mode(), StartMode::WithoutDatabase);
    EXPECT_EQ(m_server->m_pmsThread, nullptr);
}

// On SQL Server the poller's reads wait for the rows the server's open batch
// has written, so the batch commits before the poller is paused for a
// restore or told to stop: at each commit of the server's connection the
// poller is still polling. (The embedded engine's readers never wait for a
// writer, so the wait itself cannot be shown here; the order of the steps is
// what this looks at.)
TEST_F(ServerPollerTest, TheOpenBatchCommitsBeforeThePollerIsPausedOrStopped)
{
    SetSetting("Interface Configuration/HMS INTERFACE", 2);
    Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return MarkedRooms() == 13; }, 5000));
    const std::string backup = PathStd(QStringLiteral("before.bak"));
    m_server->BackupDatabase(backup);

    struct Seen {
        CKelvorDlg *server;
        std::vector<std::string> pollerAtCommit;
    } seen{m_server.get(), {}};
    auto &connection = *m_server->m_db.GetActiveConnection();
    const QVariant handle = connection.Database().driver()->handle();
    sqlite3 *velto = *static_cast<sqlite3 *const *>(handle.constData());
    sqlite3_commit_hook(
        velto,
        [](void *arg) {
            auto &s = *static_cast<Seen *>(arg);
            s.pollerAtCommit.push_back(s.server->m_pmsPollerGate.Holding() ? "holding"
                                       : s.server->m_pmsThread->isFinished() ? "ended"
                                                                              : "polling");
            return 0;
        },
        &seen);
    const auto openBatch = [&](int index) {
        CADOMyRecordset rs(&m_server->m_db);
        ASSERT_TRUE(rs.Exec("insert into event_msg_list(MSG_INDEX, MSG_TYPE) values(" + std::to_string(index) +
                            ", 1)"))
            << rs.GetLastErrorText();
        ASSERT_TRUE(connection.BatchOpen());
    };

    openBatch(900001);
    m_boxes.QueueAnswer(platform::MsgAnswer::Yes);
    m_server->RestoreDatabase(backup);
    EXPECT_EQ(seen.pollerAtCommit, std::vector<std::string>{"polling"});

    // Resumed, the poller leaves its hold as soon as it is woken.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_server->m_pmsPollerGate.Holding(); }, 5000));
    seen.pollerAtCommit.clear();
    openBatch(900002);
    m_server->OnDestroy(); // the hook goes with the connection
    EXPECT_EQ(seen.pollerAtCommit, std::vector<std::string>{"polling"});
}

// The PMS software is another program: it changes RMSTATE in the live-room
// table (with the embedded engine the file tempdb.db beside velto.db), and
// the room-state command leaves for the room's unit.
class PollerToUnitTest : public ServerPollerTest {
protected:
    void SetUp() override
    {
        ServerPollerTest::SetUp();
        SetSetting("Interface Configuration/HMS INTERFACE", 2);
        Start();
        m_server->m_hotel.FindRoom(1, 2, 4)->m_rcuIp = 0x7F000001;
        // The first pass finds every room checked in.
        ASSERT_TRUE(WaitForStates(1));
        EXPECT_EQ(m_states, std::vector<int>{1});
    }
    // Idle passes of the window's loop until the unit of 1|2|04 has had
    // `count` state commands; their state bytes are in m_states.
    bool WaitForStates(size_t count)
    {
        return QTest::qWaitFor([&] {
            m_server->ContinueModal();
            for (const QByteArray &f : TakeDatagrams(m_unit)) {
                const auto *b = reinterpret_cast<const uint8_t *>(f.constData());
                if (f.size() == 28 && (b[15] << 8 | b[16]) == 0x000C && b[18] == 1 && b[19] == 2 && b[20] == 4)
                    m_states.push_back(b[23]);
            }
            return m_states.size() >= count;
        }, 5000);
    }
    void WriteRmstateAsThePms(int state)
    {
        sqlite3 *pms = nullptr;
        ASSERT_EQ(sqlite3_open(PathStd("tempdb.db").c_str(), &pms), SQLITE_OK);
        sqlite3_busy_timeout(pms, 5000);
        const std::string sql =
            "update REALTIMEROOM set RMSTATE=" + std::to_string(state) + " where BUILD=1 and FLOOR=2 and ROOMNUM=4";
        EXPECT_EQ(sqlite3_exec(pms, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(pms);
    }

    // The unit of 1|2|04 at 127.0.0.1 listens where the server sends room unit frames.
    QUdpSocket &m_unit = m_roomUnits;
    std::vector<int> m_states;
};

TEST_F(PollerToUnitTest, OutsideChangeOfRmstateReachesTheRoomsUnit)
{
    WriteRmstateAsThePms(3);
    ASSERT_TRUE(WaitForStates(2));
    EXPECT_EQ(m_states[1], 3);
    CADOMyRecordset rs(&m_server->m_db);
    ASSERT_TRUE(rs.Exec("select count(*) as n from event_msg_list where build_num=1 and floor_num=2 and room_num=4 "
                        "and msg_type=22 and msg_title='<中软>房间维修'"));
    EXPECT_EQ(rs.GetFieldString("n"), "1");
    const QStringList log = m_server->LogModel().stringList();
    EXPECT_EQ(log.last().mid(9).toStdString(), platform::Utf8FromGbk("<中软> 客房状态改变 ROOM:1|204 (0->3)"));
}

// SQL Server refuses a restore while another connection uses the database:
// the poller's connection is closed while the restore runs and polling goes
// on after it. The restore is held up by a write lock on velto.db that a
// helper thread lets go once it has seen the poller hold (or given up).
TEST_F(PollerToUnitTest, RestoreClosesThePollersConnectionAndPollingGoesOnAfter)
{
    const std::string backup = PathStd(QStringLiteral("before.bak"));
    m_server->BackupDatabase(backup);
    ASSERT_EQ(m_boxes.Texts(), std::vector<std::string>{platform::Utf8FromGbk("数据库成功备份")});

    std::atomic<int> locked{0};
    bool heldDuringRestore = false;
    std::unique_ptr<QThread> writer(QThread::create([&] {
        sqlite3 *db = nullptr;
        sqlite3_open(PathStd("velto.db").c_str(), &db);
        if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK) {
            locked = 1;
            heldDuringRestore = QTest::qWaitFor([&] { return m_server->m_pmsPollerGate.Holding(); }, 3000);
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        } else {
            locked = -1;
        }
        sqlite3_close(db);
    }));
    writer->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return locked != 0; }, 5000));
    ASSERT_EQ(locked, 1);
    m_boxes.Clear();
    m_boxes.QueueAnswer(platform::MsgAnswer::Yes);
    m_server->RestoreDatabase(backup);
    ASSERT_TRUE(writer->wait(10000));
    EXPECT_TRUE(heldDuringRestore);
    EXPECT_EQ(m_boxes.Texts().back(), platform::Utf8FromGbk("数据库成功恢复"));

    WriteRmstateAsThePms(2);
    ASSERT_TRUE(WaitForStates(2));
    EXPECT_EQ(m_states[1], 2);
}

} // namespace
