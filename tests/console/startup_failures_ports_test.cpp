// Start-up failures told with their cause on stderr, beside the boxes and
// modes start-up has always had: the embedded database that did not open
// (with the file and SQLite's reason), a missing velto.db, and a settings
// file that cannot be written; and a headless start without its UDP port,
// which ends as failed.
#include "support/server_fixture.h"
#include "support/server_process.h"
#include "support/stderr_capture.h"

#include "platform/gbk.h"

#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTest>
#include <csignal>
#include <functional>
#include <unistd.h>

class StartupFailureTest;

struct DatabaseFailure {
    const char *name;
    std::function<void(StartupFailureTest &)> prepare;
    StartMode mode;
    const char *box;  // GBK, as the program shows it; empty when none
    const char *line; // on stderr; %D stands for the data directory
    friend void PrintTo(const DatabaseFailure &c, std::ostream *os) { *os << c.name; }
};

class StartupFailureTest : public ServerTest, public ::testing::WithParamInterface<DatabaseFailure> {
public:
    void WriteFile(const QString &name, const QByteArray &bytes)
    {
        QFile file(Path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    void InstallBackup() { InstallSeed("velto.bak"); }
    void CutSeedShort()
    {
        InstallSeed("velto.db");
        QFile file(Path(QStringLiteral("velto.db")));
        ASSERT_TRUE(file.resize(file.size() / 2));
    }
    void MakeDirectoryReadOnly()
    {
        InstallSeed("velto.db");
        QFile::setPermissions(Path(), QFile::ReadOwner | QFile::ExeOwner);
        m_readOnly = true;
    }

protected:
    void TearDown() override
    {
        ServerTest::TearDown();
        if (m_readOnly)
            QFile::setPermissions(Path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    bool m_readOnly = false;
};

TEST_P(StartupFailureTest, DatabaseThatDidNotOpenIsNamedOnStderr)
{
    const DatabaseFailure &c = GetParam();
    c.prepare(*this);
    if (m_readOnly && ::access(PathStd().c_str(), W_OK) == 0)
        GTEST_SKIP() << "this user writes a read-only folder (root)";
    StderrCapture capture;
    CKelvorDlg &server = Start();
    const std::string err = capture.Stop();
    EXPECT_EQ(server.Mode(), c.mode);
    EXPECT_EQ(m_boxes.Texts(),
              *c.box ? std::vector<std::string>{platform::Utf8FromGbk(c.box)} : std::vector<std::string>{});
    std::string line = c.line;
    line.replace(line.find("%D"), 2, PathStd());
    EXPECT_NE(err.find(line + "\n"), std::string::npos) << "wanted: " << line << "\nstderr:\n" << err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartupFailureTest,
    ::testing::Values(
        DatabaseFailure{"NotADatabase",
                        [](StartupFailureTest &t) { t.WriteFile(QStringLiteral("velto.db"), QByteArray(20000, 'x')); },
                        StartMode::WithoutDatabase, "数据库服务器无响应，请检查SQLServer服务器是否就绪。",
                        "kelvor-server: the database did not open: [SQLite]%D/velto.db: file is not a database"},
        DatabaseFailure{"CutShort", [](StartupFailureTest &t) { t.CutSeedShort(); }, StartMode::WithoutDatabase,
                        "数据库服务器无响应，请检查SQLServer服务器是否就绪。",
                        "kelvor-server: the database did not open: [SQLite]%D/velto.db: database disk image is "
                        "malformed"},
        DatabaseFailure{"ReadOnlyDirectory", [](StartupFailureTest &t) { t.MakeDirectoryReadOnly(); },
                        StartMode::WithoutDatabase, "数据库服务器无响应，请检查SQLServer服务器是否就绪。",
                        "kelvor-server: the database did not open: [SQLite]The data directory %D is not writable: "
                        "velto.db needs velto.db-wal and velto.db-shm beside it."},
        // No display answers the administrator prompt here: bare mode.
        DatabaseFailure{"MissingWithBackup", [](StartupFailureTest &t) { t.InstallBackup(); },
                        StartMode::Bare, "",
                        "kelvor-server: the database login was refused: [SQLite]Cannot open database \"velto\" "
                        "requested by the login. The login failed. (%D/velto.db does not exist; velto.bak beside "
                        "it can be copied to velto.db, or restored at the administrator login)"},
        DatabaseFailure{"MissingWithoutBackup", [](StartupFailureTest &) {}, StartMode::Bare, "",
                        "kelvor-server: the database login was refused: [SQLite]Cannot open database \"velto\" "
                        "requested by the login. The login failed. (%D/velto.db does not exist; nor does velto.bak "
                        "to restore it from)"}),
    [](const auto &info) { return std::string(info.param.name); });

class RepairCauseTest : public ServerTest {};

// The administrator logs in at the first start, and nothing is there to
// restore: the box, and on stderr where it was looked for.
TEST_F(RepairCauseTest, MissingBackupIsNamedWithTheFolder)
{
    m_server = std::make_unique<CKelvorDlg>(m_ports);
    m_server->m_askAdminPassword = [](std::string &password) {
        password = "secret";
        return true;
    };
    StderrCapture capture;
    m_server->OnInitDialog();
    const std::string err = capture.Stop();
    EXPECT_EQ(m_server->Mode(), StartMode::Bare);
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{platform::Utf8FromGbk("未找到数据库文件velto.bak")});
    EXPECT_NE(err.find("kelvor-server: the first-start repair has nothing to restore: no velto.bak in " + PathStd() +
                       "\n"),
              std::string::npos)
        << err;
}

class SettingsFailureTest : public ServerTest {};

// A service account whose home cannot be written: the settings are not
// written back, and the file is named.
TEST_F(SettingsFailureTest, SettingsThatCannotBeWrittenAreNamed)
{
    InstallSeed("velto.db");
    QFile blocker(Path(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, Path(QStringLiteral("blocker/profile")));
    Start();
    StderrCapture capture;
    Stop();
    const std::string err = capture.Stop();
    const std::string file = PathStd(QStringLiteral("blocker/profile/")) +
                             platform::Utf8FromGbk("应用程序向导生成的本地应用程序") + "/kelvor-server.conf";
    EXPECT_NE(err.find("kelvor-server: settings not saved to " + file + ": the file or its folder cannot be written\n"),
              std::string::npos)
        << err;
}

// The real executable, headless, in a network namespace of its own.
class StartFailureProcessTest : public TempDirTest {
protected:
    void TearDown() override
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
        QFile::setPermissions(Path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QProcess m_process;
};

// The read-only folder once more, in a user namespace that maps no user,
// where root too is refused the write.
TEST_F(StartFailureProcessTest, ReadOnlyDirectoryIsNamed)
{
    if (!HasNetworkNamespaces(false))
        GTEST_SKIP() << "unshare --user --net is not allowed here";
    ASSERT_TRUE(QFile::copy(QStringLiteral(KELVOR_SEED_DB), Path(QStringLiteral("velto.db"))));
    QFile::setPermissions(Path(), QFile::ReadOwner | QFile::ExeOwner);
    StartServerProcess(m_process, Path(), true, {}, false);
    ASSERT_TRUE(m_process.waitForStarted());
    QByteArray err;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            err += m_process.readAllStandardError();
            return err.contains("kelvor-server started: mode without database");
        },
        10000))
        << err.constData();
    EXPECT_TRUE(err.contains("kelvor-server: the database did not open: [SQLite]The data directory " +
                             Path().toUtf8() + " is not writable: velto.db needs velto.db-wal and velto.db-shm "
                             "beside it.\n"))
        << err.constData();
    // No lock file can be made there; start-up goes on without one.
    EXPECT_TRUE(err.contains("kelvor-server: no single-server lock " + Path().toUtf8() +
                             "/velto.lock: Permission denied\n"))
        << err.constData();
    ASSERT_EQ(::kill(static_cast<pid_t>(m_process.processId()), SIGTERM), 0);
    ASSERT_TRUE(m_process.waitForFinished(10000));
    EXPECT_EQ(m_process.exitCode(), 0);
}

// Without a display nobody sees the box for a UDP port that is taken, and a
// server without it reaches no room unit and no workstation: the real
// executable tells the cause and ends with status 1, for the service manager
// to start it again. The port is taken inside the server's own network
// namespace, by a socket it inherits.
TEST_F(StartFailureProcessTest, HeadlessStartWithTheUdpPortTakenFails)
{
    if (!HasNetworkNamespaces())
        GTEST_SKIP() << "unshare --net --map-root-user is not allowed here";
    ASSERT_TRUE(QFile::copy(QStringLiteral(KELVOR_SEED_DB), Path(QStringLiteral("velto.db"))));
    QFile(Path(QStringLiteral("velto.db"))).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    StartServerProcess(m_process, Path(), true, {}, true,
                       {QStringLiteral(KELVOR_PORT_HOLDER_EXE), QStringLiteral("--udp"), QStringLiteral("3338")});
    ASSERT_TRUE(m_process.waitForStarted());
    // Well within the bound: the old behaviour was to run on until stopped.
    ASSERT_TRUE(m_process.waitForFinished(20000)) << m_process.readAllStandardError().constData();
    const QByteArray err = m_process.readAllStandardError();
    EXPECT_EQ(m_process.exitStatus(), QProcess::NormalExit) << err.constData();
    EXPECT_EQ(m_process.exitCode(), 1) << err.constData();
    EXPECT_TRUE(err.contains("UDP port 3338: Address already in use\n")) << err.constData();
    EXPECT_TRUE(err.contains("kelvor-server: " + platform::Utf8FromGbk("创建UDP SOCKET失败！") + "\n"))
        << err.constData();
    EXPECT_TRUE(err.contains("kelvor-server: no room unit and no workstation can reach a server without UDP port "
                             "3338; this one exits with status 1\n"))
        << err.constData();
    EXPECT_FALSE(err.contains("kelvor-server started")) << err.constData();
    // Nothing of a run to write back.
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("config"))));
}
