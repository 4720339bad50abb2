// The real executable run as a service: no display (offscreen), its own
// working directory and settings folder. Its event log and a start-up line
// come on stderr; SIGTERM, SIGINT and SIGHUP shut it down in order (poller
// joined, databases closed, settings written back) with exit status 0.
// The program always serves the installation's ports, so it runs in a network
// namespace of its own (unshare, as an unprivileged user too), beside any
// other test and any server running on this machine.
#include "support/server_process.h"
#include "support/temp_dir.h"

#include "platform/gbk.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
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
    QString SettingsFile() const { return ServerSettingsFile(Path()); }

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

// Reports already queued when the stop comes are handled before it: 2,000
// room units answer a poll at once, SIGTERM follows the last report, and
// every door that opened has its event row.
class HeadlessShutdownTest : public HeadlessProcessTest {};

TEST_F(HeadlessShutdownTest, SigtermRightAfterABurstHandlesEveryQueuedReport)
{
    if (!HasNetworkNamespaces())
        GTEST_SKIP() << "unshare --net --map-root-user is not allowed here";
    constexpr int kFloors = 40, kRoomsPerFloor = 50;
    QFile conf(Path(QStringLiteral("hotel.conf")));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly | QIODevice::Truncate));
    conf.write("[Hotel]\nName=Test Hotel\n[Layout]\n");
    for (int floor = 1; floor <= kFloors; ++floor)
        conf.write(QStringLiteral("item%1=1 %1 %2\n").arg(floor).arg(kRoomsPerFloor).toUtf8());
    conf.close();
    Start();
    ASSERT_TRUE(WaitForLine(QRegularExpression(QStringLiteral("kelvor-server started: mode full, .*, 2000 rooms, "
                                                              "serving UDP 3338"))))
        << m_stderr.constData();

    // The room units send from inside the server's network namespace. Its
    // user namespace is entered for the right to enter the network one;
    // credentials are kept, since a namespace that maps one user allows no
    // setgroups (as under the suite's own user namespace).
    const QString pid = QString::number(m_process.processId());
    const QStringList enter{QStringLiteral("--target"), pid, QStringLiteral("--user"), QStringLiteral("--net"),
                            QStringLiteral("--preserve-credentials")};
    QProcess probe;
    probe.start(QStringLiteral("nsenter"), enter + QStringList{QStringLiteral("true")});
    if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        GTEST_SKIP() << "the server's network namespace cannot be entered here: "
                     << (probe.error() == QProcess::FailedToStart ? probe.errorString().toStdString()
                                                                   : probe.readAllStandardError().trimmed().toStdString());
    QProcess units;
    units.start(QStringLiteral("nsenter"),
                enter + QStringList{QStringLiteral(KELVOR_REPORT_BURST_EXE), QStringLiteral("3338"),
                                    QString::number(kFloors), QString::number(kRoomsPerFloor), pid});
    ASSERT_TRUE(units.waitForFinished(30000)) << units.errorString().toStdString();
    const QString said = QString::fromUtf8(units.readAllStandardOutput()).trimmed();
    ASSERT_EQ(units.exitCode(), 0) << units.readAllStandardError().constData();
    const QRegularExpressionMatch counts = QRegularExpression(QStringLiteral("^sent (\\d+) dropped (\\d+)$")).match(said);
    ASSERT_TRUE(counts.hasMatch()) << said.toStdString();
    ASSERT_EQ(counts.captured(1).toInt(), kFloors * kRoomsPerFloor);

    ASSERT_TRUE(m_process.waitForFinished(30000));
    m_stderr += m_process.readAllStandardError();
    EXPECT_EQ(m_process.exitStatus(), QProcess::NormalExit) << m_stderr.constData();
    EXPECT_EQ(m_process.exitCode(), 0) << m_stderr.constData();
    if (counts.captured(2).toInt() > 0)
        GTEST_SKIP() << "the kernel dropped " << counts.captured(2).toStdString()
                     << " reports for a full receive buffer (net.core.rmem_max is too small here)";

    int doorRows = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("burst"));
        db.setDatabaseName(Path(QStringLiteral("velto.db")));
        ASSERT_TRUE(db.open());
        QSqlQuery rows(QStringLiteral("select count(*) from event_msg_list where MSG_TYPE = 11"), db);
        if (rows.next())
            doorRows = rows.value(0).toInt();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("burst"));
    EXPECT_EQ(doorRows, kFloors * kRoomsPerFloor) << m_stderr.constData();
}

INSTANTIATE_TEST_SUITE_P(Signals, HeadlessProcessTest,
                         ::testing::Values(SignalCase{"SIGTERM", SIGTERM}, SignalCase{"SIGINT", SIGINT},
                                           SignalCase{"SIGHUP", SIGHUP}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
