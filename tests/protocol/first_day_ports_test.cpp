// A new installation made usable without a display: the sqlite3 statements
// the README gives for the first workstation user, a group's user and the
// administrator, run by the sqlite3 shell against velto.db while the server
// runs, then logged in with from a workstation; and the README's backup of
// the running database.
#include "workstation_fixture.h"

#include "platform/gbk.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace {

// As in the README, byte for byte (UTF-8, as typed into the shell).
const char8_t kFirstUser[] =
    u8"INSERT INTO user_password (USER_NAME, PASSWORD, GROUP_ID) VALUES ('frontdesk', 'change-me', 0);";
const char8_t kGroupUser[] =
    u8"INSERT INTO user_group (GROUP_TYPE, GROUP_NAME, CANVIEWROOMSTATE, CANVIEWFLOOR) VALUES (1, 'Front desk', 1, 1);\n"
    u8"INSERT INTO user_password (USER_NAME, PASSWORD, GROUP_ID) VALUES ('前台', 'change-me', 1);";
QString Utf8(const char8_t *text) { return QString::fromUtf8(reinterpret_cast<const char *>(text)); }

// The administrator's password, set as the "设置管理员" dialog sets it: the
// row made when it is missing, every right granted.
QString Administrator(const char *password)
{
    return QString::fromUtf8(
               "UPDATE user_password SET PASSWORD = '%1',\n"
               "  CANVIEWROOMSTATE = 1, CANCTRLROOMFENGJI = 1, CANCTRLROOMSTATE = 1, CANLISTMSG = 1,\n"
               "  CANVIEWFLOOR = 1, CANUSERMAN = 1, CANVIEWLOG = 1, CANVIEWREALSTATE = 1,\n"
               "  CANPRINT = 1, CANVIEWREPORT = 1, CANSYSTEMADMIN = 1, CANSCHEMESET = 1\n"
               "  WHERE USER_NAME = 'admin';\n"
               "INSERT INTO user_password (USER_NAME, PASSWORD,\n"
               "  CANVIEWROOMSTATE, CANCTRLROOMFENGJI, CANCTRLROOMSTATE, CANLISTMSG,\n"
               "  CANVIEWFLOOR, CANUSERMAN, CANVIEWLOG, CANVIEWREALSTATE,\n"
               "  CANPRINT, CANVIEWREPORT, CANSYSTEMADMIN, CANSCHEMESET)\n"
               "  SELECT 'admin', '%1', 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1\n"
               "  WHERE NOT EXISTS (SELECT 1 FROM user_password WHERE USER_NAME = 'admin');")
        .arg(QString::fromUtf8(password));
}

} // namespace

class FirstDayTest : public WorkstationTest {
protected:
    // The sqlite3 shell on the running server's velto.db, as an operator
    // types it (text in UTF-8); its stderr, empty when it went through.
    std::string Sqlite3(const QStringList &arguments)
    {
        QProcess shell;
        shell.setWorkingDirectory(Path());
        shell.start(QStringLiteral("sqlite3"),
                    QStringList{QStringLiteral("-bail"), QStringLiteral("-cmd"), QStringLiteral(".timeout 5000"),
                                QStringLiteral("velto.db")} +
                        arguments);
        EXPECT_TRUE(shell.waitForFinished(20000));
        const std::string err = shell.readAllStandardError().toStdString();
        EXPECT_EQ(shell.exitCode(), 0) << err;
        return err;
    }
    // Reply code of a login, then the twelve rights it granted.
    std::pair<int, QByteArray> LoginAs(const std::string &gbkName, const std::string &password)
    {
        const auto replies = Login(Workstation(), gbkName, password);
        if (replies.empty())
            return {-1, {}};
        return {ReplyCode(replies[0]), replies[0].mid(183, 12)};
    }
};

TEST_F(FirstDayTest, WorkstationUsersMadeWithSqlite3LogIn)
{
    EXPECT_EQ(LoginAs("frontdesk", "change-me").first, 0x83) << "the seed has no user";
    EXPECT_EQ(Sqlite3({Utf8(kFirstUser)}), "");
    EXPECT_EQ(Sqlite3({Utf8(kGroupUser)}), "");

    EXPECT_EQ(LoginAs("frontdesk", "change-me"), std::make_pair(0x82, QByteArray(12, '\x01')));
    EXPECT_EQ(LoginAs("frontdesk", "change-mE").first, 0x83);
    // The workstation sends GBK; the shell wrote UTF-8: the same name.
    QByteArray rights(12, '\0');
    rights[0] = 1; // CANVIEWROOMSTATE
    rights[4] = 1; // CANVIEWFLOOR
    EXPECT_EQ(LoginAs("前台", "change-me"), std::make_pair(0x82, rights));
}

TEST_F(FirstDayTest, AdministratorSetWithSqlite3LikeTheDialog)
{
    // Made when missing, then its password changed by the same statements.
    EXPECT_EQ(Sqlite3({Administrator("first-secret")}), "");
    EXPECT_EQ(LoginAs("admin", "first-secret"), std::make_pair(0x82, QByteArray(12, '\x01')));
    SeedExec("update user_password set CANPRINT = 0, CANSCHEMESET = 0 where USER_NAME = 'admin'");
    EXPECT_EQ(Sqlite3({Administrator("second-secret")}), "");
    EXPECT_EQ(QueryInt("select count(*) as v from user_password where USER_NAME = 'admin'"), 1);
    EXPECT_EQ(QueryInt("select CANPRINT + CANSCHEMESET + GROUP_ID * 100 as v from user_password "
                       "where USER_NAME = 'admin'"),
              2);
    EXPECT_EQ(LoginAs("admin", "first-secret").first, 0x83);
    EXPECT_EQ(LoginAs("Admin", "second-secret").first, 0x82);
}

TEST_F(FirstDayTest, BackupOfTheRunningDatabase)
{
    EXPECT_EQ(Sqlite3({Utf8(kFirstUser)}), "");
    ASSERT_EQ(LoginAs("frontdesk", "change-me").first, 0x82);
    // What the server has told as done is committed at its next idle moment.
    Pass();
    EXPECT_EQ(Sqlite3({QStringLiteral(".backup velto-copy.db")}), "");
    ASSERT_EQ(LoginAs("frontdesk", "change-me").first, 0x82) << "the server serves on";

    QProcess check;
    check.start(QStringLiteral("sqlite3"),
                {Path(QStringLiteral("velto-copy.db")),
                 QStringLiteral("PRAGMA integrity_check; SELECT count(*) FROM user_password; "
                                "SELECT count(*) FROM system_run_log WHERE MSG_CONTENT LIKE 'frontdesk%';")});
    ASSERT_TRUE(check.waitForFinished(20000));
    EXPECT_EQ(check.readAllStandardOutput(), QByteArray("ok\n1\n1\n")) << check.readAllStandardError().constData();
}

// The settings file as the README shows it, written by hand before a first
// start: the addresses as HIWORD and LOWORD, the blanks of the names as %20.
class FirstDaySettingsTest : public ServerTest {};

TEST_F(FirstDaySettingsTest, HandWrittenSettingsFileIsRead)
{
    InstallSeed("velto.db");
    const QString folder = Path(QStringLiteral("profile/") + platform::QStringFromGbk("应用程序向导生成的本地应用程序"));
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile file(folder + QStringLiteral("/kelvor-server.conf"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Network%20Configuration]\n"
               "RCU%20IP%20ADDRESS%20HIWORD=2580\n"
               "RCU%20IP%20ADDRESS%20LOWORD=65535\n"
               "HMS%20IP%20ADDRESS%20HIWORD=2580\n"
               "HMS%20IP%20ADDRESS%20LOWORD=5\n"
               "HMS%20UDP%20PORT%20NUM=1500\n"
               "GATEWAY%20IP%20ADDRESS%20HIWORD=2580\n"
               "GATEWAY%20IP%20ADDRESS%20LOWORD=1\n");
    file.close();
    CKelvorDlg &server = Start();
    EXPECT_EQ(server.m_rcuBroadcastIp, 0x0A14FFFFu); // 10.20.255.255
    EXPECT_EQ(server.m_hmsIp, 0x0A140005u);          // 10.20.0.5
    EXPECT_EQ(server.m_hmsPort, 1500);
    EXPECT_EQ(server.m_gatewayAddr, 0x0A140001u); // 10.20.0.1
}
