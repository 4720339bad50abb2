// The other room unit reports over real sockets and a real database: answers
// passed on to the waiting workstations, heartbeat, identity, device table,
// lock records, fan-coil units and meter readings.
#include "room_unit_fixture.h"

#include "platform/gbk.h"
#include "protocol/online_client.h"
#include "support/datagrams.h"

#include <cstring>

namespace {

// Only for a frame whose length is asserted first.
const uint8_t *At(const QByteArray &frame) { return reinterpret_cast<const uint8_t *>(frame.constData()); }
std::string Utf8(const char *gbk) { return platform::Utf8FromGbk(gbk); }

QByteArray Pattern(int size, int first)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(first + i);
    return bytes;
}

// Bytes 22..33 of a fan-coil unit report.
struct FanReport {
    int unitId, season = 1, setTemp = 24, curTemp = 26, speed = 2, control = 1, halt = 0, type = 0, valve = 0;

    QByteArray Payload() const
    {
        QByteArray p(12, '\0');
        p[0] = static_cast<char>(unitId);
        p[2] = static_cast<char>(season);
        p[3] = static_cast<char>(setTemp);
        p[4] = static_cast<char>(curTemp);
        p[5] = static_cast<char>(speed);
        p[6] = static_cast<char>(control);
        p[7] = static_cast<char>(halt);
        p[9] = static_cast<char>(type);
        p[11] = static_cast<char>(valve);
        return p;
    }
};

} // namespace

class RcuReportTest : public RoomUnitTest {
protected:
    void Report(int code, const QByteArray &payload) { Send(RcuReport(code, payload), m_unit); }
    void Fan(const FanReport &report) { Report(0x0606, report.Payload()); }
    size_t FanRows() { return Rows("select fengji_id from fengji_his", {"fengji_id"}).size(); }
};

TEST_F(RcuReportTest, AnswersReachEveryWaitingOnlineClientOnceWithItsOwnTag)
{
    const struct {
        int code, reply, length;
        QByteArray payload;
    } cases[] = {
        {0x0007, 0x88, 31, Pattern(9, 0xA0)},
        {0x001E, 0x8D, 62, Pattern(40, 0x30)},
    };
    QUdpSocket second, third;
    ASSERT_TRUE(second.bind(QHostAddress::LocalHost, 0));
    ASSERT_TRUE(third.bind(QHostAddress::LocalHost, 0));
    COnlineClient &first = AddClient(m_station);
    COnlineClient &idle = AddClient(second);
    COnlineClient &last = AddClient(third);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.code);
        first.m_cmdRecord.m_answerWanted = 1;
        first.m_cmdRecord.m_clientTag = 0x0411;
        last.m_cmdRecord.m_answerWanted = 1;
        last.m_cmdRecord.m_clientTag = 0x0522;
        Report(c.code, c.payload);
        const std::pair<QUdpSocket *, int> waiting[] = {{&m_station, 0x0411}, {&third, 0x0522}};
        for (const auto &[socket, tag] : waiting) {
            const std::vector<QByteArray> replies = Received(*socket);
            ASSERT_EQ(replies.size(), 1u);
            ASSERT_EQ(replies[0].size(), c.length);
            const uint8_t *b = At(replies[0]);
            EXPECT_EQ(b[0] << 8 | b[1], c.length);
            EXPECT_EQ(b[15] | b[16] << 8, c.reply);
            EXPECT_EQ(b[8] | b[9] << 8, tag);
            EXPECT_EQ(replies[0].mid(22), c.payload);
        }
        EXPECT_TRUE(Received(second).empty());
        EXPECT_EQ(first.m_cmdRecord.m_answerWanted, 0u);
        EXPECT_EQ(last.m_cmdRecord.m_answerWanted, 0u);
        EXPECT_EQ(idle.m_cmdRecord.m_answerWanted, 0u);

        Report(c.code, c.payload); // nobody waits any more
        EXPECT_TRUE(Received(m_station).empty());
        EXPECT_TRUE(Received(third).empty());
    }
    EXPECT_TRUE(LogLines().empty());
}

// The answer is matched to no request: another room's answer reaches the
// workstation that asked, under the tag of its parameter read.
TEST_F(RcuReportTest, AnAnswerFromAnyRoomReachesTheWorkstationThatAsked)
{
    AddClient(m_station);
    Send(ClientRequest({.code = 0x22, .tag = 0x0777, .answerWanted = 1}), m_station);
    ASSERT_EQ(Received(m_unit).size(), 1u);

    QUdpSocket otherUnit;
    ASSERT_TRUE(otherUnit.bind(QHostAddress::LocalHost, 0));
    Send(RcuReport(0x001E, Pattern(40, 1), 1, 2, 6), otherUnit);
    const std::vector<QByteArray> replies = Received(m_station);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(ByteAt(replies[0], 15), 0x8D);
    EXPECT_EQ(ByteAt(replies[0], 8) | ByteAt(replies[0], 9) << 8, 0x0777);
    EXPECT_EQ(replies[0].mid(22), Pattern(40, 1));
}

TEST_F(RcuReportTest, HeartbeatKeepsTheRoomOnlineAndMarksItOnlyWhenItComesBack)
{
    CRoom &room = *m_server->m_hotel.FindRoom(1, 2, 6);
    ASSERT_EQ(room.m_online, 0);
    Send(RcuReport(0x0082, {}, 1, 2, 6), m_unit);
    EXPECT_EQ(room.m_online, 1);
    EXPECT_EQ(room.m_changed, 1);
    EXPECT_EQ(room.m_lastHeard, m_now);

    room.m_changed = 0;
    m_now += 30;
    Send(RcuReport(0x0082, {}, 1, 2, 6), m_unit);
    EXPECT_EQ(room.m_lastHeard, m_now);
    EXPECT_EQ(room.m_changed, 0);
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(RcuReportTest, IdentityIsKeptAsReceived)
{
    Room().m_changed = 0;
    const int64_t heard = Room().m_lastHeard;
    m_now += 30;
    Report(0x008A, QByteArray("\x01\xFE\x00\x7F", 4));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(Room().m_rcuIdent), 4), QByteArray("\x01\xFE\x00\x7F", 4));
    EXPECT_EQ(Room().m_changed, 1);
    EXPECT_EQ(Room().m_lastHeard, heard);
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(RcuReportTest, DeviceTableIsHeardOnlyWhenAFirstByteChanges)
{
    QByteArray table(41, '\0');
    table[0] = 7;
    for (int i = 0; i < 10; ++i) {
        table[1 + 4 * i] = static_cast<char>(i + 1);
        table[2 + 4 * i] = static_cast<char>(0x40 + i);
        table[3 + 4 * i] = 0x12; // big-endian 0x12nn
        table[4 + 4 * i] = static_cast<char>(i);
    }
    m_now += 30;
    Report(0x0083, table);
    const uint8_t *stored = Room().m_deviceTable;
    EXPECT_EQ(stored[0], 7);
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(stored[1 + 4 * i], i + 1);
        EXPECT_EQ(stored[2 + 4 * i], 0x40 + i);
        uint16_t value = 0;
        std::memcpy(&value, stored + 3 + 4 * i, sizeof value);
        EXPECT_EQ(value, 0x1200 + i);
    }
    EXPECT_EQ(Room().m_lastHeard, m_now);
    EXPECT_EQ(LogLines(), std::vector<std::string>{Utf8("1|205房间状态改变")});

    // The same first bytes: not heard, yet marked, logged and the rest stored.
    const int64_t heard = m_now;
    Room().m_changed = 0;
    m_now += 30;
    table[2] = 0x55;
    Report(0x0083, table);
    EXPECT_EQ(Room().m_lastHeard, heard);
    EXPECT_EQ(Room().m_changed, 1);
    EXPECT_EQ(stored[2], 0x55);
    EXPECT_EQ(LogLines().size(), 2u);
}

TEST_F(RcuReportTest, LockRecordWritesItsRowWithTheBcdTime)
{
    const int64_t heard = Room().m_lastHeard;
    m_now += 30;
    QByteArray record("\xFF\xFF\xFF\xFF\x02", 5);
    record += QByteArray(5, '\x33'); // not read
    record += QByteArray("\x16\x05\x11\x09\x07\x03", 6);
    Report(0x0090, record);
    EXPECT_EQ(Rows("select * from lock_log", {"cardnum", "cardtype", "time", "build", "floor", "room"}),
              (std::vector<std::vector<std::string>>{{"-1", "2", "2016-5-11 9:7:3", "1", "2", "5"}}));
    EXPECT_EQ(LogLines(), std::vector<std::string>{Utf8("1|205房间开门 (code:100)")});
    EXPECT_EQ(Room().m_lastHeard, heard);
}

TEST_F(RcuReportTest, FanUnitTakesItsSlotAndWritesAHistoryRow)
{
    Room().m_changed = 0;
    Fan({.unitId = 7, .season = 1, .setTemp = 24, .curTemp = 26, .speed = 2, .control = 1, .halt = 0});
    const stFanCoilUnit &slot = Room().m_fanCoils[0];
    EXPECT_EQ(slot.unitId, 7);
    EXPECT_EQ(slot.present, 1);
    EXPECT_EQ(slot.tempSensor, 1);
    EXPECT_EQ((std::vector<int>{slot.seasonMode, slot.setTemp, slot.curTemp, slot.fanSpeed, slot.control, slot.halt}),
              (std::vector<int>{1, 24, 26, 2, 1, 0}));
    EXPECT_EQ(Room().m_changed, 1);
    EXPECT_EQ(Room().m_fanCoilChanged, 0);
    EXPECT_EQ(Rows("select * from fengji_his",
                   {"build_num", "floor_num", "room_num", "fengji_halt", "fengji_ctrl", "fengji_speed", "temp_sensor",
                    "set_temp", "cur_temp", "value_state", "comm_state", "season_mode", "fengji_id"}),
              (std::vector<std::vector<std::string>>{{"1", "2", "5", "0", "1", "2", "1", "24", "26", "0", "1", "1", "7"}}));

    // Nothing new: no row. Another unit: the next free slot.
    Fan({.unitId = 7, .season = 1, .setTemp = 24, .curTemp = 26, .speed = 2, .control = 1, .halt = 0});
    EXPECT_EQ(FanRows(), 1u);
    Fan({.unitId = 9});
    EXPECT_EQ(Room().m_fanCoils[1].unitId, 9);
    EXPECT_EQ(FanRows(), 2u);
    EXPECT_TRUE(LogLines().empty());
}

// While the valve is open the stored speed carries bit 7, so the same report
// again differs from it and writes another row.
TEST_F(RcuReportTest, OpenValveSetsBit7OfTheSpeedAndRepeatsTheRow)
{
    const FanReport report{.unitId = 3, .speed = 3, .valve = 1};
    Fan(report);
    EXPECT_EQ(Room().m_fanCoils[0].fanSpeed, 0x83);
    Fan(report);
    EXPECT_EQ(Rows("select fengji_speed, value_state from fengji_his", {"fengji_speed", "value_state"}),
              (std::vector<std::vector<std::string>>{{"131", "1"}, {"131", "1"}}));
    Fan({.unitId = 3, .speed = 3, .valve = 0});
    EXPECT_EQ(Room().m_fanCoils[0].fanSpeed, 3);
}

TEST_F(RcuReportTest, FanUnitSlotChoiceKeepsUnit255FreeAndDropsASeventeenthUnit)
{
    Fan({.unitId = 255, .curTemp = 30});
    EXPECT_EQ(Room().m_fanCoils[0].unitId, 255); // still free
    EXPECT_EQ(Room().m_fanCoils[0].curTemp, 30);
    Fan({.unitId = 4, .curTemp = 31});
    EXPECT_EQ(Room().m_fanCoils[0].unitId, 4);
    EXPECT_EQ(FanRows(), 2u);

    for (int id = 10; id < 25; ++id)
        Fan({.unitId = id});
    EXPECT_EQ(Room().m_fanCoils[15].unitId, 24);
    const size_t rows = FanRows();
    Room().m_changed = 0;
    Fan({.unitId = 40, .curTemp = 99});
    EXPECT_EQ(FanRows(), rows);
    EXPECT_EQ(Room().m_changed, 0);
    for (int i = 0; i < CRoom::kFanCoilsInUse; ++i)
        EXPECT_NE(Room().m_fanCoils[i].curTemp, 99) << i;
    EXPECT_EQ(Room().m_fanCoils[CRoom::kFanCoilsInUse].unitId, 255); // the spare slots stay unused
}

TEST_F(RcuReportTest, UnitTypeUpdatesAnExistingSystempRowOnly)
{
    SeedExec("insert into tblsystemp(bandid, unitband, floorband, roomband, typeid) values(7, 1, 2, 5, 0)");
    Fan({.unitId = 7, .type = 5});
    Fan({.unitId = 8, .type = 6}); // no row for unit 8
    EXPECT_EQ(Room().m_fanCoils[1].unitType, 6);
    EXPECT_EQ(Rows("select bandid, typeid from tblsystemp", {"bandid", "typeid"}),
              (std::vector<std::vector<std::string>>{{"7", "5"}}));
}

TEST_F(RcuReportTest, MeterReadingsUpdateTheBandsRow)
{
    SeedExec("insert into tbltemp(unitband, floorband, roomband, bandid) values(1, 2, 5, 3)");
    SeedExec("insert into tbltemp(unitband, floorband, roomband, bandid) values(1, 2, 5, 4)");
    QByteArray readings("\x03\x00", 2);
    readings += QByteArray("\x80\x00\x00\x00\x00\x00\x00\x01\x7F\xFF\xFF\xFF"
                           "\x00\x00\x01\x00\xFF\xFF\xFF\xFF\x12\x34\x56\x78",
                           24);
    Report(0x0616, readings);
    const std::vector<std::string> columns = {"bandid",   "isstatus", "dimhign",    "dimcentre",
                                              "dimlow",   "coldhign", "coldcentre", "coldlow"};
    EXPECT_EQ(Rows("select * from tbltemp order by bandid", columns),
              (std::vector<std::vector<std::string>>{
                  {"3", "3", "-2147483648", "1", "2147483647", "256", "-1", "305419896"},
                  {"4", "0", "0", "0", "0", "0", "0", "0"}}));
    EXPECT_EQ(LogLines(), std::vector<std::string>{Utf8("1|205抄表数据返回")});
}
