// Start-up's database work: the connection with its first-start repair, the
// bookkeeping of a fresh connection, the hotel, the live-room table and the
// names of rooms and buildings.
#include "console/kelvor_dlg.h"

#include "database/ado_recordset.h"
#include "database/com_error.h"
#include "database/sql_quote.h"
#include "model/hotel_conf.h"
#include "platform/decimal_text.h"
#include "platform/error_line.h"
#include "platform/gbk.h"
#include "platform/message_box.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

constexpr const char *kRepairFailed = "first-start repair statement failed";
constexpr const char *kServerLogin = "Driver={SQL Server};Server=127.0.0.1;Uid=velto;Pwd=qubra;";
constexpr const char *kLiveRoomIndex = "CREATE INDEX IX_REALTIMEROOM_ROOM ON ##REALTIMEROOM (BUILD, FLOOR, ROOMNUM)";

// The first 29 bytes of a name column into a 30-byte field.
void CopyName(char (&field)[30], const std::string &text)
{
    const size_t n = text.size() < 29 ? text.size() : 29;
    std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, sizeof field - n);
}

// A value for a connection string: as typed, unless it holds a character that
// would end it or open another attribute; then braced, with "}" doubled.
std::string ConnectionValue(const std::string &value)
{
    if (value.empty() || (value.find_first_of(";{}") == std::string::npos && value.front() != ' ' && value.back() != ' '))
        return value;
    std::string braced = "{";
    for (char c : value) {
        braced += c;
        if (c == '}')
            braced += '}';
    }
    return braced + "}";
}

// A statement whose failure changes nothing of what follows (the first-start
// repair, where the reopen decides the mode; the live-room table, without
// which the rooms are still served from memory) is still told, for whoever
// looks for the cause.
void RunAndTellFailure(CADOMyRecordset &rs, const char *what, const std::string &sql)
{
    rs.ExecOrTell(sql, what);
    rs.Close();
}

bool ColumnExists(CADOMyRecordset &rs, const char *probe)
{
    return rs.Exec(probe) && rs.GetRecordCount() > 0 && !rs.IsFieldNull(0);
}

// A room's row of the room address table.
struct RoomAddress {
    uint32_t rcuIp = 0;
    uint32_t gatewayIp = 0;
    int32_t unitCode = 0;
    std::string name;
};
using RoomKey = std::array<int32_t, 3>; // building, floor, room

// The whole room address table in one query: a query of its own for each
// room cost a large hotel's start-up more than everything else. Of two rows
// for one room the first read stands, as a room's own query would read one.
std::map<RoomKey, RoomAddress> ReadRoomAddresses(CADOMyRecordset &rs, bool hasName)
{
    std::map<RoomKey, RoomAddress> rooms;
    if (!rs.ExecOrTell("select * from room_ip_list", "room addresses not read"))
        return rooms;
    for (; !rs.IsEof(); rs.MoveNext()) {
        const RoomKey key{platform::LeadingDecimal(rs.GetFieldString("BUILD_NUM")),
                          platform::LeadingDecimal(rs.GetFieldString("FLOOR_NUM")),
                          platform::LeadingDecimal(rs.GetFieldString("ROOM_NUM"))};
        if (rooms.count(key) != 0)
            continue;
        RoomAddress &room = rooms[key];
        room.rcuIp = static_cast<uint32_t>(platform::LeadingDecimal(rs.GetFieldString("IP_ADDR")));
        if (hasName)
            room.name = rs.GetFieldString("RMNAME");
        room.gatewayIp = static_cast<uint32_t>(platform::LeadingDecimal(rs.GetFieldString("IP_ADDR2")));
        room.unitCode = platform::LeadingDecimal(rs.GetFieldString("ADDR"));
    }
    rs.Close();
    return rooms;
}

} // namespace

// Every outcome but an open connection is told on stderr with the engine's
// own reason, beside whatever box the outcome shows (or none).
CKelvorDlg::Bringup CKelvorDlg::BringUpDatabase()
{
    if (m_db.Open(kServerLogin, "", ""))
        return Bringup::Open;
    switch (m_db.GetLastError()) {
    case database::kErrServerNotAnswering:
        platform::WriteErrorLine("kelvor-server: the database did not open", m_db.GetErrorDescription());
        platform::MessageBox("数据库服务器无响应，请检查SQLServer服务器是否就绪。");
        return Bringup::Closed;
    case database::kErrLoginGivenUp:
        // A shutdown signal came during the login: start-up ends, and the
        // shutdown follows at once.
        return Bringup::Failed;
    case database::kErrLoginRefused:
        platform::WriteErrorLine("kelvor-server: the database login was refused", m_db.GetErrorDescription());
        return RunRepairPath() ? (m_db.IsOpen() ? Bringup::Open : Bringup::Closed) : Bringup::Failed;
    default:
        platform::WriteErrorLine("kelvor-server: the database did not open", m_db.GetErrorDescription());
        return Bringup::Failed;
    }
}

// The first start on a server without the database: log in as the
// administrator, restore velto.bak from the current directory, create the
// server's login and reconnect with it. False when a step before the
// reconnect fails.
bool CKelvorDlg::RunRepairPath()
{
    std::string password;
    if (!m_askAdminPassword || !m_askAdminPassword(password))
        return false;
    const std::string adminLogin = "Driver={SQL Server};Server=127.0.0.1;Uid=sa;Pwd=" + ConnectionValue(password) + ";";
    if (!m_db.Open(adminLogin, "", "")) {
        if (m_db.GetLastError() == database::kErrLoginGivenUp) {
            ForgetAdminLogin();
            return false;
        }
        platform::WriteErrorLine("kelvor-server: the administrator login failed", m_db.GetErrorDescription());
        platform::MessageBox("数据库sa用户登录失败！无法创建数据库");
        ForgetAdminLogin();
        return false;
    }
    const std::string dir = platform::GbkFromQString(QDir::currentPath()).left(1024).toStdString();
    if (!QFileInfo::exists(QStringLiteral("velto.bak"))) {
        platform::WriteErrorLine("kelvor-server: the first-start repair has nothing to restore",
                                 "no velto.bak in " + dir);
        platform::MessageBox("未找到数据库文件velto.bak");
        ForgetAdminLogin();
        return false;
    }
    const std::string quotedDir = database::SqlQuote(dir);
    CADOMyRecordset rs(&m_db);
    RunAndTellFailure(rs, kRepairFailed,
                      "RESTORE  DATABASE velto\r\nFROM DISK ='" + quotedDir +
                          "\\velto.bak'\r\nWITH MOVE 'velto_data' TO '" + quotedDir +
                          "\\velto.mdf',\r\nMOVE 'velto_log' TO '" + quotedDir + "\\velto.ldf'\r\n");
    RunAndTellFailure(rs, kRepairFailed, "use velto");
    RunAndTellFailure(rs, kRepairFailed, "EXEC sp_addlogin 'velto', 'qubra', 'velto'");
    RunAndTellFailure(rs, kRepairFailed, "EXEC sp_change_users_login 'Update_One', 'velto', 'velto'");
    m_db.Close();
    // The caller reads the outcome from IsOpen: the reopen decides the mode.
    m_db.Open("Driver={SQL Server};Server=.;Uid=velto;Pwd=qubra;", "", "");
    return true;
}

// After a failed repair the connection must not stay open as the
// administrator, nor keep the administrator's password as the connection
// string that the status line shows and the database login reopens.
void CKelvorDlg::ForgetAdminLogin()
{
    // Whether this open succeeds does not matter: it only puts the server's
    // own connection string back, and the connection is closed at once.
    m_db.Open(kServerLogin, "", "");
    m_db.Close();
}

bool CKelvorDlg::ReadHighestEventIndex(uint64_t &index)
{
    CADOMyRecordset rs(&m_db);
    if (!rs.Exec("select MAX(MSG_INDEX) as RET from event_msg_list"))
        return false;
    if (rs.GetRecordCount() > 0)
        index = std::strtoull(rs.GetFieldString("RET").c_str(), nullptr, 10);
    rs.Close();
    return true;
}

bool CKelvorDlg::ReadLastEventIndex() { return ReadHighestEventIndex(m_lastEventIndex); }

// The event rows of a lost batch are gone, and the engine hands their
// MSG_INDEX values out again (SQLite's AUTOINCREMENT counter rolls back with
// them): an index left past the committed rows would skip the rows that
// reuse them. Rows committed and not yet pushed stay above it.
void CKelvorDlg::RewindEventIndex()
{
    uint64_t committed = m_lastEventIndex;
    if (ReadHighestEventIndex(committed))
        m_lastEventIndex = std::min(m_lastEventIndex, committed);
}

void CKelvorDlg::ConnectionBookkeeping()
{
    ReadLastEventIndex();
    m_newEvent = 0;
    m_statementsFailing = false;
    m_connectedSince = Now();
    SetOptionDatabase(&m_db);

    int disabled = 0;
    if (GetSysOption1(&disabled).empty())
        SetOptionInt(1, 2, 0);
    if (GetSysOption2(&disabled).empty())
        SetOptionInt(2, 5, 0);
}

void CKelvorDlg::LoadHotel()
{
    HotelConf conf = LoadHotelConf(kHotelConfFile);
    for (const std::string &message : conf.messages)
        AddLog(message);
    m_hotelName = conf.name;
    m_hotelAddress = conf.address;
    m_hotel.SetLayout(std::move(conf.layout));
    m_hotel.BuildRooms();
}

void CKelvorDlg::CreateLiveRoomTable()
{
    CADOMyRecordset rs(&m_db);
    RunAndTellFailure(rs, "live-room table not made",
                      "CREATE TABLE ##REALTIMEROOM ([INDEX] [int] IDENTITY (1, 1) NOT NULL ,"
                      "[BUILD] [tinyint] NOT NULL ,[FLOOR] [tinyint] NOT NULL ,[ROOMNUM] [tinyint] NOT NULL ,"
                      "[CLEAN] [tinyint] NOT NULL ,[DND] [tinyint] NOT NULL ,[RMSTATE] [tinyint] NOT NULL,"
                      "[CHECKOUT] [tinyint] NOT NULL,[SERVICE] [tinyint] NOT NULL,[CALL] [tinyint] NOT NULL,"
                      "[CARDIN] [tinyint] NOT NULL,[DOOR] [tinyint] NOT NULL) ON [PRIMARY]");
    // Every live-room update finds its room by these three: without the
    // index each one reads the whole table, and a storm of reports on a
    // hotel of thousands of rooms runs at a few hundred a second.
    RunAndTellFailure(rs, "live-room index not made", kLiveRoomIndex);
    m_roomList.clear();
    m_roomList.push_back({"所有房间", nullptr});

    const bool hasName = ColumnExists(rs, "select col_length('room_ip_list', 'RMNAME')");
    rs.Close();
    const std::map<RoomKey, RoomAddress> addresses = ReadRoomAddresses(rs, hasName);
    char sql[256];
    int failedRows = 0;
    std::string firstError;
    // The rows in one transaction: a commit for each would cost a large
    // hotel's start-up thousands of them. Refused, they go in one by one.
    const bool together = m_db.BeginTransaction();
    if (!together)
        platform::WriteErrorLine("live-room rows committed one by one", m_db.GetErrorDescription());
    for (CRoom *room = m_hotel.GetFirstRoom(); room; room = m_hotel.GetNextRoom()) {
        const auto found = addresses.find({room->m_buildNum, room->m_floorNum, room->m_roomNum});
        if (found != addresses.end()) {
            room->m_rcuIp = found->second.rcuIp;
            if (hasName)
                CopyName(room->m_name, found->second.name);
            room->m_gatewayIp = found->second.gatewayIp;
            room->m_unitCode = found->second.unitCode;
        } else {
            room->m_rcuIp = 0;
            room->m_gatewayIp = 0;
            room->m_unitCode = 0;
        }
        std::snprintf(sql, sizeof sql, "%d|%d%02d", room->m_buildNum, room->m_floorNum, room->m_roomNum);
        m_roomList.push_back({sql, room});
        std::snprintf(sql, sizeof sql,
                      "insert into ##REALTIMEROOM(BUILD, FLOOR, ROOMNUM, CLEAN, DND, RMSTATE, CHECKOUT, SERVICE,"
                      "CALL, CARDIN, DOOR)values(%d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d)",
                      room->m_buildNum, room->m_floorNum, room->m_roomNum, 0, 0, 1, 0, 0, 0, 0, 0);
        if (!rs.Exec(sql) && ++failedRows == 1)
            firstError = rs.GetLastErrorText();
        rs.Close();
    }
    if (together && !m_db.CommitTransaction())
        platform::WriteErrorLine("live-room rows lost", m_db.GetErrorDescription());
    if (failedRows != 0)
        platform::WriteErrorLine(("live-room rows failed: " + std::to_string(failedRows) + ", the first").c_str(),
                                 firstError);
}

void CKelvorDlg::LoadBuildingNames()
{
    CADOMyRecordset rs(&m_db);
    const bool hasName = ColumnExists(rs, "select col_length('build_name', 'BDNAME')");
    rs.Close();
    char sql[128];
    for (int i = 0; i < m_hotel.GetBuildCount(); ++i) {
        CBuild *build = m_hotel.GetBuild(i);
        std::snprintf(sql, sizeof sql, "select * from build_name\r\nwhere\r\nBUILD_NUM=%d", build->m_buildNum);
        if (rs.Exec(sql) && rs.GetRecordCount() > 0 && hasName)
            CopyName(build->m_name, rs.GetFieldString("BDNAME"));
        rs.Close();
    }
}
