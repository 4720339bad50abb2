// The real executable run as a service: no display (offscreen), its own
// working directory and settings folder. Its event log and a start-up line
// come on stderr; SIGTERM, SIGINT and SIGHUP shut it down in order (poller
// joined, databases closed, settings written back) with exit status 0.
// The program always serves the installation's ports, so it runs in a network
// namespace of its own (unshare, as an unprivileged user too), beside any
// other test and any server running on this machine.
#include "support/temp_dir.h"

#include "platform/gbk.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>
#include <csignal>

namespace {

struct SignalCase {
    const char *name;
    int number;
    friend void PrintTo(const SignalCase &c, std::ostream *os) { *os << c.name; }
};

class HeadlessProcessTest : public TempDirTest, public ::testing::WithParamInterface<SignalCase> {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        ASSERT_TRUE(QFile::copy(QStringLiteral(KELVOR_SEED_DB), Path(QStringLiteral("velto.db"))));
        QFile(Path(QStringLiteral("velto.db"))).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        QFile conf(Path(QStringLiteral("hotel.conf")));
        ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
        // The unknown key gives an event log line at start-up.
        conf.write("[Hotel]\nName=Test Hotel\nPhone=123\n[Layout]\nitem1=1 2 10 0\nitem2=2 1 3\n");
        // PMS type 2: the room-state poller runs and must be joined.
        QSettings(SettingsFile(), QSettings::IniFormat)
            .setValue(QStringLiteral("Interface Configuration/HMS INTERFACE"), 2);
    }
    void TearDown() override
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    static bool HasNetworkNamespaces()
    {
        return QProcess::execute(QStringLiteral("unshare"),
                                 {QStringLiteral("--net"), QStringLiteral("--map-root-user"), QStringLiteral("true")}) == 0;
    }
    void Start()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), Path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), Path(QStringLiteral("config")));
        // As under su or cron: no session's runtime directory.
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        m_process.setProcessEnvironment(env);
        m_process.setWorkingDirectory(Path());
        // unshare execs the server in place: the process is the server.
        m_process.setProgram(QStringLiteral("unshare"));
        m_process.setArguments({QStringLiteral("--net"), QStringLiteral("--map-root-user"),
                                QStringLiteral(KELVOR_SERVER_EXE)});
        m_process.start();
        ASSERT_TRUE(m_process.waitForStarted());
    }
    // Waits until stderr holds a line that matches; the whole stderr so far.
    bool WaitForLine(const QRegularExpression &line)
    {
        return QTest::qWaitFor(
            [&] {
                m_stderr += m_process.readAllStandardError();
                return line.match(QString::fromUtf8(m_stderr)).hasMatch();
            },
            10000);
    }
    QString SettingsFile() const
    {
        return Path(QStringLiteral("config/") + platform::QStringFromGbk("应用程序向导生成的本地应用程序") +
                    QStringLiteral("/kelvor-server.conf"));
    }

    QProcess m_process;
    QByteArray m_stderr;
};

const QString kStamp = QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d  ");

TEST_P(HeadlessProcessTest, LogsToStderrAndShutsDownInOrderOnASignal)
{
    if (!HasNetworkNamespaces())
        GTEST_SKIP() << "unshare --net --map-root-user is not allowed here";
    Start();
    ASSERT_TRUE(WaitForLine(QRegularExpression(
        kStamp + QStringLiteral("kelvor-server started: mode full, engine embedded SQLite in .+, 13 rooms, "
                                "serving UDP 3338, TCP 40000, TCP 9766$"),
        QRegularExpression::MultilineOption)))
        << m_stderr.constData();
    EXPECT_FALSE(m_stderr.contains("XDG_RUNTIME_DIR")) << m_stderr.constData();
    EXPECT_TRUE(QRegularExpression(kStamp + QStringLiteral(".*") +
                                       platform::QStringFromGbk("\\[Hotel\\] Phone: 未知的键，已忽略$"),
                                   QRegularExpression::MultilineOption)
                    .match(QString::fromUtf8(m_stderr))
                    .hasMatch())
        << m_stderr.constData();
    EXPECT_FALSE(QSettings(SettingsFile(), QSettings::IniFormat)
                     .contains(QStringLiteral("Network Configuration/BROADCAST INTERVAL")));

    ASSERT_EQ(::kill(static_cast<pid_t>(m_process.processId()), GetParam().number), 0);
    ASSERT_TRUE(m_process.waitForFinished(10000));
    m_stderr += m_process.readAllStandardError();
    EXPECT_EQ(m_process.exitStatus(), QProcess::NormalExit) << m_stderr.constData();
    EXPECT_EQ(m_process.exitCode(), 0) << m_stderr.constData();
    EXPECT_TRUE(m_stderr.contains(QByteArray(GetParam().name) + " received, shutting down")) << m_stderr.constData();

    // Both databases closed: SQLite removes a WAL file with the last connection.
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("velto.db-wal"))));
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("tempdb.db-wal"))));
    QSettings written(SettingsFile(), QSettings::IniFormat);
    EXPECT_EQ(written.value(QStringLiteral("Network Configuration/BROADCAST INTERVAL")).toInt(), 10);
    EXPECT_EQ(written.value(QStringLiteral("Network Configuration/RCU IP ADDRESS LOWORD")).toInt(), 0xFFFF);
}

INSTANTIATE_TEST_SUITE_P(Signals, HeadlessProcessTest,
                         ::testing::Values(SignalCase{"SIGTERM", SIGTERM}, SignalCase{"SIGINT", SIGINT},
                                           SignalCase{"SIGHUP", SIGHUP}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
