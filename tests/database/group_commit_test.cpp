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

INSTANTIATE_TEST_SUITE_P(Engines, GroupCommitTest,
                         ::testing::Values(database::Engine::Embedded, database::Engine::Odbc),
                         [](const auto &info) { return info.param == database::Engine::Odbc ? "Odbc" : "Embedded"; });

} // namespace
