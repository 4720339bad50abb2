// Set-top-box strings over the PMS link: the room by number or by its name in
// room_ip_list, the 0x0050 frame to the room's unit, the log and the "ok".
#include "pms_fixture.h"

#include "protocol/crc.h"
#include "support/stderr_capture.h"

#include <QTest>
#include <cstdio>
#include <cstring>

namespace {

class SetTopBoxTest : public PmsServerTest {
protected:
    void SetUp() override
    {
        PmsServerTest::SetUp();
        Connect(m_pms);
        NewLogLines();
    }
};

TEST_F(PmsServerTest, WithoutALinkNothingIsSent)
{
    EXPECT_EQ(m_server->m_pmsLink, nullptr);
    EXPECT_EQ(m_server->SendToPms(2), 0);
}

struct StbCase {
    const char *command;
    int build, floor, room; // the room addressed
    uint8_t b, c;           // bytes 5 and 2 of the sub-record
};

TEST_F(SetTopBoxTest, CommandsReachTheRoomsUnit)
{
    Exec("insert into room_ip_list(BUILD_NUM, FLOOR_NUM, ROOM_NUM, RMNAME) values(2, 1, 1, 'Lobby Suite')");
    Exec("insert into room_ip_list(BUILD_NUM, FLOOR_NUM, ROOM_NUM, RMNAME) values(2, 1, 2, 'O''Hara')");
    const StbCase cases[] = {
        {"10203:5:9", 1, 2, 3, 5, 9},
        {"203:5:9", 1, 2, 3, 5, 9}, // building 0 is building 1
        {"10203", 1, 2, 3, 0, 0},
        {"10205:300: 7\r\n", 1, 2, 5, 300 & 0xFF, 7},
        {"Lobby Suite:1:2", 2, 1, 1, 1, 2},
        {"O'Hara:4:4", 2, 1, 2, 4, 4},
    };
    for (const StbCase &t : cases) {
        PlaceUnit(t.build, t.floor, t.room);
        EXPECT_EQ(Command(t.command), "ok") << t.command;
        const std::vector<QByteArray> frames = Frames();
        ASSERT_EQ(frames.size(), 1u) << t.command;
        const auto *f = reinterpret_cast<const uint8_t *>(frames[0].constData());
        ASSERT_EQ(frames[0].size(), 32);
        EXPECT_EQ(f[15] << 8 | f[16], 0x0050);
        EXPECT_EQ(f[17], 0); // no answer wanted
        EXPECT_EQ(f[8] | f[9] << 8, 0xFFFF);
        EXPECT_EQ((std::vector<int>{f[18], f[19], f[20]}), (std::vector<int>{t.build, t.floor, t.room}));
        const uint8_t record[6] = {8, 0xFF, t.c, 0, 0, t.b};
        EXPECT_EQ(std::memcmp(f + 22, record, 6), 0) << t.command;
        EXPECT_EQ(f[28] | f[29] << 8, Crc16Modbus(record, 6));
        const std::vector<std::string> lines = NewLogLines();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], Utf8("接收到命令串：") + t.command);
        char expected[64];
        std::snprintf(expected, sizeof expected, "<机顶盒>接口软件向%d|%d%02d房间发送指令", t.build, t.floor, t.room);
        EXPECT_EQ(lines[1], Utf8(expected));
    }
}

// The name goes into the query quoted: a name that would rewrite the
// statement addresses no room and changes nothing.
TEST_F(SetTopBoxTest, UnknownRoomsAndHostileNamesReachNobody)
{
    Exec("insert into room_ip_list(BUILD_NUM, FLOOR_NUM, ROOM_NUM, RMNAME) values(1, 2, 3, 'Garden')");
    const std::string rowsBefore = Field("select count(*) as n from room_ip_list", "n");
    PlaceUnit(1, 2, 3);
    // A GBK lead byte before the quote must not swallow it.
    const char *cases[] = {"x' or '1'='1:5:9", "x'; delete from room_ip_list; --:1:1", "\x81' or '1'='1:5:9",
                           "99999:1:1", ":1:1"};
    for (const char *command : cases) {
        EXPECT_EQ(Command(command), "") << command;
        EXPECT_TRUE(Frames().empty()) << command;
        const std::vector<std::string> lines = NewLogLines();
        ASSERT_EQ(lines.size(), 2u);
        const std::string a(command, std::strchr(command, ':'));
        EXPECT_EQ(lines[1], Utf8(("<机顶盒>找不到该房间号" + a).c_str()));
    }
    EXPECT_EQ(Field("select count(*) as n from room_ip_list", "n"), rowsBefore);
    EXPECT_EQ(Field("select RMNAME from room_ip_list where BUILD_NUM=1 and FLOOR_NUM=2 and ROOM_NUM=3", "RMNAME"),
              "Garden");
}

// A peer's terminal controls (colour, bell, a window title) reach stderr,
// which a terminal shows, as escapes; the window's line keeps them as sent.
TEST_F(SetTopBoxTest, ControlBytesOfACommandReachStderrEscaped)
{
    PlaceUnit(1, 2, 3);
    const std::string command = "10203:5:9\x1b[31m\x07\x1b]0;title\x07";
    m_server->m_logToStderr = true;
    StderrCapture capture;
    EXPECT_EQ(Command(command), "ok");
    const std::string err = capture.Stop();
    m_server->m_logToStderr = false;

    EXPECT_NE(err.find(Utf8("接收到命令串：") + "10203:5:9\\x1b[31m\\x07\\x1b]0;title\\x07\n"), std::string::npos)
        << err;
    for (const char c : err) {
        const auto byte = static_cast<unsigned char>(c);
        EXPECT_TRUE((byte >= 0x20 && byte != 0x7F) || c == '\n') << "byte " << int(byte) << " in " << err;
    }
    const std::vector<std::string> lines = NewLogLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], Utf8("接收到命令串：") + command);
}

// Without the optional name column the number decides.
TEST_F(SetTopBoxTest, WithoutTheNameColumnTheTextIsANumber)
{
    Exec("drop index room_ip_list_name");
    Exec("alter table room_ip_list drop column RMNAME");
    PlaceUnit(1, 2, 3);
    EXPECT_EQ(Command("10203:1:1"), "ok");
    EXPECT_EQ(Frames().size(), 1u);
}

TEST_F(SetTopBoxTest, ClosedDatabaseDropsTheCommandSilently)
{
    PlaceUnit(1, 2, 3);
    m_server->m_db.Close();
    const int before = m_server->LogModel().rowCount();
    m_pms.write("10203:5:9");
    m_pms.flush();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_server->m_pmsRecvBuf[0] == '1'; }, 5000));
    EXPECT_EQ(m_server->LogModel().rowCount(), before);
    EXPECT_FALSE(m_pms.waitForReadyRead(50));
    EXPECT_TRUE(Frames().empty());
}

} // namespace
