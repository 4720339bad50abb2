// The SQL Server engine through FreeTDS registered as "SQL Server", against
// a server that accepts the connection and never answers: start-up gives up
// within the login time-out and a little more, goes on without a database
// with the cause on stderr, and a shutdown signal ends it in order, also one
// that comes during the login. The server runs in the test's own network
// (it must reach the test's listener): the test itself belongs in a private
// one, as every test here does.
#include "support/server_process.h"
#include "support/temp_dir.h"

#include "platform/gbk.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTcpServer>
#include <QTest>
#include <csignal>

namespace {

constexpr int kLoginTimeout = 2; // seconds
// Start-up must be through well before this: the login time-out, the grace
// the driver gets beyond it, and much to spare for a busy machine.
constexpr int kGenerousWaitMs = (kLoginTimeout + 2 + 8) * 1000;

struct LoginCase {
    const char *name;
    QStringList env; // besides TDSPORT
    const char *line;
    friend void PrintTo(const LoginCase &c, std::ostream *os) { *os << c.name; }
};

class SqlServerLoginTest : public TempDirTest, public ::testing::WithParamInterface<LoginCase> {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        // tdsodbc registers its driver as [FreeTDS]; "SQL Server" is a copy.
        const QString driver =
            QSettings(QStringLiteral("/etc/odbcinst.ini"), QSettings::IniFormat).value(QStringLiteral("FreeTDS/Driver")).toString();
        if (driver.isEmpty())
            GTEST_SKIP() << "FreeTDS (tdsodbc) is not installed";
        ASSERT_TRUE(QDir().mkpath(Path(QStringLiteral("odbc"))));
        Write(QStringLiteral("odbc/odbcinst.ini"), "[SQL Server]\nDriver=" + driver.toUtf8() + "\n");
        Write(QStringLiteral("odbc/odbc.ini"), "");
        Write(QStringLiteral("hotel.conf"), "[Layout]\nitem1=1 2 10 0\n");
        QSettings settings(Path(QStringLiteral("config/") + platform::QStringFromGbk("应用程序向导生成的本地应用程序") +
                                QStringLiteral("/kelvor-server.conf")),
                           QSettings::IniFormat);
        settings.setValue(QStringLiteral("Database Configuration/DATABASE ENGINE"), 1);
        settings.setValue(QStringLiteral("Database Configuration/LOGIN TIMEOUT"), kLoginTimeout);
        settings.sync();
        ASSERT_TRUE(m_silent.listen(QHostAddress::LocalHost, 0));
    }
    void TearDown() override
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    void Write(const QString &name, const QByteArray &bytes)
    {
        QFile file(Path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    void Start(const QStringList &env)
    {
        // The program's connection string names no port: FreeTDS takes it
        // from TDSPORT.
        StartServerProcess(m_process, Path(), false,
                           QStringList{QStringLiteral("ODBCSYSINI=") + Path(QStringLiteral("odbc")),
                                       QStringLiteral("TDSPORT=%1").arg(m_silent.serverPort())} +
                               env);
        ASSERT_TRUE(m_process.waitForStarted());
    }
    bool WaitForStderr(const QByteArray &text, int ms)
    {
        return QTest::qWaitFor(
            [&] {
                m_stderr += m_process.readAllStandardError();
                return m_stderr.contains(text);
            },
            ms);
    }
    void SigtermEndsItInOrder()
    {
        ASSERT_EQ(::kill(static_cast<pid_t>(m_process.processId()), SIGTERM), 0);
        ASSERT_TRUE(m_process.waitForFinished(kGenerousWaitMs)) << m_stderr.constData();
        m_stderr += m_process.readAllStandardError();
        EXPECT_EQ(m_process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(m_process.exitCode(), 0) << m_stderr.constData();
        EXPECT_TRUE(m_stderr.contains("SIGTERM received, shutting down")) << m_stderr.constData();
    }

    QTcpServer m_silent; // accepts (the kernel does) and never answers
    QProcess m_process;
    QByteArray m_stderr;
};

TEST_P(SqlServerLoginTest, SilentServerGivesTheModeWithoutDatabaseInTime)
{
    Start(GetParam().env);
    ASSERT_TRUE(WaitForStderr("kelvor-server started: mode without database, engine SQL Server through ODBC",
                              kGenerousWaitMs))
        << m_stderr.constData();
    EXPECT_TRUE(m_silent.hasPendingConnections()) << "the driver never reached the server";
    EXPECT_TRUE(m_stderr.contains(QByteArray("kelvor-server: the database did not open: ") + GetParam().line))
        << m_stderr.constData();
    SigtermEndsItInOrder();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SqlServerLoginTest,
    ::testing::Values(
        // FreeTDS left to pick the protocol (the README's driver entry alone)
        // keeps retrying whatever the login time-out: the deadline ends it.
        LoginCase{"DriverPicksItsProtocol", {},
                  "SQL Server did not answer the login within 4 s (LOGIN TIMEOUT 2 s); the driver's own login is "
                  "still waiting"},
        // Given one, the driver keeps to the login time-out itself.
        LoginCase{"DriverGivenItsProtocol", {QStringLiteral("TDSVER=7.4")},
                  "[HYT00] [FreeTDS][SQL Server]Timeout expired"}),
    [](const auto &info) { return std::string(info.param.name); });

class SqlServerLoginSignalTest : public SqlServerLoginTest {};

TEST_F(SqlServerLoginSignalTest, SigtermDuringTheLoginEndsTheServer)
{
    Start({});
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_silent.hasPendingConnections(); }, kGenerousWaitMs));
    SigtermEndsItInOrder();
}

} // namespace
