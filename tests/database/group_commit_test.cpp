// Group commit on both engines: the embedded SQLite database and ODBC (here
// the SQLite ODBC driver). What the batch holds is checked from a connection
// of the test's own, as an outside program sees the file.
#include "database_fixture.h"

#include "database/db_connection.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <sqlite3.h>

namespace {

class GroupCommitTest : public DatabaseTest, public ::testing::WithParamInterface<database::Engine> {
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        if (GetParam() == database::Engine::Odbc) {
            if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QODBC")))
                GTEST_SKIP() << "no QODBC plugin";
            database::EngineSettings settings;
            settings.engine = database::Engine::Odbc;
            database::SetEngineSettings(settings);
            m_file = Path(QStringLiteral("odbc.db"));
            ASSERT_TRUE(m_db.Open("Driver={SQLite3};Database=" + m_file.toStdString() + ";")) << m_db.GetLastErrorText();
        } else {
            InstallSeed();
            m_file = Path(QStringLiteral("velto.db"));
            ASSERT_TRUE(OpenServer()) << m_db.GetLastErrorText();
        }
        MustExec("create table t (i int)");
        m_db.EnableGroupCommit([this](const database::BatchLoss &loss) { m_losses.push_back(loss.statements); }, {});
    }

    // Rows of t an outside program sees; -1 when it cannot read them.
    int OutsideRows()
    {
        sqlite3 *db = nullptr;
        sqlite3_open_v2(m_file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_busy_timeout(db, 5000);
        sqlite3_stmt *statement = nullptr;
        int rows = -1;
        if (sqlite3_prepare_v2(db, "select count(*) from t", -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            rows = sqlite3_column_int(statement, 0);
        sqlite3_finalize(statement);
        sqlite3_close(db);
        return rows;
    }
    bool Exec(const std::string &sql)
    {
        CADOMyRecordset recordset(&m_db);
        return recordset.Exec(sql);
    }

    QString m_file;
    std::vector<int> m_losses;
};

TEST_P(GroupCommitTest, WritesWaitForTheCommitAndAFailingOneFailsAlone)
{
    EXPECT_TRUE(Exec("insert into t values(1)"));
    EXPECT_TRUE(Exec("insert into t values(2)"));
    EXPECT_EQ(QueryField("select count(*) as N from t", "N"), "2"); // the batch's own reads see it
    EXPECT_EQ(OutsideRows(), 0);
    // Where the engine cannot be asked whether the batch survived (ODBC to
    // anything but SQL Server), the failure commits it there and then.
    EXPECT_FALSE(Exec("insert into missing values(3)"));
    EXPECT_TRUE(Exec("insert into t values(4)"));
    m_db.CommitBatch();
    EXPECT_EQ(OutsideRows(), 3);
    EXPECT_TRUE(m_losses.empty());
}

TEST_P(GroupCommitTest, AfterAnEngineRollbackTheNextWritesCommit)
{
    MustExec("create trigger refuse before insert on t when NEW.i = 99 begin select raise(rollback, 'gave up'); end");
    EXPECT_TRUE(Exec("insert into t values(1)"));
    EXPECT_TRUE(Exec("insert into t values(2)"));
    EXPECT_FALSE(Exec("insert into t values(99)"));
    ASSERT_EQ(m_losses.size(), 1u);
    EXPECT_EQ(m_losses[0], 2);
    EXPECT_TRUE(Exec("insert into t values(4)"));
    m_db.CommitBatch();
    EXPECT_EQ(OutsideRows(), 1);
    EXPECT_EQ(m_losses.size(), 1u);
}

TEST_P(GroupCommitTest, CloseAndStatementsOtherThanWritesCommitFirst)
{
    EXPECT_TRUE(Exec("insert into t values(1)"));
    EXPECT_TRUE(Exec("create table u (i int)"));
    EXPECT_EQ(OutsideRows(), 1);
    EXPECT_TRUE(Exec("insert into t values(2)"));
    m_db.Close();
    EXPECT_EQ(OutsideRows(), 2);
}

// The live-room table lives in tempdb.db, which outside programs (the PMS
// software) write too: on the embedded engine an open batch of event rows
// must not hold tempdb.db's write lock.
TEST_P(GroupCommitTest, AnOpenBatchLeavesTempdbFreeForOutsideWriters)
{
    if (GetParam() != database::Engine::Embedded)
        GTEST_SKIP() << "SQL Server locks rows, not files";
    MustExec("CREATE TABLE ##LIVE ([ROOM] [int] NOT NULL, [DOOR] [tinyint] NOT NULL)");
    EXPECT_TRUE(Exec("insert into ##LIVE(ROOM, DOOR)values(1, 0)"));
    EXPECT_TRUE(Exec("insert into t values(1)"));
    CADOMyRecordset recordset(&m_db);
    int updated = 0;
    ASSERT_TRUE(recordset.Exec("update ##LIVE set\r\nDOOR =1\r\nwhere ROOM =1\r\n", &updated));
    EXPECT_EQ(updated, 1);
    EXPECT_TRUE(Exec("insert into t values(2)"));
    ASSERT_TRUE(m_db.GetActiveConnection()->BatchOpen());

    sqlite3 *outside = nullptr;
    ASSERT_EQ(sqlite3_open_v2(Path(QStringLiteral("tempdb.db")).toUtf8().constData(), &outside,
                              SQLITE_OPEN_READWRITE, nullptr),
              SQLITE_OK);
    sqlite3_busy_timeout(outside, 0);
    EXPECT_EQ(sqlite3_exec(outside, "BEGIN IMMEDIATE; UPDATE LIVE SET DOOR = 2 WHERE ROOM = 1; COMMIT", nullptr,
                           nullptr, nullptr),
              SQLITE_OK)
        << sqlite3_errmsg(outside);
    sqlite3_close(outside);

    EXPECT_EQ(OutsideRows(), 0); // the event rows still wait for the commit
    EXPECT_EQ(QueryField("select DOOR from ##LIVE where ROOM = 1", "DOOR"), "2");
    m_db.CommitBatch();
    EXPECT_EQ(OutsideRows(), 2);
    EXPECT_TRUE(m_losses.empty());
}

// A batch's first write that finds velto.db locked (another program held it
// past the busy time-out) leaves the batch open and empty; a read then
// holds the file as it was, and once that program commits, every later
// write of the batch would fail on the stale read until the batch commits.
// The empty batch ends with the failure instead.
TEST_P(GroupCommitTest, AFirstWriteRefusedByALockLeavesNoStaleBatch)
{
    if (GetParam() != database::Engine::Embedded)
        GTEST_SKIP() << "SQL Server waits on row locks and keeps no file snapshot";
    const QVariant handle = m_db.GetActiveConnection()->Database().driver()->handle();
    sqlite3_busy_timeout(*static_cast<sqlite3 *const *>(handle.constData()), 0);
    sqlite3 *outside = nullptr;
    ASSERT_EQ(sqlite3_open_v2(m_file.toUtf8().constData(), &outside, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(outside, "BEGIN IMMEDIATE; insert into t values(100)", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_FALSE(Exec("insert into t values(1)"));
    EXPECT_EQ(QueryField("select count(*) as N from t", "N"), "0");
    ASSERT_EQ(sqlite3_exec(outside, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(outside);

    EXPECT_TRUE(Exec("insert into t values(2)"));
    EXPECT_TRUE(Exec("insert into t values(3)"));
    m_db.CommitBatch();
    EXPECT_EQ(OutsideRows(), 3);
    EXPECT_TRUE(m_losses.empty());
}

// One datagram's live-room writes: kept while it is handled, run together
// when its group ends, or earlier where something would look at them.
class LiveRoomGroupTest : public GroupCommitTest {
protected:
    void SetUp() override
    {
        GroupCommitTest::SetUp();
        MustExec("CREATE TABLE ##LIVE ([ROOM] [int] NOT NULL, [DOOR] [tinyint] NOT NULL)");
        for (int room = 1; room <= 3; ++room)
            MustExec("insert into ##LIVE(ROOM, DOOR)values(" + std::to_string(room) + ", 0)");
        m_db.SetLiveRoomFailureReporter([this](const std::string &diagnostic) { m_failures.push_back(diagnostic); });
        ASSERT_EQ(sqlite3_open_v2(Path(QStringLiteral("tempdb.db")).toUtf8().constData(), &m_outside,
                                  SQLITE_OPEN_READWRITE, nullptr),
                  SQLITE_OK);
        sqlite3_busy_timeout(m_outside, 0);
    }
    void TearDown() override
    {
        sqlite3_close(m_outside);
        GroupCommitTest::TearDown();
    }
    static std::string Door(int room, int door)
    {
        return "update ##LIVE set\r\nDOOR =" + std::to_string(door) + "\r\nwhere ROOM =" + std::to_string(room) +
               "\r\n";
    }
    // What an outside program reads of a room's DOOR.
    int OutsideDoor(int room)
    {
        sqlite3_stmt *statement = nullptr;
        int door = -1;
        if (sqlite3_prepare_v2(m_outside, ("select DOOR from LIVE where ROOM = " + std::to_string(room)).c_str(), -1,
                               &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            door = sqlite3_column_int(statement, 0);
        sqlite3_finalize(statement);
        return door;
    }
    int OutsideExec(const char *sql) { return sqlite3_exec(m_outside, sql, nullptr, nullptr, nullptr); }

    sqlite3 *m_outside = nullptr;
    std::vector<std::string> m_failures;
};

TEST_P(LiveRoomGroupTest, AFailingOneIsReportedAndTheOthersCommitWhenTheGroupEnds)
{
    ASSERT_EQ(OutsideExec("CREATE TRIGGER refuse BEFORE UPDATE OF DOOR ON LIVE WHEN NEW.DOOR = 9 "
                          "BEGIN SELECT RAISE(ABORT, 'door refused'); END"),
              SQLITE_OK);
    {
        const CADODatabase::LiveRoomWriteGroup group(m_db);
        EXPECT_TRUE(Exec(Door(1, 1)));
        EXPECT_TRUE(Exec(Door(2, 9)));
        EXPECT_TRUE(Exec(Door(3, 1)));
        EXPECT_EQ(OutsideDoor(1), 0); // kept
        EXPECT_TRUE(m_failures.empty());
    }
    ASSERT_EQ(m_failures.size(), 1u);
    EXPECT_NE(m_failures[0].find("Query = " + Door(2, 9)), std::string::npos) << m_failures[0];
    EXPECT_NE(m_failures[0].find("door refused"), std::string::npos) << m_failures[0];
    EXPECT_EQ(OutsideDoor(1), 1);
    EXPECT_EQ(OutsideDoor(2), 0);
    EXPECT_EQ(OutsideDoor(3), 1);
}

// A write that makes the engine throw the transaction away takes the ones
// before it along: they are reported too, and the ones after it still run.
TEST_P(LiveRoomGroupTest, AWriteThatRollsTheGroupBackReportsTheOnesBeforeIt)
{
    ASSERT_EQ(OutsideExec("CREATE TRIGGER refuse BEFORE UPDATE OF DOOR ON LIVE WHEN NEW.DOOR = 9 "
                          "BEGIN SELECT RAISE(ROLLBACK, 'gave up'); END"),
              SQLITE_OK);
    {
        const CADODatabase::LiveRoomWriteGroup group(m_db);
        EXPECT_TRUE(Exec(Door(1, 1)));
        EXPECT_TRUE(Exec(Door(2, 9)));
        EXPECT_TRUE(Exec(Door(3, 1)));
    }
    ASSERT_EQ(m_failures.size(), 2u);
    EXPECT_NE(m_failures[0].find("Query = " + Door(1, 1)), std::string::npos) << m_failures[0];
    EXPECT_NE(m_failures[1].find("Query = " + Door(2, 9)), std::string::npos) << m_failures[1];
    EXPECT_EQ(OutsideDoor(1), 0);
    EXPECT_EQ(OutsideDoor(3), 1);
    // The handle is left in autocommit: the next group commits.
    {
        const CADODatabase::LiveRoomWriteGroup group(m_db);
        EXPECT_TRUE(Exec(Door(1, 1)));
        EXPECT_TRUE(Exec(Door(2, 1)));
    }
    EXPECT_EQ(OutsideDoor(1), 1);
    EXPECT_EQ(OutsideDoor(2), 1);
    EXPECT_EQ(m_failures.size(), 2u);
}

TEST_P(LiveRoomGroupTest, AReadOfTheTableOrACountAskedForRunsTheKeptOnesFirst)
{
    const CADODatabase::LiveRoomWriteGroup group(m_db);
    EXPECT_TRUE(Exec(Door(1, 1)));
    EXPECT_EQ(QueryField("select DOOR from ##LIVE where ROOM = 1", "DOOR"), "1");
    EXPECT_EQ(OutsideDoor(1), 1);

    EXPECT_TRUE(Exec(Door(2, 1)));
    CADOMyRecordset recordset(&m_db);
    int updated = -1;
    ASSERT_TRUE(recordset.Exec(Door(3, 1), &updated));
    EXPECT_EQ(updated, 1);
    EXPECT_EQ(OutsideDoor(2), 1);
    EXPECT_EQ(OutsideDoor(3), 1);

    EXPECT_TRUE(Exec(Door(1, 2)));
    MustExec("CREATE TABLE other (i int)"); // neither a read nor a write
    EXPECT_EQ(OutsideDoor(1), 2);
    EXPECT_TRUE(m_failures.empty());
}

TEST_P(LiveRoomGroupTest, AnOutsideWriterWithoutBusyTimeoutGetsInBetweenTwoGroups)
{
    {
        const CADODatabase::LiveRoomWriteGroup group(m_db);
        EXPECT_TRUE(Exec(Door(1, 1)));
        EXPECT_TRUE(Exec(Door(2, 1)));
    }
    EXPECT_EQ(OutsideExec("BEGIN IMMEDIATE; UPDATE LIVE SET DOOR = 5 WHERE ROOM = 3; COMMIT"), SQLITE_OK)
        << sqlite3_errmsg(m_outside);
    {
        const CADODatabase::LiveRoomWriteGroup group(m_db);
        EXPECT_TRUE(Exec(Door(1, 0)));
        EXPECT_TRUE(Exec(Door(2, 0)));
    }
    EXPECT_EQ(OutsideDoor(1), 0);
    EXPECT_EQ(OutsideDoor(3), 5);
    EXPECT_TRUE(m_failures.empty());
}

// The ODBC engine keeps them in the batch.
INSTANTIATE_TEST_SUITE_P(Embedded, LiveRoomGroupTest, ::testing::Values(database::Engine::Embedded));

INSTANTIATE_TEST_SUITE_P(Engines, GroupCommitTest,
                         ::testing::Values(database::Engine::Embedded, database::Engine::Odbc),
                         [](const auto &info) { return info.param == database::Engine::Odbc ? "Odbc" : "Embedded"; });

} // namespace
