// foxhis and nehops commands over the PMS link: frames to the rooms' units,
// event rows, room states in memory and in the live-room table, log lines and
// the XML reply.
#include "pms_fixture.h"
#include "support/small_disk.h"

#include "pms/pms_link.h"

#include <QTest>
#include <algorithm>

namespace {

std::string Xml(const char *root, const std::string &children, const char *version = "1.0")
{
    return std::string("<") + root + " ver=\"" + version + "\">" + children + "</" + root + ">";
}

std::string Reply(const char *root, const std::string &func, const std::string &id, const std::string &pcId,
                  int msgCode, const char *version = "1.0")
{
    const auto element = [](const char *name, const std::string &data) {
        return data.empty() ? "<" + std::string(name) + "/>\r\n"
                            : "<" + std::string(name) + ">" + data + "</" + name + ">\r\n";
    };
    return std::string("<") + root + " ver=\"" + version + "\" mode=\"response\">\r\n" + element("func", func) +
           element("id", id) + element("pc_id", pcId) + element("msgcode", std::to_string(msgCode)) +
           element("msg", "none") + "</" + root + ">\r\n";
}

class PmsXmlTest : public PmsServerTest {
protected:
    void SetUp() override
    {
        PmsServerTest::SetUp();
        Connect(m_pms);
        for (int room : {3, 5})
            PlaceUnit(1, 2, room);
        NewLogLines();
    }
    // Known starting states: PMS state 5 in memory and in the table, no mark.
    void ResetRooms()
    {
        for (int room : {3, 5}) {
            CRoom *r = m_server->m_hotel.FindRoom(1, 2, room);
            r->m_pmsState = 5;
            r->m_changed = 0;
            Exec("update ##REALTIMEROOM set RMSTATE=5 where BUILD=1 and FLOOR=2 and ROOMNUM=" + std::to_string(room));
        }
        Frames();
        NewEventRows();
        NewLogLines();
    }
    CRoom &Room(int room) { return *m_server->m_hotel.FindRoom(1, 2, room); }
};

struct FunctionCase {
    int type; // 1 foxhis, 4 nehops
    const char *children;
    std::vector<StateFrame> frames;
    std::vector<std::string> events; // "b|f|r|type|title", titles UTF-8
    int state3, state5;              // m_pmsState of 1|2|03 and 1|2|05 afterwards (5: untouched)
    int msgCode;
};

TEST_F(PmsXmlTest, FunctionTable)
{
    const FunctionCase cases[] = {
        {1, "<func>GSTIN</func><roomno>10203</roomno>", {{1, 2, 3, 2}}, {"1|2|3|21|<foxhis>客人入住"}, 1, 5, 1},
        {4, "<func>GSTIN</func><roomno>10205</roomno>", {{1, 2, 5, 2}}, {"1|2|5|21|<foxhis>客人入住"}, 5, 1, 1},
        {4, "<func>GSTIN</func><roomno>203</roomno>", {{1, 2, 3, 2}}, {"1|2|3|21|<foxhis>客人入住"}, 1, 5, 1},
        {1, "<func>GSTOUT</func><roomno>10203</roomno>", {{1, 2, 3, 0}}, {"1|2|3|22|<foxhis>客人退房"}, 0, 5, 1},
        {4, "<func>GSTOUT</func><roomno>10203</roomno>", {{1, 2, 3, 0}}, {"1|2|3|22|<foxhis>客人退房"}, 0, 5, 1},
        {1, "<func>RMSO</func><roomno>10203</roomno>", {{1, 2, 3, 3}}, {"1|2|3|22|<foxhis>设置维修房"}, 5, 5, 1},
        {4, "<func>RMSO</func><roomno>10203</roomno>", {{1, 2, 3, 3}}, {"1|2|3|22|<nehops>设置维修房"}, 5, 5, 1},
        {1, "<func>RMRO</func><roomno>10205</roomno>", {{1, 2, 5, 0}}, {"1|2|5|22|<foxhis>取消维修房"}, 5, 5, 1},
        {4, "<func>RMRO</func><roomno>10205</roomno>", {{1, 2, 5, 0}}, {"1|2|5|22|<nehops>取消维修房"}, 5, 5, 1},
        {1, "<func>GSTCHG</func><roomno0>10205</roomno0><roomno1>10203</roomno1>", {{1, 2, 3, 0}, {1, 2, 5, 1}}, {},
         5, 5, 1},
        {4, "<func>GSTCHG</func><roomno0>10205</roomno0><roomno1>10203</roomno1>", {{1, 2, 5, 0}, {1, 2, 3, 1}}, {},
         5, 5, 1},
        {1, "<func>GSTSYN</func><roomno>10203</roomno><roomtotal>9</roomtotal><roomseq>1</roomseq><sta>OD</sta>",
         {}, {}, 4, 5, 1},
        {4, "<func>GSTSYN</func><roomno>10205</roomno><sta>VD</sta>", {}, {}, 5, 2, 1},
        {1, "<func>GSTSYN</func><roomno>10205</roomno><sta>XX</sta>", {}, {}, 5, 0, 1},
        {1, "<func>RMVC</func><rmvc><roomno>10203</roomno></rmvc>", {}, {}, 5, 5, 1},
        {1, "<func>FOO</func><roomno>10203</roomno>", {}, {}, 5, 5, 3},
        {4, "<func>gstin</func><roomno>10203</roomno>", {}, {}, 5, 5, 3},
    };
    for (const FunctionCase &t : cases) {
        ResetRooms();
        m_server->m_pmsType = t.type;
        const char *root = t.type == 1 ? "foxhis" : "nehops";
        // id and pc_id right after func, where they are looked for
        std::string children = t.children;
        const size_t funcEnd = children.find("</func>");
        const std::string func = children.substr(6, funcEnd - 6);
        const std::string command = Xml(root, children.insert(funcEnd + 7, "<id>7</id><pc_id>PC1</pc_id>"));
        EXPECT_EQ(Command(command), Reply(root, func, "7", "PC1", t.msgCode)) << command;
        EXPECT_EQ(StateFrames(Frames()), t.frames) << command;
        std::vector<std::string> events;
        for (const std::string &e : t.events)
            events.push_back(Utf8(e.c_str()));
        EXPECT_EQ(NewEventRows(), events) << command;
        EXPECT_EQ(Room(3).m_pmsState, t.state3) << command;
        EXPECT_EQ(Room(5).m_pmsState, t.state5) << command;
        EXPECT_EQ(RmState(1, 2, 3), t.state3) << command;
        EXPECT_EQ(RmState(1, 2, 5), t.state5) << command;
        EXPECT_EQ(Room(3).m_changed, t.state3 != 5 ? 1 : 0) << command;
        EXPECT_EQ(Room(5).m_changed, t.state5 != 5 ? 1 : 0) << command;
    }
}

TEST_F(PmsXmlTest, LogLinesOfACheckIn)
{
    m_server->m_pmsType = kPmsFoxhis;
    const std::string command = Xml("foxhis", "<func>GSTIN</func><roomno>10203</roomno>");
    Command(command);
    const std::vector<std::string> expected = {
        Utf8("接收到命令串：") + command,
        // The set-top-box step comes first: the text is no room.
        Utf8("<机顶盒>找不到该房间号") + command.substr(0, 45),
        Utf8("<foxhis>  客人入住(GSTIN)   ROOM: 10203"),
        Utf8("<foxhis>  对应到房间号1|203  "),
        Utf8("<foxhis>接口软件向1|203房间发送指令"),
    };
    EXPECT_EQ(NewLogLines(), expected);

    m_server->m_pmsType = kPmsNehops;
    Command(Xml("nehops", "<func>GSTCHG</func><roomno0>10205</roomno0><roomno1>10203</roomno1>"));
    const std::vector<std::string> lines = NewLogLines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[2], Utf8("<nehops>  客人换房(GSTCHG)   ROOM: 10205"));
    EXPECT_EQ(lines[3], Utf8("<nehops>  对应到房间号1|205  "));
    EXPECT_EQ(lines[4], Utf8("<nehops>  更换到房间号1|203"));
    EXPECT_EQ(lines[5], Utf8("<nehops>接口软件向1|205房间发送指令"));
    EXPECT_EQ(lines[6], Utf8("<nehops>接口软件向1|203房间发送指令"));
}

// foxhis keeps building 0 (no such building here) and still writes the row;
// nehops writes nothing for a room it cannot find.
TEST_F(PmsXmlTest, UnknownRooms)
{
    m_server->m_pmsType = kPmsFoxhis;
    EXPECT_EQ(Command(Xml("foxhis", "<func>GSTIN</func><id>1</id><roomno>203</roomno>")),
              Reply("foxhis", "GSTIN", "1", "", 1));
    std::vector<std::string> lines = NewLogLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3], Utf8("<foxhis>  对应到房间号0|203  无效房间"));
    EXPECT_TRUE(Frames().empty());
    EXPECT_EQ(NewEventRows(), std::vector<std::string>{Utf8("0|2|3|21|<foxhis>客人入住")});
    EXPECT_EQ(Room(3).m_pmsState, 0);

    m_server->m_pmsType = kPmsNehops;
    EXPECT_EQ(Command(Xml("nehops", "<func>RMSO</func><roomno>10299</roomno>")), Reply("nehops", "RMSO", "1", "", 1));
    lines = NewLogLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3], Utf8("<nehops>  对应到房间号1|299  无效房间"));
    EXPECT_TRUE(Frames().empty());
    EXPECT_TRUE(NewEventRows().empty());
}

// Children are searched in order, each search after the child found last;
// texts a command lacks keep the previous command's values.
TEST_F(PmsXmlTest, RememberedTexts)
{
    m_server->m_pmsType = kPmsFoxhis;
    EXPECT_EQ(Command(Xml("foxhis", "<func>RMVC</func><id>7</id><pc_id>A</pc_id>")),
              Reply("foxhis", "RMVC", "7", "A", 1));
    EXPECT_EQ(Command(Xml("foxhis", "<id>9</id><func>RMVC</func><pc_id>B</pc_id>", "2")),
              Reply("foxhis", "RMVC", "7", "B", 1, "2"));
    // No "ver": an empty one in the reply. nehops shares id and pc_id.
    m_server->m_pmsType = kPmsNehops;
    EXPECT_EQ(Command("<nehops><func>FOO</func></nehops>"), Reply("nehops", "FOO", "7", "B", 3, ""));
    // GSTSYN without "sta" applies the previous one.
    Command(Xml("nehops", "<func>GSTSYN</func><roomno>10203</roomno><sta>OR</sta>"));
    Room(3).m_pmsState = 0;
    Command(Xml("nehops", "<func>GSTSYN</func><roomno>10203</roomno>"));
    EXPECT_EQ(Room(3).m_pmsState, 3);
}

TEST_F(PmsXmlTest, CommandsThatAreNotAnsweredOrNotForThisType)
{
    const std::pair<int, std::string> cases[] = {
        {1, "<foxhis><func>GSTIN</func></fox>"},                  // not well-formed (an unclosed one waits for its end)
        {1, Xml("nehops", "<func>GSTIN</func><roomno>10203</roomno>")}, // other language
        {1, Xml("foxhis", "<roomno>10203</roomno>")},             // no func
        {0, Xml("foxhis", "<func>GSTIN</func><roomno>10203</roomno>")},
        {2, Xml("foxhis", "<func>GSTIN</func><roomno>10203</roomno>")},
    };
    for (const auto &[type, command] : cases) {
        m_server->m_pmsType = type;
        EXPECT_EQ(Command(command), "") << command;
        EXPECT_TRUE(Frames().empty()) << command;
        EXPECT_TRUE(NewEventRows().empty()) << command;
        EXPECT_EQ(NewLogLines().size(), 2u) << command; // the text and the set-top-box miss
    }
}

// A reply that echoes a long command is longer than the 3000-byte buffer: it
// goes out whole.
TEST_F(PmsXmlTest, ReplyLongerThanTheBufferIsSentWhole)
{
    m_server->m_pmsType = kPmsFoxhis;
    const std::string func(2900, 'F');
    const std::string command = Xml("foxhis", "<func>" + func + "</func><id>&amp;</id>");
    ASSERT_LE(command.size(), 3000u);
    std::string wanted = Reply("foxhis", func, "&amp;", "", 3);
    ASSERT_GT(wanted.size(), 3000u);
    EXPECT_EQ(Command(command), wanted);
}

// TCP keeps no command in one read: commands are cut from the byte stream by
// the end of their root element.
class PmsStreamTest : public PmsXmlTest {
protected:
    void SetUp() override
    {
        PmsXmlTest::SetUp();
        m_server->m_pmsType = 1;
    }
    void Write(const std::string &bytes)
    {
        ASSERT_EQ(m_pms.write(bytes.data(), static_cast<qint64>(bytes.size())), static_cast<qint64>(bytes.size()));
        m_pms.flush();
    }
    // What came back on the link, once it is at least as long as wanted.
    std::string Replies(const std::string &wanted)
    {
        std::string got;
        (void)QTest::qWaitFor([&] { // a short answer shows in the comparison
            got += m_pms.readAll().toStdString();
            return got.size() >= wanted.size();
        }, 5000);
        return got;
    }
    // Waits until the server has taken bytes off the link that are no whole
    // command yet.
    void WaitUntilHeld()
    {
        ASSERT_TRUE(QTest::qWaitFor([&] {
            return m_server->m_pmsLink->Commands().SpaceSize() < PmsCommandStream::kCapacity;
        }, 5000));
    }
    static std::string CheckIn(int room, const char *id)
    {
        return Xml("foxhis", "<func>GSTIN</func><id>" + std::string(id) + "</id><roomno>102" +
                                 std::to_string(100 + room).substr(1) + "</roomno>");
    }
};

TEST_F(PmsStreamTest, TwoCommandsInOneWriteAreEachCarriedOutAndAnswered)
{
    const std::string first = CheckIn(3, "1") + "\r\n", second = CheckIn(5, "2") + "\r\n";
    Write(first + second);
    const std::string wanted = Reply("foxhis", "GSTIN", "1", "", 1) + Reply("foxhis", "GSTIN", "2", "", 1);
    EXPECT_EQ(Replies(wanted), wanted);
    EXPECT_EQ(StateFrames(Frames()), (std::vector<StateFrame>{{1, 2, 3, 2}, {1, 2, 5, 2}}));
    EXPECT_EQ(NewEventRows(), (std::vector<std::string>{Utf8("1|2|3|21|<foxhis>客人入住"),
                                                        Utf8("1|2|5|21|<foxhis>客人入住")}));
    EXPECT_EQ(Room(3).m_pmsState, 1);
    EXPECT_EQ(Room(5).m_pmsState, 1);
    const std::vector<std::string> lines = NewLogLines();
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0], Utf8("接收到命令串：") + CheckIn(3, "1"));
    EXPECT_EQ(lines[5], Utf8("接收到命令串：") + CheckIn(5, "2"));
}

// Some PMS software ends every command with a NUL or an ETX: that byte only
// separates commands.
TEST_F(PmsStreamTest, CommandsEndedByControlBytesAreEachCarriedOutAndAnswered)
{
    for (const char end : {'\0', '\x03'}) {
        ResetRooms();
        Write(CheckIn(3, "1") + end + CheckIn(5, "2") + end + CheckIn(3, "3") + end);
        const std::string wanted = Reply("foxhis", "GSTIN", "1", "", 1) + Reply("foxhis", "GSTIN", "2", "", 1) +
                                   Reply("foxhis", "GSTIN", "3", "", 1);
        EXPECT_EQ(Replies(wanted), wanted) << int(end);
        EXPECT_EQ(StateFrames(Frames()), (std::vector<StateFrame>{{1, 2, 3, 2}, {1, 2, 5, 2}, {1, 2, 3, 2}}))
            << int(end);
        const std::string row3 = Utf8("1|2|3|21|<foxhis>客人入住"), row5 = Utf8("1|2|5|21|<foxhis>客人入住");
        EXPECT_EQ(NewEventRows(), (std::vector<std::string>{row3, row5, row3})) << int(end);
        const std::vector<std::string> lines = NewLogLines();
        ASSERT_EQ(lines.size(), 15u) << int(end);
        EXPECT_EQ(lines[10], Utf8("接收到命令串：") + CheckIn(3, "3")) << int(end);
    }

    // One command and its NUL alone: one command, one line of its text.
    Write(CheckIn(5, "4") + '\0');
    const std::string wanted = Reply("foxhis", "GSTIN", "4", "", 1);
    EXPECT_EQ(Replies(wanted), wanted);
    // A separator the server is still to read would show up as a sixth line.
    Write(CheckIn(5, "5"));
    EXPECT_EQ(Replies(Reply("foxhis", "GSTIN", "5", "", 1)), Reply("foxhis", "GSTIN", "5", "", 1));
    const std::vector<std::string> lines = NewLogLines();
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0], Utf8("接收到命令串：") + CheckIn(5, "4"));
    EXPECT_EQ(lines[5], Utf8("接收到命令串：") + CheckIn(5, "5"));
}

TEST_F(PmsStreamTest, CommandOverTwoWritesWaitsForItsEnd)
{
    const std::string command = Xml("foxhis", "<func>GSTOUT</func><id>3</id><roomno>10205</roomno>");
    const size_t cut = command.find("05</roomno>");
    Room(5).m_pmsState = 1;
    Write(command.substr(0, cut));
    WaitUntilHeld();
    EXPECT_TRUE(NewLogLines().empty());
    Write(command.substr(cut));
    const std::string wanted = Reply("foxhis", "GSTOUT", "3", "", 1);
    EXPECT_EQ(Replies(wanted), wanted);
    EXPECT_EQ(StateFrames(Frames()), (std::vector<StateFrame>{{1, 2, 5, 0}}));
    EXPECT_EQ(Room(5).m_pmsState, 0);
    EXPECT_EQ(NewLogLines()[0], Utf8("接收到命令串：") + command);
}

TEST_F(PmsStreamTest, ThirdCommandCutWaitsForItsRest)
{
    const std::string third = CheckIn(3, "c");
    Write(CheckIn(3, "a") + CheckIn(5, "b") + third.substr(0, 40));
    std::string wanted = Reply("foxhis", "GSTIN", "a", "", 1) + Reply("foxhis", "GSTIN", "b", "", 1);
    EXPECT_EQ(Replies(wanted), wanted);
    EXPECT_EQ(StateFrames(Frames()), (std::vector<StateFrame>{{1, 2, 3, 2}, {1, 2, 5, 2}}));
    Write(third.substr(40));
    wanted = Reply("foxhis", "GSTIN", "c", "", 1);
    EXPECT_EQ(Replies(wanted), wanted);
    EXPECT_EQ(StateFrames(Frames()), (std::vector<StateFrame>{{1, 2, 3, 2}}));
}

// A command longer than the 3000-byte buffer is dropped with one log line;
// the link goes on with the next command.
TEST_F(PmsStreamTest, OverlongCommandIsDroppedAndTheNextOneServed)
{
    const std::string overlong = Xml("foxhis", "<func>GSTOUT</func><id>" + std::string(3200, '9') +
                                                   "</id><roomno>10203</roomno>");
    Write(overlong + "\r\n" + CheckIn(5, "4"));
    const std::string wanted = Reply("foxhis", "GSTIN", "4", "", 1);
    EXPECT_EQ(Replies(wanted), wanted);
    EXPECT_EQ(StateFrames(Frames()), (std::vector<StateFrame>{{1, 2, 5, 2}}));
    const std::vector<std::string> lines = NewLogLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], Utf8("PMS 命令超过3000字节，已丢弃"));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), lines[0]), 1);
    EXPECT_EQ(lines[1], Utf8("接收到命令串：") + CheckIn(5, "4"));
}

// The server's database on a small file system of its own, so that a commit
// can be made to fail.
class PmsOnSmallDiskTest : public PmsServerTest {
protected:
    void SetUp() override
    {
        PmsServerTest::SetUp();
        if (HasFatalFailure())
            return;
        StartOnSmallDisk(m_disk);
        if (IsSkipped() || HasFatalFailure())
            return;
        m_server->m_pmsType = kPmsFoxhis;
        m_eventsBefore = std::stoi(Field("select count(*) as n from event_msg_list", "n"));
        Connect(m_pms);
        PlaceUnit(1, 2, 3);
        m_logSeen = 0;
        NewLogLines();
    }

    SmallDisk m_disk;
};

// The reply reports the check-in carried out: a check-in whose event row is
// lost with its batch gets none; the log tells the loss.
TEST_F(PmsOnSmallDiskTest, NoReplyForACommandWhoseWritesWereLost)
{
    const std::string command = Xml("foxhis", "<func>GSTIN</func><id>8</id><roomno>10203</roomno>");
    m_disk.Fill();
    EXPECT_EQ(Command(command), "");
    m_disk.Free();
    EXPECT_TRUE(NewEventRows().empty());
    const std::vector<std::string> lines = NewLogLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind(Utf8("数据库回滚了1条未提交的语句"), 0), 0u) << lines.back();

    EXPECT_EQ(Command(command), Reply("foxhis", "GSTIN", "8", "", 1));
    EXPECT_EQ(NewEventRows(), std::vector<std::string>{Utf8("1|2|3|21|<foxhis>客人入住")});
}

TEST_F(PmsXmlTest, ASecondConnectionReplacesTheFirst)
{
    m_server->m_pmsType = kPmsFoxhis;
    QTcpSocket second;
    Connect(second, 9766);
    EXPECT_EQ(NewLogLines(), std::vector<std::string>{Utf8("PMS TCP Client 已经接入")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_pms.state() == QAbstractSocket::UnconnectedState; }, 5000));
    EXPECT_EQ(Command("10203:1:1", &second), "ok");
    EXPECT_EQ(Frames().size(), 1u);

    // The second one goes away; the server keeps running and takes the next.
    second.disconnectFromHost();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_server->m_pmsLink->state() == QAbstractSocket::UnconnectedState; }, 5000));
    m_server->m_pmsReplyBuf[0] = 'x';
    EXPECT_EQ(m_server->SendToPms(1), -1);
    QTcpSocket third;
    Connect(third);
    EXPECT_EQ(Command("10205", &third), "ok");
}

} // namespace
