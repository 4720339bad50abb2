// Workstation logins, keep-alive, logout, expiry and the three queries, over
// real sockets against the seed database.
#include "workstation_fixture.h"
#include "support/datagrams.h"

#include "platform/gbk.h"

#include <QSignalSpy>
#include <cstring>

namespace {

using platform::Utf8FromGbk;

std::string Field(const QByteArray &reply, int offset, int size)
{
    const QByteArray bytes = reply.mid(offset, size);
    return std::string(bytes.constData(), strnlen(bytes.constData(), static_cast<size_t>(size)));
}

// The fixture's layout list as reply 0x81 carries it.
const char kLayoutText[] = "2\n1\n2\n10\n1\n0\n2\n1\n3\n0\n";

} // namespace

class OnlineClientTest : public WorkstationTest {
protected:
    COnlineClient &Client(size_t i) { return *m_server->m_clients.at(i); }

    // Every row of every table the server's connection sees, the live-room
    // table included, as one text.
    std::string EveryTable()
    {
        CADOMyRecordset rs(&m_server->m_db);
        std::vector<std::string> tables;
        for (const std::string schema : {"main", "tempdb"}) {
            EXPECT_TRUE(rs.Exec("select name from " + schema + ".sqlite_master where type = 'table' order by name"));
            for (; rs.IsOpen() && !rs.IsEof(); rs.MoveNext())
                tables.push_back(schema + "." + rs.GetFieldString("name"));
            rs.Close();
        }
        std::string text;
        for (const std::string &table : tables) {
            const size_t dot = table.find('.');
            std::string row;
            EXPECT_TRUE(rs.Exec("pragma " + table.substr(0, dot) + ".table_info(" + table.substr(dot + 1) + ")"));
            for (; rs.IsOpen() && !rs.IsEof(); rs.MoveNext())
                row += (row.empty() ? "quote(\"" : " || '|' || quote(\"") + rs.GetFieldString("name") + "\")";
            rs.Close();
            EXPECT_TRUE(rs.Exec("select group_concat(" + row + ", ';') as v from " + table)) << table;
            text += table + ":" + (rs.IsOpen() && !rs.IsEof() ? rs.GetFieldString("v") : "") + "\n";
            rs.Close();
        }
        return text;
    }
};

TEST_F(OnlineClientTest, LoginWithGroupZeroGetsEveryRightThenTheLayout)
{
    AddUser("alice", "pw1", 0, 3, 1, 2);
    const int userId = QueryInt("select USER_ID as v from user_password where USER_NAME = 'alice'");
    QSignalSpy added(m_server.get(), &CKelvorDlg::OnlineClientAdded);
    QUdpSocket &ws = Workstation();
    const auto replies = Login(ws, "alice", "pw1");
    ASSERT_EQ(replies.size(), 2u);

    const QByteArray &ok = replies[0];
    ASSERT_EQ(ok.size(), 195);
    EXPECT_EQ(ReplyCode(ok), 0x82);
    EXPECT_EQ(ReplyTag(ok), 0xFFFF);
    EXPECT_EQ(static_cast<uint8_t>(ok[17]), 0);
    EXPECT_EQ(static_cast<uint8_t>(ok[0]) << 8 | static_cast<uint8_t>(ok[1]), 195);
    int32_t id = 0;
    std::memcpy(&id, ok.constData() + 22, 4);
    EXPECT_EQ(id, userId);
    EXPECT_EQ(Field(ok, 26, 51), "alice");
    EXPECT_EQ(Field(ok, 77, 51), "pw1");
    EXPECT_EQ(Field(ok, 128, 51), "2024-03-05 06:07:08");
    EXPECT_EQ(ok.mid(179, 4), QByteArray("\x01\x02\x03\x00", 4)) << "building, floor, type, group";
    EXPECT_EQ(ok.mid(183, 12), QByteArray(12, '\x01'));

    const QByteArray &info = replies[1];
    EXPECT_EQ(ReplyCode(info), 0x81);
    EXPECT_EQ(ReplyPayload(info), QByteArray(kLayoutText));
    EXPECT_EQ(ByteAt(info, 14), 0);

    ASSERT_EQ(m_server->m_clients.size(), 1u);
    EXPECT_EQ(Client(0).m_peerAddress, "127.0.0.1");
    EXPECT_EQ(Client(0).m_peerPort, ws.localPort());
    EXPECT_EQ(Client(0).m_loggedIn, 1);
    EXPECT_EQ(Client(0).m_loginTime, m_now);
    EXPECT_EQ(Client(0).m_lastActivity, m_now);
    EXPECT_EQ(added.count(), 1);

    EXPECT_EQ(LogTexts(), std::vector<std::string>{Utf8FromGbk("用户alice成功登录服务器")});
    EXPECT_EQ(QueryInt("select count(*) as v from system_run_log"), 1);
    EXPECT_EQ(QueryText("select msg_title || '|' || msg_content || '|' || msg_type as v from system_run_log"),
              "用户登录|alice登录服务器|1");
}

TEST_F(OnlineClientTest, RightsComeFromTheUserGroupRow)
{
    AddGroup(5, "101100000011");
    struct Case {
        const char *name;
        int group;
        QByteArray rights;
    } cases[] = {
        {"grouped", 5, QByteArray("\x01\x00\x01\x01\x00\x00\x00\x00\x00\x00\x01\x01", 12)},
        {"nogroup", 7, QByteArray(12, '\0')}, // no row: the login stands, without rights
    };
    for (const Case &c : cases) {
        AddUser(c.name, "pw", c.group);
        QUdpSocket &ws = Workstation();
        const auto replies = Login(ws, c.name, "pw");
        ASSERT_EQ(replies.size(), 2u) << c.name;
        EXPECT_EQ(ReplyCode(replies[0]), 0x82) << c.name;
        EXPECT_EQ(ByteAt(replies[0], 182), c.group) << c.name;
        EXPECT_EQ(replies[0].mid(183, 12), c.rights) << c.name;
    }
    EXPECT_EQ(m_server->m_clients.size(), 2u);
}

// Each attempt gets 0x83 alone, and nothing changes anywhere: no client, no
// log line, no row; quotes in the texts stay inside their literals.
TEST_F(OnlineClientTest, RefusedLoginsAnswer0x83Only)
{
    AddUser("alice", "pw1", 0);
    AddUser("O'Hara", "it's", 0);
    const std::string tables = "select (select count(*) from user_password) || '/' || "
                               "(select count(*) from user_group) || '/' || "
                               "(select count(*) from system_run_log) as v";
    const std::string before = QueryText(tables);
    const std::string everything = EveryTable();
    ASSERT_NE(everything.find("tempdb.REALTIMEROOM:"), std::string::npos) << everything.substr(0, 300);
    const std::pair<std::string, std::string> attempts[] = {
        {"alice", "wrong"},
        {"nobody", "pw1"},
        {"x' or '1'='1", "x' or '1'='1"},
        {"alice' --", "anything"},
        {"alice", "' or ''='"},
        {"O'Hara", "its"},
    };
    QUdpSocket &ws = Workstation();
    for (const auto &[name, password] : attempts) {
        const auto replies = Login(ws, name, password);
        ASSERT_EQ(replies.size(), 1u) << name;
        EXPECT_EQ(ReplyCode(replies[0]), 0x83) << name;
        EXPECT_EQ(replies[0].size(), 22) << name;
        EXPECT_EQ(ReplyTag(replies[0]), 0xFFFF) << name;
    }
    EXPECT_TRUE(m_server->m_clients.empty());
    EXPECT_TRUE(LogTexts().empty());
    EXPECT_EQ(QueryText(tables), before);
    EXPECT_EQ(EveryTable(), everything);

    // The quoted name itself logs in, and its log row holds the quote.
    ASSERT_EQ(Login(ws, "O'Hara", "it's").size(), 2u);
    EXPECT_EQ(QueryText("select msg_content as v from system_run_log"), "O'Hara登录服务器");
}

TEST_F(OnlineClientTest, EmptyNameIsANameToo)
{
    AddUser("", "secret", 0);
    QUdpSocket &ws = Workstation();
    const auto replies = Login(ws, "", "secret");
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(Field(replies[0], 26, 51), "");
    EXPECT_EQ(Field(replies[0], 77, 51), "secret");
}

// GBK names and names of the full 50 bytes come back, are logged and are
// recorded as the workstation sent them.
TEST_F(OnlineClientTest, NamesTravelAsSent)
{
    const std::pair<std::string, std::string> users[] = {
        {"张三", "密码"},
        {std::string(50, 'n'), std::string(50, 'p')},
    };
    for (const auto &[name, password] : users) {
        AddUser(name, password, 0);
        QUdpSocket &ws = Workstation();
        const auto replies = Login(ws, name, password);
        ASSERT_EQ(replies.size(), 2u) << name;
        EXPECT_EQ(Field(replies[0], 26, 51), name);
        EXPECT_EQ(Field(replies[0], 77, 51), password);
        EXPECT_EQ(LogTexts().back(), Utf8FromGbk("用户" + name + "成功登录服务器"));
        EXPECT_EQ(QueryText("select msg_content as v from system_run_log order by rowid desc limit 1"),
                  name + "登录服务器");
    }
}

TEST_F(OnlineClientTest, FailingGroupStatementRefusesFailingLogRowDoesNot)
{
    AddUser("grouped", "pw", 5);
    AddUser("plain", "pw", 0);
    SeedExec("drop table user_group");
    SeedExec("drop table system_run_log");
    QUdpSocket &ws = Workstation();
    auto replies = Login(ws, "grouped", "pw");
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(ReplyCode(replies[0]), 0x83);
    replies = Login(ws, "plain", "pw");
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(ReplyCode(replies[0]), 0x82);
    EXPECT_EQ(m_server->m_clients.size(), 1u);
}

TEST_F(OnlineClientTest, LongLayoutGoesAsTwoDatagrams)
{
    Stop();
    std::string conf = "[Hotel]\nName=Big\n[Layout]\n";
    for (int floor = 1; floor <= 80; ++floor)
        conf += "item" + std::to_string(floor) + "=1 " + std::to_string(floor) + " 20 3 5 7 9 11\n";
    WriteHotelConf(conf);
    Start();
    m_server->m_idleLoopLevel = 1000;
    char text[3000];
    const int textLength = m_server->m_hotel.FormatLayoutText(text, sizeof text);
    ASSERT_GT(22 + textLength, 1450);

    AddUser("alice", "pw1", 0);
    QUdpSocket &ws = Workstation();
    const auto replies = Login(ws, "alice", "pw1");
    ASSERT_EQ(replies.size(), 3u);
    const QByteArray &first = replies[1], &second = replies[2];
    ASSERT_EQ(first.size(), 1450);
    EXPECT_EQ(ByteAt(first, 14), 1);
    EXPECT_EQ(ReplyCode(second), 0x81);
    EXPECT_EQ(ByteAt(second, 14), 0);
    EXPECT_EQ(second.size(), 22 + textLength - 1428);
    EXPECT_EQ(ByteAt(second, 0) << 8 | ByteAt(second, 1), second.size());
    EXPECT_EQ(ReplyPayload(first) + ReplyPayload(second), QByteArray(text, textLength));
}

// A second login from the same address and port adds a second client; the
// keep-alive refreshes only the first, logout removes both.
TEST_F(OnlineClientTest, TwoLoginsFromOneAddressAndPort)
{
    AddUser("alice", "pw1", 0);
    AddUser("bob", "pw2", 0);
    QUdpSocket &ws = Workstation();
    const int64_t t0 = m_now;
    ASSERT_EQ(Login(ws, "alice", "pw1").size(), 2u);
    m_now += 10;
    ASSERT_EQ(Login(ws, "bob", "pw2").size(), 2u);
    ASSERT_EQ(m_server->m_clients.size(), 2u);

    auto list = Request(ws, RequestFrame(0x11, 0x1234));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(ReplyCode(list[0]), 0x8E);
    EXPECT_EQ(ReplyTag(list[0]), 0x1234);
    EXPECT_EQ(ReplyPayload(list[0]), QByteArray("2\nalice\n127.0.0.1\nbob\n127.0.0.1\n"));

    m_now = t0 + 40;
    auto ack = Request(ws, RequestFrame(0x04, 0x55));
    ASSERT_EQ(ack.size(), 1u);
    EXPECT_EQ(ReplyCode(ack[0]), 0x85);
    EXPECT_EQ(ReplyTag(ack[0]), 0xFFFF);
    EXPECT_EQ(ack[0].size(), 22);
    EXPECT_EQ(Client(0).m_lastActivity, t0 + 40);
    EXPECT_EQ(Client(1).m_lastActivity, t0 + 10);

    m_now = t0 + 61; // bob silent for 51 s
    m_server->OnTimer(0);
    ASSERT_EQ(m_server->m_clients.size(), 1u);
    EXPECT_EQ(Client(0).m_userInfo.userName, std::string("alice"));

    ASSERT_EQ(Login(ws, "bob", "pw2").size(), 2u);
    QSignalSpy removed(m_server.get(), &CKelvorDlg::OnlineClientRemoved);
    EXPECT_TRUE(Request(ws, RequestFrame(0x09)).empty());
    EXPECT_TRUE(m_server->m_clients.empty());
    EXPECT_EQ(removed.count(), 2);
    const auto log = LogTexts();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], Utf8FromGbk("用户alice退出服务器"));
    EXPECT_EQ(log.back(), Utf8FromGbk("用户bob退出服务器"));
}

TEST_F(OnlineClientTest, SilenceOf51SecondsExpiresAClient)
{
    AddUser("alice", "pw1", 0);
    QUdpSocket &ws = Workstation();
    const int64_t t0 = m_now;
    ASSERT_EQ(Login(ws, "alice", "pw1").size(), 2u);
    QSignalSpy removed(m_server.get(), &CKelvorDlg::OnlineClientRemoved);

    m_now = t0 + 50;
    m_server->OnTimer(0);
    ASSERT_EQ(m_server->m_clients.size(), 1u) << "50 s is not too long";
    ASSERT_EQ(Request(ws, RequestFrame(0x04)).size(), 1u); // a keep-alive at 50 s keeps it
    m_now = t0 + 100;
    m_server->OnTimer(0);
    EXPECT_EQ(m_server->m_clients.size(), 1u);
    EXPECT_EQ(removed.count(), 0);

    m_now = t0 + 101;
    m_server->OnTimer(0);
    EXPECT_TRUE(m_server->m_clients.empty());
    EXPECT_EQ(removed.count(), 1);
    EXPECT_TRUE(Drain(ws).empty()) << "nothing is sent";
    EXPECT_EQ(LogTexts().size(), 1u) << "nothing is logged";
}

TEST_F(OnlineClientTest, RequestsWithoutAClientAreIgnored)
{
    AddUser("alice", "pw1", 0);
    QUdpSocket &ws = Workstation();
    QUdpSocket &other = Workstation();
    ASSERT_EQ(Login(ws, "alice", "pw1").size(), 2u);
    EXPECT_TRUE(Request(other, RequestFrame(0x04)).empty());
    EXPECT_TRUE(Request(other, RequestFrame(0x09)).empty());
    EXPECT_EQ(m_server->m_clients.size(), 1u);
    EXPECT_EQ(LogTexts().size(), 1u);
}

TEST_F(OnlineClientTest, OnlineListWithoutClients)
{
    QUdpSocket &ws = Workstation();
    const auto replies = Request(ws, RequestFrame(0x11, 7));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].size(), 24);
    EXPECT_EQ(ReplyTag(replies[0]), 7);
    EXPECT_EQ(ReplyPayload(replies[0]), QByteArray("0\n"));
}

TEST_F(OnlineClientTest, RoomQueryAnswersWithTheRoomsText)
{
    CRoom *room = m_server->m_hotel.FindRoom(1, 2, 3);
    ASSERT_NE(room, nullptr);
    room->m_cardIn = 1;
    char text[CRoom::kMaxTextSize];
    const int length = room->FormatText(text);
    QUdpSocket &ws = Workstation();
    const auto replies = Request(ws, RequestFrame(0x21, 0x0102, 1, 2, 3));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(ReplyCode(replies[0]), 0x87);
    EXPECT_EQ(ReplyTag(replies[0]), 0x0102);
    EXPECT_EQ(ReplyPayload(replies[0]), QByteArray(text, length));

    // No room, and the room byte is taken as it is: 103 is no room 3.
    EXPECT_TRUE(Request(ws, RequestFrame(0x21, 1, 1, 2, 99)).empty());
    EXPECT_TRUE(Request(ws, RequestFrame(0x21, 1, 1, 2, 103)).empty());
    EXPECT_TRUE(Request(ws, RequestFrame(0x21, 1, 3, 1, 0)).empty());
}

TEST_F(OnlineClientTest, BuildQueryTakesAPositionInTheBuildingList)
{
    m_server->m_hotel.GetBuild(1)->m_name[0] = 'B';
    QUdpSocket &ws = Workstation();
    for (int pos = 0; pos < 2; ++pos) {
        char text[CBuild::kMaxTextSize];
        const int length = m_server->m_hotel.GetBuild(pos)->FormatText(text);
        const auto replies = Request(ws, RequestFrame(0x41, 40 + pos, pos));
        ASSERT_EQ(replies.size(), 1u) << pos;
        EXPECT_EQ(ReplyCode(replies[0]), 0x8F);
        EXPECT_EQ(ReplyTag(replies[0]), 40 + pos);
        EXPECT_EQ(ReplyPayload(replies[0]), QByteArray(text, length));
    }
    EXPECT_TRUE(Request(ws, RequestFrame(0x41, 1, 2)).empty()) << "one past the list";
    EXPECT_TRUE(Request(ws, RequestFrame(0x41, 1, 255)).empty());
}

TEST_F(OnlineClientTest, ShutdownFreesTheClients)
{
    AddUser("alice", "pw1", 0);
    QUdpSocket &ws = Workstation();
    ASSERT_EQ(Login(ws, "alice", "pw1").size(), 2u);
    m_server->OnDestroy();
    EXPECT_TRUE(m_server->m_clients.empty());
}
