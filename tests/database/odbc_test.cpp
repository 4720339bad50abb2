// The ODBC engine: statements go through unchanged (here to the SQLite ODBC
// driver), and open failures map to the codes start-up tests.
#include "database/ado_recordset.h"
#include "database/com_error.h"
#include "database/engine_settings.h"
#include "database/odbc_login.h"
#include "support/temp_dir.h"

#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QTcpServer>
#include <QTest>
#include <chrono>
#include <thread>
#include <unistd.h>

namespace {

class OdbcTest : public TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QODBC")))
            GTEST_SKIP() << "no QODBC plugin";
        database::EngineSettings settings;
        settings.engine = database::Engine::Odbc;
        settings.loginTimeoutSeconds = 2;
        database::SetEngineSettings(settings);
    }
    void TearDown() override { database::SetEngineSettings(database::EngineSettings{}); }

    std::string SqliteOdbc() const { return "Driver={SQLite3};Database=" + PathStd("odbc.db") + ";"; }
    CADODatabase m_db;
};

TEST_F(OdbcTest, StatementsAndFieldsThroughTheDriver)
{
    ASSERT_TRUE(m_db.Open(SqliteOdbc())) << m_db.GetLastErrorText();
    CADOMyRecordset recordset(&m_db);
    int affected = -2;
    ASSERT_TRUE(recordset.Exec("create table t (i int, s varchar(20), n int)", &affected)) << recordset.GetLastErrorText();
    for (const char *row : {"insert into t values(-3, 'a', NULL)", "insert into t values(4, '客房', 1)",
                            "insert into t values(5, 'c', 2)"}) {
        ASSERT_TRUE(recordset.Exec(row, &affected)) << recordset.GetLastErrorText();
        EXPECT_EQ(affected, 1);
    }
    ASSERT_TRUE(recordset.Exec("update t set n=9 where i > 0", &affected));
    EXPECT_EQ(affected, 2);
    ASSERT_TRUE(recordset.Exec("select * from t order by i"));
    EXPECT_EQ(recordset.GetRecordCount(), 3);
    EXPECT_EQ(recordset.GetFieldString("i"), "-3");
    EXPECT_EQ(recordset.GetFieldString("n"), "");
    recordset.MoveNext();
    EXPECT_EQ(recordset.GetFieldString("S"), "客房");
    EXPECT_EQ(recordset.GetFieldString("n"), "9");
    // The driver hands a datetime column over as a date value.
    ASSERT_TRUE(recordset.Exec("create table d (t datetime)"));
    ASSERT_TRUE(recordset.Exec("insert into d values('2016-05-11 08:03:09')"));
    ASSERT_TRUE(recordset.Exec("select t from d"));
    EXPECT_EQ(recordset.GetFieldString("t"), "2016-05-11 08:03:09");
    std::string date;
    ASSERT_TRUE(recordset.GetFieldValue("t", date, "%d/%m/%Y"));
    EXPECT_EQ(date, "11/05/2016");
    EXPECT_FALSE(recordset.Exec("selec 1"));
    EXPECT_EQ(recordset.GetLastError(), database::kErrInCommand);
}

// Writes that come all at once go in the driver's one transaction, with group
// commit resting, and are there once it commits.
TEST_F(OdbcTest, WritesInOneTransaction)
{
    ASSERT_TRUE(m_db.Open(SqliteOdbc())) << m_db.GetLastErrorText();
    m_db.EnableGroupCommit({}, {});
    CADOMyRecordset recordset(&m_db);
    ASSERT_TRUE(recordset.Exec("create table t (i int)"));
    ASSERT_TRUE(m_db.BeginTransaction()) << m_db.GetErrorDescription();
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(recordset.Exec("insert into t values(" + std::to_string(i) + ")")) << recordset.GetLastErrorText();
    ASSERT_TRUE(m_db.CommitTransaction()) << m_db.GetErrorDescription();
    m_db.Close();
    ASSERT_TRUE(m_db.Open(SqliteOdbc()));
    ASSERT_TRUE(recordset.Exec("select count(*) as n from t"));
    EXPECT_EQ(recordset.GetFieldString("n"), "20");
}

TEST_F(OdbcTest, RefusedConnectionIsAServerNotAnswering)
{
    QTcpServer probe; // a port nobody listens on
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close();
    EXPECT_FALSE(m_db.Open("Driver={FreeTDS};Server=127.0.0.1;Port=" + std::to_string(port) +
                           ";Uid=velto;Pwd=qubra;TDS_Version=7.3;"));
    EXPECT_EQ(m_db.GetLastError(), database::kErrServerNotAnswering) << m_db.GetLastErrorText();
    // The driver's diagnostic with its SQLSTATE and native code.
    EXPECT_EQ(m_db.GetErrorDescription().rfind("[08S01] (20009) [FreeTDS]", 0), 0u) << m_db.GetErrorDescription();
}

TEST_F(OdbcTest, SilentServerTimesOut)
{
    QTcpServer silent; // accepts (in the kernel) and never answers
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(m_db.Open("Driver={FreeTDS};Server=127.0.0.1;Port=" + std::to_string(silent.serverPort()) +
                           ";Uid=velto;Pwd=qubra;TDS_Version=7.3;"));
    EXPECT_EQ(m_db.GetLastError(), database::kErrServerNotAnswering) << m_db.GetLastErrorText();
    EXPECT_LT(timer.elapsed(), 30000);
}

// The server's shutdown signals end a login wait from outside: the wait is
// given up as soon as their descriptor is readable, long before the driver
// or the deadline would end it.
TEST_F(OdbcTest, ADescriptorThatBecomesReadableEndsTheLoginWait)
{
    database::EngineSettings settings = database::CurrentEngineSettings();
    settings.loginTimeoutSeconds = 600;
    database::SetEngineSettings(settings);
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    int stop[2];
    ASSERT_EQ(::pipe(stop), 0);
    m_db.SetLoginGiveUp(stop[0]);
    std::thread signaller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const char byte = 15;
        EXPECT_EQ(::write(stop[1], &byte, 1), 1);
    });
    // TDS 7.3 keeps to its own time-out, so only the descriptor can end this.
    EXPECT_FALSE(m_db.Open("Driver={FreeTDS};Server=127.0.0.1;Port=" + std::to_string(silent.serverPort()) +
                           ";Uid=velto;Pwd=qubra;TDS_Version=7.3;"));
    signaller.join();
    EXPECT_EQ(m_db.GetLastError(), database::kErrLoginGivenUp) << m_db.GetLastErrorText();
    EXPECT_EQ(m_db.GetErrorDescription(), "the login was given up: the server is stopping");
    // Only looked at: the byte is still there for the event loop.
    char byte = 0;
    EXPECT_EQ(::read(stop[0], &byte, 1), 1);
    EXPECT_EQ(byte, 15);
    m_db.SetLoginGiveUp(-1);
    ::close(stop[0]);
    ::close(stop[1]);

    // The login left behind is counted until the driver gives up: here when
    // the server goes away.
    EXPECT_EQ(database::OdbcLoginsRunning(), 1);
    silent.close();
    EXPECT_TRUE(QTest::qWaitFor([] { return database::OdbcLoginsRunning() == 0; }, 30000));
}

} // namespace
