// The operator's commands on a running server: the frames of refresh, TEST
// and the two room queries with their log lines, the database login, and
// backup and restore through the database layer.
#include "support/server_fixture.h"
#include "support/datagrams.h"

#include "database/ado_recordset.h"
#include "platform/gbk.h"

#include <QFile>
#include <QTest>
#include <QUdpSocket>
#include <cstring>

namespace {

std::string U(const char *gbk) { return platform::Utf8FromGbk(gbk); }

std::string Field(CADODatabase &db, const std::string &sql, const char *field)
{
    CADOMyRecordset rs(&db);
    EXPECT_TRUE(rs.Exec(sql)) << sql << "\n" << rs.GetLastErrorText();
    return rs.GetRecordCount() ? rs.GetFieldString(field) : std::string("<none>");
}

QByteArray NextDatagram(QUdpSocket &socket) { return NextDatagram(socket, 2000); }

struct FrameFields {
    int code, control, answerWanted, build, floor, room;
};

FrameFields Fields(const QByteArray &f)
{
    const auto *b = reinterpret_cast<const uint8_t *>(f.constData());
    return {b[15] << 8 | b[16], b[14], b[17], b[18], b[19], b[20]};
}

} // namespace

class OperatorCommandsTest : public ServerTest {
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        InstallSeed("velto.db");
        SetRcuBroadcastToLoopback();
    }
    std::string LastLog()
    {
        const QStringList lines = m_server->LogModel().stringList();
        // Without the "[%H:%M]  " in front.
        return lines.isEmpty() ? std::string() : lines.last().mid(9).toStdString();
    }
};

TEST_F(OperatorCommandsTest, RefreshGoesToTheBroadcastAddressWithoutALogLine)
{
    CKelvorDlg &server = Start();
    const int lines = static_cast<int>(server.LogModel().rowCount());
    server.OnBtnRefreshState();
    const QByteArray frame = NextDatagram(m_roomUnits);
    ASSERT_EQ(frame.size(), 24);
    const FrameFields f = Fields(frame);
    EXPECT_EQ(f.code, 0x0001);
    EXPECT_EQ(f.answerWanted, 0);
    EXPECT_EQ(f.build, 255);
    EXPECT_EQ(f.floor, 255);
    EXPECT_EQ(f.room, 255);
    EXPECT_EQ(server.LogModel().rowCount(), lines);

    server.OnBtnSendTime();
    const QByteArray time = NextDatagram(m_roomUnits);
    ASSERT_EQ(time.size(), 36);
    EXPECT_EQ(Fields(time).code, 0x0004);
}

TEST_F(OperatorCommandsTest, TestCommandGoesToRoom201AtItsLearnedPort)
{
    CKelvorDlg &server = Start();
    QUdpSocket unit;
    ASSERT_TRUE(unit.bind(QHostAddress::LocalHost, 0));
    CRoom *room = server.m_hotel.FindRoom(1, 2, 1);
    ASSERT_NE(room, nullptr);

    // Silent so far: port 0, the send fails, the line is written all the same.
    server.OnBtnTest();
    EXPECT_EQ(LastLog(), U("<foxhis>接口软件向1|201房间发送指令"));
    EXPECT_EQ(server.m_rcuSendCount, 0);

    room->m_rcuIp = 0x7F000001;
    room->m_rcuPort = unit.localPort();
    server.OnBtnTest();
    const QByteArray frame = NextDatagram(unit);
    ASSERT_EQ(frame.size(), 24);
    const FrameFields f = Fields(frame);
    EXPECT_EQ(f.code, 0x0616);
    EXPECT_EQ(f.control, 3);
    EXPECT_EQ(f.build, 1);
    EXPECT_EQ(f.floor, 2);
    EXPECT_EQ(f.room, 1);
}

TEST_F(OperatorCommandsTest, TestWithoutRoom201SendsAndLogsNothing)
{
    WriteHotelConf("[Hotel]\nName=Small\n[Layout]\nitem1=3 1 2\n");
    CKelvorDlg &server = Start();
    const int lines = static_cast<int>(server.LogModel().rowCount());
    server.OnBtnTest();
    EXPECT_EQ(server.LogModel().rowCount(), lines);
    EXPECT_TRUE(NextDatagram(m_roomUnits, 200).isEmpty());
}

TEST_F(OperatorCommandsTest, RoomQueriesGoToTheSelectedRoomOnly)
{
    CKelvorDlg &server = Start();
    CRoom *room = server.m_hotel.FindRoom(1, 2, 3);
    ASSERT_NE(room, nullptr);
    room->m_rcuIp = 0x7F000001;

    server.OnBtnGetHostTime(room);
    EXPECT_EQ(LastLog(), U("[发送] 向1|203房间发送命令(cmd:0x7)"));
    QByteArray frame = NextDatagram(m_roomUnits);
    ASSERT_EQ(frame.size(), 24);
    FrameFields f = Fields(frame);
    EXPECT_EQ(f.code, 0x0007);
    EXPECT_EQ(f.answerWanted, 1);
    EXPECT_EQ(f.build, 255);
    EXPECT_EQ(f.floor, 255);
    EXPECT_EQ(f.room, 255);

    server.OnBtnGetRoomState(room);
    EXPECT_EQ(LastLog(), U("[发送] 向1|203房间发送命令(cmd:0x1B)"));
    frame = NextDatagram(m_roomUnits);
    ASSERT_EQ(frame.size(), 24);
    f = Fields(frame);
    EXPECT_EQ(f.code, 0x001B);
    EXPECT_EQ(f.answerWanted, 0);

    // "所有房间" carries no room.
    const int lines = static_cast<int>(server.LogModel().rowCount());
    server.OnBtnGetRoomState(server.RoomList().front().room);
    server.OnBtnGetHostTime(nullptr);
    EXPECT_EQ(server.LogModel().rowCount(), lines);
    EXPECT_TRUE(NextDatagram(m_roomUnits, 200).isEmpty());
}

TEST_F(OperatorCommandsTest, DatabaseLoginOnlyReopensTheConnection)
{
    SeedExec("insert into event_msg_list(MSG_INDEX, MSG_TYPE) values(41, 1)");
    CKelvorDlg &server = Start();
    server.OnBtnLoginDb();
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{U("SQL SERVER服务器已经登录!")});

    m_boxes.Clear();
    server.m_db.Close();
    SeedExec("insert into event_msg_list(MSG_INDEX, MSG_TYPE) values(57, 1)");
    server.m_newEvent = 1;
    m_now += 3600;
    server.OnBtnLoginDb();
    EXPECT_TRUE(m_boxes.Texts().empty());
    ASSERT_TRUE(server.m_db.IsOpen());
    EXPECT_EQ(server.m_connectedSince, m_now);
    EXPECT_EQ(server.m_lastEventIndex, 57u);
    EXPECT_EQ(server.m_newEvent, 0);
    EXPECT_EQ(server.GetSysOption1(), "2");
    EXPECT_TRUE(server.GetStatusTexts().dbOpen);
}

TEST_F(OperatorCommandsTest, BackupNameIsTheLocalTime)
{
    CKelvorDlg &server = Start();
    struct tm local {};
    local.tm_year = 2016 - 1900;
    local.tm_mon = 4;
    local.tm_mday = 11;
    local.tm_hour = 9;
    local.tm_min = 30;
    local.tm_sec = 5;
    local.tm_isdst = -1;
    m_now = static_cast<int64_t>(mktime(&local));
    EXPECT_EQ(server.BackupFileName(), "velto20160511-093005.bak");
}

TEST_F(OperatorCommandsTest, RestoreAnsweredNoLeavesTheDataAndYesRestoresIt)
{
    CKelvorDlg &server = Start();
    const std::string backup = PathStd(QStringLiteral("it's a backup.bak"));
    server.BackupDatabase(backup);
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{U("数据库成功备份")});
    ASSERT_TRUE(QFile::exists(QString::fromStdString(backup)));

    SeedExec("insert into build_name(BUILD_NUM, BDNAME) values(7, 'After Backup')");
    SeedExec("insert into event_msg_list(MSG_INDEX, MSG_TYPE) values(99, 1)");
    server.m_lastEventIndex = 99;

    m_boxes.Clear();
    m_boxes.QueueAnswer(platform::MsgAnswer::No);
    server.RestoreDatabase(backup);
    ASSERT_EQ(m_boxes.Boxes().size(), 1u);
    EXPECT_EQ(m_boxes.Boxes()[0].text,
              U("警告：该操作将使数据库恢复到指定文件的备份状态，所有备份后的数据将丢失，是否继续操作？"));
    EXPECT_EQ(m_boxes.Boxes()[0].buttons, platform::MsgButtons::YesNo);
    EXPECT_EQ(Field(server.m_db, "select BDNAME from build_name where BUILD_NUM=7", "BDNAME"), "After Backup");

    m_boxes.Clear();
    m_boxes.QueueAnswer(platform::MsgAnswer::Yes);
    server.RestoreDatabase(backup);
    EXPECT_EQ(m_boxes.Texts().back(), U("数据库成功恢复"));
    EXPECT_EQ(Field(server.m_db, "select BDNAME from build_name where BUILD_NUM=7", "BDNAME"), "<none>");
    EXPECT_EQ(server.m_lastEventIndex, 0u);
    // The connection and its live-room table carry on.
    EXPECT_EQ(Field(server.m_db, "select count(*) as N from ##REALTIMEROOM", "N"), "13");
}

TEST_F(OperatorCommandsTest, ClosedDatabaseBacksUpAndRestoresNothing)
{
    CKelvorDlg &server = Start();
    server.m_db.Close();
    server.BackupDatabase(PathStd(QStringLiteral("x.bak")));
    server.RestoreDatabase(PathStd(QStringLiteral("x.bak")));
    EXPECT_TRUE(m_boxes.Texts().empty());
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("x.bak"))));
}

// A file that is no backup: the warning, then nothing, and the data stays.
TEST_F(OperatorCommandsTest, FailedRestoreShowsNothingAndKeepsTheData)
{
    CKelvorDlg &server = Start();
    SeedExec("insert into build_name(BUILD_NUM, BDNAME) values(7, 'Still Here')");
    QFile junk(Path(QStringLiteral("notes.bak")));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'x'));
    junk.close();
    m_boxes.QueueAnswer(platform::MsgAnswer::Yes);
    server.RestoreDatabase(PathStd(QStringLiteral("notes.bak")));
    ASSERT_EQ(m_boxes.Boxes().size(), 1u);
    EXPECT_EQ(m_boxes.Boxes()[0].buttons, platform::MsgButtons::YesNo);
    EXPECT_EQ(Field(server.m_db, "select BDNAME from build_name where BUILD_NUM=7", "BDNAME"), "Still Here");
}

TEST_F(OperatorCommandsTest, FreshServerRestoresFromTheBackup)
{
    CKelvorDlg &server = Start();
    SeedExec("insert into build_name(BUILD_NUM, BDNAME) values(7, 'Kept')");
    server.BackupDatabase(PathStd(QStringLiteral("saved.bak")));
    Stop();

    // A first start elsewhere: no database, the backup as velto.bak.
    ASSERT_TRUE(QFile::remove(Path(QStringLiteral("velto.db"))));
    QFile::remove(Path(QStringLiteral("velto.db-wal")));
    QFile::remove(Path(QStringLiteral("velto.db-shm")));
    ASSERT_TRUE(QFile::rename(Path(QStringLiteral("saved.bak")), Path(QStringLiteral("velto.bak"))));
    m_boxes.Clear();
    m_server = std::make_unique<CKelvorDlg>(m_ports);
    m_server->m_askAdminPassword = [](std::string &password) {
        password = "secret";
        return true;
    };
    m_server->OnInitDialog();
    EXPECT_EQ(m_server->Mode(), StartMode::Full);
    EXPECT_TRUE(m_boxes.Texts().empty());
    EXPECT_EQ(Field(m_server->m_db, "select BDNAME from build_name where BUILD_NUM=7", "BDNAME"), "Kept");
}
