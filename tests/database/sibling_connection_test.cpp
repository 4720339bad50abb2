// The PMS poller's own connection on its own thread, and outside readers,
// against the live-room table the server's connection created.
#include "database_fixture.h"

#include <QTest>
#include <QThread>
#include <atomic>
#include <sqlite3.h>

namespace {

class SiblingTest : public DatabaseTest {
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        InstallSeed();
        ASSERT_TRUE(OpenServer());
        CreateLiveRoomTable();
        for (int room = 0; room < 20; ++room)
            MustExec("insert into ##REALTIMEROOM(BUILD, FLOOR, ROOMNUM, RMSTATE)values(1, 2, " + std::to_string(room) + ", 1)");
    }
};

TEST_F(SiblingTest, PollerThreadReadsWhileTheServerWrites)
{
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0};
    std::atomic<int> failures{0};
    std::atomic<int> lastSeen{0};
    std::unique_ptr<QThread> poller(QThread::create([&] {
        CADODatabase db;
        if (!db.OpenSibling(m_db)) {
            failures = 1000;
            return;
        }
        CADOMyRecordset recordset(&db);
        while (!stop) {
            for (int room = 0; room < 20 && !stop; ++room) {
                if (!recordset.Exec("select RMSTATE from ##REALTIMEROOM where BUILD=1 and FLOOR =2  and ROOMNUM =" +
                                    std::to_string(room))) {
                    ++failures;
                    continue;
                }
                if (recordset.GetRecordCount() != 0 && room == 5)
                    lastSeen = std::atoi(recordset.GetFieldString("RMSTATE").c_str());
                recordset.Close();
                ++reads;
            }
        }
    }));
    poller->start();
    for (int i = 0; i < 200; ++i) {
        MustExec("update ##REALTIMEROOM set\r\nRMSTATE =" + std::to_string(i % 5) +
                 "\r\nwhere build = 1 and floor = 2 and roomnum =7\r\n");
        MustExec("Insert into event_msg_list(build_num, floor_num, room_num, msg_type, msg_title, card_sn, card_id)"
                 "values(1, 2, 7, 11, 'door', 0, 0)");
    }
    MustExec("update ##REALTIMEROOM set\r\nRMSTATE =3\r\nwhere build = 1 and floor = 2 and roomnum =5\r\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return lastSeen == 3; }, 5000));
    stop = true;
    poller->wait();
    EXPECT_EQ(failures, 0);
    EXPECT_GT(reads, 0);
}

TEST_F(SiblingTest, OutsideProgramSeesAndWritesTheLiveRooms)
{
    sqlite3 *pms = nullptr;
    ASSERT_EQ(sqlite3_open(PathStd("tempdb.db").c_str(), &pms), SQLITE_OK);
    sqlite3_busy_timeout(pms, 5000);
    ASSERT_EQ(sqlite3_exec(pms, "update REALTIMEROOM set RMSTATE=4 where BUILD=1 and FLOOR=2 and ROOMNUM=9",
                           nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(pms);
    EXPECT_EQ(QueryField("select RMSTATE from ##REALTIMEROOM where BUILD=1 and FLOOR =2  and ROOMNUM =9", "RMSTATE"), "4");
}

} // namespace

namespace {

TEST_F(SiblingTest, AnotherThreadCannotUseTheServerConnection)
{
    bool ran = true;
    std::string error;
    // QThread::wait() joins through Qt's own futex, which ThreadSanitizer
    // cannot see; the flag hands the results over where it can.
    std::atomic<bool> done{false};
    std::unique_ptr<QThread> thread(QThread::create([&] {
        CADOMyRecordset recordset(&m_db);
        ran = recordset.Exec("select * from ##REALTIMEROOM");
        error = recordset.GetLastErrorText();
        done.store(true, std::memory_order_release);
    }));
    thread->start();
    thread->wait();
    ASSERT_TRUE(done.load(std::memory_order_acquire));
    EXPECT_FALSE(ran);
    EXPECT_NE(error.find("OpenSibling"), std::string::npos) << error;
    EXPECT_EQ(QueryField("select count(*) as n from ##REALTIMEROOM", "n"), "20");
}

} // namespace
