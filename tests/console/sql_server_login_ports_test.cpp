// The SQL Server engine through FreeTDS registered as "SQL Server", against
// a server that accepts the connection and never answers: start-up gives up
// within the login time-out and a little more, goes on without a database
// with the cause on stderr, and a shutdown signal ends it in order, also one
// that comes during the login wait, at once. The server runs in a network
// namespace of its own, with the silent server's port listening there
// before it starts.
#include "support/server_process.h"
#include "support/temp_dir.h"

#include "console/shutdown_signals.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTest>
#include <csignal>

namespace {

constexpr int kLoginTimeout = 2; // seconds
constexpr int kLongLoginTimeout = 600;
// The silent server's port, in the server's own network namespace.
constexpr uint16_t kSilentPort = 1433;
// Start-up must be through well before this: the login time-out, the grace
// the driver gets beyond it, and much to spare for a busy machine.
constexpr int kGenerousWaitMs = (kLoginTimeout + 2 + 8) * 1000;

struct LoginCase {
    const char *name;
    QStringList env; // besides TDSPORT
    const char *line;
    friend void PrintTo(const LoginCase &c, std::ostream *os) { *os << c.name; }
};

class SqlServerProcessTest : public TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        if (!HasNetworkNamespaces())
            GTEST_SKIP() << "unshare --net --map-root-user is not allowed here";
        // tdsodbc registers its driver as [FreeTDS]; "SQL Server" is a copy.
        const QString driver =
            QSettings(QStringLiteral("/etc/odbcinst.ini"), QSettings::IniFormat).value(QStringLiteral("FreeTDS/Driver")).toString();
        if (driver.isEmpty())
            GTEST_SKIP() << "FreeTDS (tdsodbc) is not installed";
        ASSERT_TRUE(QDir().mkpath(Path(QStringLiteral("odbc"))));
        Write(QStringLiteral("odbc/odbcinst.ini"), "[SQL Server]\nDriver=" + driver.toUtf8() + "\n");
        Write(QStringLiteral("odbc/odbc.ini"), "");
        Write(QStringLiteral("hotel.conf"), "[Layout]\nitem1=1 2 10 0\n");
        QSettings settings(SettingsFile(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("Database Configuration/DATABASE ENGINE"), 1);
        settings.setValue(QStringLiteral("Database Configuration/LOGIN TIMEOUT"), kLoginTimeout);
        settings.sync();
    }
    void TearDown() override
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    QString SettingsFile() const { return ServerSettingsFile(Path()); }
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
        StartServerProcess(m_process, Path(), true,
                           QStringList{QStringLiteral("ODBCSYSINI=") + Path(QStringLiteral("odbc")),
                                       QStringLiteral("TDSPORT=%1").arg(kSilentPort)} +
                               env,
                           true,
                           {QStringLiteral(KELVOR_PORT_HOLDER_EXE), QStringLiteral("--tcp-listen"),
                            QString::number(kSilentPort)});
        ASSERT_TRUE(m_process.waitForStarted());
    }
    // The driver has reached the silent server: besides the listening socket
    // (state 0A) its port has a connection in the server's namespace, which
    // the kernel accepted into the backlog (established, or closed by the
    // driver since).
    bool SilentServerReached() const
    {
        QFile tcp(QStringLiteral("/proc/%1/net/tcp").arg(m_process.processId()));
        if (!tcp.open(QIODevice::ReadOnly))
            return false;
        const QByteArray local = ":" + QByteArray::number(kSilentPort, 16).toUpper().rightJustified(4, '0');
        tcp.readLine(); // the heading
        for (QByteArray line = tcp.readLine(); !line.isEmpty(); line = tcp.readLine()) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() > 3 && fields[1].endsWith(local) && fields[3] != "0A")
                return true;
        }
        return false;
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

    QProcess m_process;
    QByteArray m_stderr;
};

class SqlServerLoginTest : public SqlServerProcessTest, public ::testing::WithParamInterface<LoginCase> {};

TEST_P(SqlServerLoginTest, SilentServerGivesTheModeWithoutDatabaseInTime)
{
    Start(GetParam().env);
    ASSERT_TRUE(WaitForStderr("kelvor-server started: mode without database, engine SQL Server through ODBC",
                              kGenerousWaitMs))
        << m_stderr.constData();
    EXPECT_TRUE(SilentServerReached()) << "the driver never reached the server";
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

// A signal during the login wait ends the server at once, not when the wait
// would have ended: the login time-out here is far longer than the test
// waits, and the driver left to pick its protocol never gives up on its own.
class SqlServerLoginSignalTest : public SqlServerProcessTest, public ::testing::WithParamInterface<int> {};

TEST_P(SqlServerLoginSignalTest, ASignalDuringTheLoginWaitEndsTheServerInOrder)
{
    const int signalNumber = GetParam();
    QSettings(SettingsFile(), QSettings::IniFormat)
        .setValue(QStringLiteral("Database Configuration/LOGIN TIMEOUT"), kLongLoginTimeout);
    Start({});
    ASSERT_TRUE(QTest::qWaitFor([&] { return SilentServerReached(); }, kGenerousWaitMs)) << m_stderr.constData();
    m_stderr += m_process.readAllStandardError();
    const qsizetype beforeSignal = m_stderr.size();
    ASSERT_EQ(::kill(static_cast<pid_t>(m_process.processId()), signalNumber), 0);
    ASSERT_TRUE(m_process.waitForFinished(kGenerousWaitMs)) << m_stderr.constData();
    m_stderr += m_process.readAllStandardError();
    EXPECT_EQ(m_process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_process.exitCode(), 0) << m_stderr.constData();
    const QByteArray after = m_stderr.mid(beforeSignal);
    EXPECT_TRUE(after.contains(QByteArray("kelvor-server: ") + ShutdownSignals::Name(signalNumber) +
                               " received, shutting down\n"))
        << m_stderr.constData();
    EXPECT_FALSE(m_stderr.contains("kelvor-server started")) << m_stderr.constData();
    // Written back only by an orderly shutdown.
    QSettings written(SettingsFile(), QSettings::IniFormat);
    EXPECT_EQ(written.value(QStringLiteral("Network Configuration/BROADCAST INTERVAL")).toInt(), 10);
    EXPECT_EQ(written.value(QStringLiteral("Database Configuration/LOGIN TIMEOUT")).toInt(), kLongLoginTimeout);
}

INSTANTIATE_TEST_SUITE_P(Signals, SqlServerLoginSignalTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto &info) { return std::string(ShutdownSignals::Name(info.param)); });

} // namespace
