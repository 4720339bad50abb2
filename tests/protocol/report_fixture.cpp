#include "report_fixture.h"

#include "database/ado_recordset.h"
#include "platform/gbk.h"
#include "protocol/udp_socket.h"

#include <QTest>
#include <cstdlib>
#include <cstring>

TestFrame::TestFrame(int length, int senderKind, int code, int build, int floor, int room)
    : m_bytes(length, '\0')
{
    auto *b = reinterpret_cast<uint8_t *>(m_bytes.data());
    b[0] = 0xFF;
    b[1] = static_cast<uint8_t>(length);
    std::memcpy(b + 2, "ZOLP", 4);
    b[6] = 1;
    b[7] = static_cast<uint8_t>(senderKind);
    b[15] = static_cast<uint8_t>(code >> 8);
    b[16] = static_cast<uint8_t>(code);
    b[18] = static_cast<uint8_t>(build);
    b[19] = static_cast<uint8_t>(floor);
    b[20] = static_cast<uint8_t>(room);
}

TestFrame &TestFrame::Set(int offset, uint8_t value)
{
    m_bytes[offset] = static_cast<char>(value);
    return *this;
}

TestFrame &TestFrame::Set32(int offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        Set(offset + i, static_cast<uint8_t>(value >> (8 * i)));
    return *this;
}

TestFrame QuietFullReport(int build, int floor, int room)
{
    TestFrame f(79, 0, 0x0084, build, floor, room);
    // Both units' temperatures, status byte 50 and the status value as a new
    // room holds them.
    f.Set(36, 22).Set(37, 22).Set(68, 22).Set(69, 22).Set(50, 30).Set32(70, 0xFFFFFFFF);
    return f;
}

TestFrame QuietShortReport(int build, int floor, int room)
{
    TestFrame f(49, 0, 0x0081, build, floor, room);
    f.Set32(45, 0xFFFFFFFF);
    return f;
}

TestFrame PanelMask(int build, int floor, int code, uint32_t mask)
{
    TestFrame f(30, 6, code, build, floor, 0);
    f.Set32(26, mask);
    return f;
}

void ReportTest::StartServer(int rangeLow, int rangeHigh)
{
    InstallSeed("velto.db");
    SeedExec("update sysoptions set Value = '" + std::to_string(rangeLow) + "' where Optioncode = 14");
    SeedExec("update sysoptions set Value = '" + std::to_string(rangeHigh) + "' where Optioncode = 15");
    Start();
    ASSERT_EQ(m_server->Mode(), StartMode::Full);
    // The room monitor never runs by itself here: ClearMarks stands for its push.
    m_server->m_idleLoopLevel = 1000;
    m_server->OnTimer(0);
    ASSERT_EQ(m_server->m_rangeLow, rangeLow);
    ASSERT_EQ(m_server->m_rangeHigh, rangeHigh);
}

void ReportTest::Send(const TestFrame &frame)
{
    const QByteArray &bytes = frame.Bytes();
    std::memcpy(m_server->m_recvBuf, bytes.constData(), static_cast<size_t>(bytes.size()));
    m_server->HandleDatagram(static_cast<int>(bytes.size()), 0x7F000001, 40001);
}

void ReportTest::SendOverLoopback(const TestFrame &frame)
{
    ASSERT_TRUE(m_server->HasUdpSocket());
    if (m_unit.state() != QAbstractSocket::BoundState) {
        ASSERT_TRUE(m_unit.bind(QHostAddress::LocalHost, 0));
    }
    const QByteArray &bytes = frame.Bytes();
    ASSERT_EQ(m_unit.writeDatagram(bytes, QHostAddress::LocalHost, ServerUdpPort()), bytes.size());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_server->m_udpSocket->hasPendingDatagrams(); }, 2000));
}

std::vector<EventRowSeen> ReportTest::EventRows()
{
    CADOMyRecordset rs(&m_server->m_db);
    EXPECT_TRUE(rs.Exec("select * from event_msg_list order by MSG_INDEX")) << rs.GetLastErrorText();
    std::vector<EventRowSeen> rows;
    for (; !rs.IsEof(); rs.MoveNext()) {
        rows.push_back({std::atoi(rs.GetFieldString("ROOM_NUM").c_str()), std::atoi(rs.GetFieldString("MSG_TYPE").c_str()),
                        rs.GetFieldString("MSG_TITLE"), std::atoi(rs.GetFieldString("CARD_SN").c_str()),
                        std::atoi(rs.GetFieldString("CARD_ID").c_str())});
    }
    return rows;
}

int ReportTest::CountRows(const std::string &table)
{
    CADOMyRecordset rs(&m_server->m_db);
    EXPECT_TRUE(rs.Exec("select count(*) as N from " + table)) << rs.GetLastErrorText();
    return std::atoi(rs.GetFieldString("N").c_str());
}

int ReportTest::LiveRoom(int build, int floor, int room, const std::string &column)
{
    CADOMyRecordset rs(&m_server->m_db);
    const std::string sql = "select " + column + " as V from ##REALTIMEROOM where BUILD = " + std::to_string(build) +
                            " and FLOOR = " + std::to_string(floor) + " and ROOMNUM = " + std::to_string(room);
    EXPECT_TRUE(rs.Exec(sql)) << rs.GetLastErrorText();
    if (rs.IsEof())
        return -1;
    return std::atoi(rs.GetFieldString("V").c_str());
}

std::vector<std::vector<int>> ReportTest::FanCoilRows()
{
    static const char *const kColumns[] = {"build_num",  "floor_num", "room_num",    "fengji_halt", "fengji_ctrl",
                                           "fengji_speed", "temp_sensor", "set_temp", "cur_temp",    "value_state",
                                           "comm_state", "season_mode", "fengji_id"};
    CADOMyRecordset rs(&m_server->m_db);
    EXPECT_TRUE(rs.Exec("select * from fengji_his order by HIS_INDEX")) << rs.GetLastErrorText();
    std::vector<std::vector<int>> rows;
    for (; !rs.IsEof(); rs.MoveNext()) {
        std::vector<int> row;
        for (const char *column : kColumns)
            row.push_back(std::atoi(rs.GetFieldString(column).c_str()));
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::string> ReportTest::LogLinesSince(int first)
{
    const QStringList lines = m_server->LogModel().stringList();
    std::vector<std::string> out;
    for (qsizetype i = first; i < lines.size(); ++i) {
        // Without the "[%H:%M]  " stamp.
        out.push_back(platform::GbkFromQString(lines[i].mid(9)).toStdString());
    }
    return out;
}

CRoom &ReportTest::Room(int build, int floor, int room)
{
    CRoom *found = m_server->m_hotel.FindRoom(build, floor, room);
    EXPECT_NE(found, nullptr);
    return *found;
}

void ReportTest::ClearMarks()
{
    for (CRoom *room = m_server->m_hotel.GetFirstRoom(); room; room = m_server->m_hotel.GetNextRoom())
        room->m_changed = 0;
    m_server->m_newEvent = 0;
}
