// What the operator's buttons do to the room units and the database. The
// window asks for files and selections and calls these; each runs within one
// handler on the user-interface thread, so m_sendBuf is theirs while they run.
#include "console/kelvor_dlg.h"

#include "database/ado_recordset.h"
#include "database/sql_quote.h"
#include "platform/error_line.h"
#include "platform/message_box.h"
#include "protocol/device_com_ctrl.h"
#include "protocol/frame_codes.h"
#include "protocol/udp_socket.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

// Longer than any one step of the poller between two looks at its gate: a
// statement, or a reconnect within its login time-out.
constexpr std::chrono::milliseconds kPollerPauseLimit{15000};

CDeviceComCtrl Command(uint32_t code, uint32_t build, uint32_t floor, uint32_t room)
{
    CDeviceComCtrl cmd;
    cmd.AddressUnsequenced(code, build, floor, room);
    return cmd;
}

} // namespace

void CKelvorDlg::OnBtnRefreshState()
{
    const CDeviceComCtrl cmd = Command(RCU_REFRESH, 255, 255, 255);
    SendToRcuBroadcast(cmd.BuildFrame(m_sendBuf, sizeof m_sendBuf));
}

// The meter test goes to room 1|201 at the port its unit last sent from.
void CKelvorDlg::OnBtnTest()
{
    CDeviceComCtrl cmd = Command(RCU_METER_TEST, 1, 2, 1);
    cmd.m_control = 3;
    cmd.m_time = Now();
    const int length = cmd.BuildFrame(m_sendBuf, sizeof m_sendBuf);
    CRoom *room = m_hotel.FindRoom(1, 2, 1);
    if (!room)
        return;
    SendUdp(length, room->m_rcuPort, room->GetIPString().c_str());
    std::snprintf(m_logText, sizeof m_logText, "<foxhis>接口软件向%d|%d%02d房间发送指令", 1, 2, 1);
    AddLog(m_logText);
}

namespace {

// The two queries name every room in the frame but go to the selected one.
void QueryRoom(CKelvorDlg &server, CRoom *room, uint32_t code, uint32_t answerWanted)
{
    if (!room)
        return;
    CDeviceComCtrl cmd = Command(code, 255, 255, 255);
    cmd.m_answerWanted = answerWanted;
    const int length = cmd.BuildFrame(server.m_sendBuf, sizeof server.m_sendBuf);
    char address[16];
    FormatIPv4(room->m_rcuIp, address);
    server.SendUdp(length, server.RcuPort(), address);
    std::snprintf(server.m_logText, sizeof server.m_logText, "[发送] 向%d|%d%02d房间发送命令(cmd:0x%X)",
                  room->m_buildNum, room->m_floorNum, room->m_roomNum, code);
    server.AddLog(server.m_logText);
}

} // namespace

void CKelvorDlg::OnBtnGetRoomState(CRoom *selected) { QueryRoom(*this, selected, RCU_ROOM_STATE_QUERY, 0); }

void CKelvorDlg::OnBtnGetHostTime(CRoom *selected) { QueryRoom(*this, selected, RCU_TIME_QUERY, 1); }

// Reopens with the stored connection string. Only the connection comes
// back: the hotel, addresses, live-room table, poller and timers stay as
// start-up left them.
void CKelvorDlg::OnBtnLoginDb()
{
    if (m_db.IsOpen()) {
        platform::MessageBox("SQL SERVER服务器已经登录!");
        return;
    }
    if (!m_db.Open())
        return;
    m_connectedSince = Now();
    if (ReadLastEventIndex())
        m_newEvent = 0;
    SetOptionDatabase(&m_db);
    emit StatusChanged();
}

std::string CKelvorDlg::BackupFileName() const
{
    const time_t now = static_cast<time_t>(Now());
    struct tm local {};
    localtime_r(&now, &local);
    char name[64];
    std::snprintf(name, sizeof name, "velto%d%02d%02d-%02d%02d%02d.bak", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return name;
}

void CKelvorDlg::BackupDatabase(const std::string &path)
{
    if (!m_db.IsOpen())
        return;
    CADOMyRecordset rs(&m_db);
    if (rs.Exec("BACKUP DATABASE velto\r\nTO DISK ='" + database::SqlQuote(path) + "'"))
        platform::MessageBox("数据库成功备份");
    rs.Close();
}

// SQL Server restores a database only while no other connection uses it.
// The server's own connection steps over to master for the restore (keeping
// the connection, and with it the live-room table) and back again; the PMS
// poller's connection is closed for the restore and reopened after it.
// Event rows written after the backup are gone, so the highest
// pushed event index is read again; otherwise the monitor would hold back
// every new event until the numbering passed the old maximum.
void CKelvorDlg::RestoreDatabase(const std::string &path)
{
    if (!m_db.IsOpen())
        return;
    if (platform::MessageBox("警告：该操作将使数据库恢复到指定文件的备份状态，所有备份后的数据将丢失，是否继续操作？",
                             platform::MsgButtons::YesNo, platform::MsgAnswer::No) != platform::MsgAnswer::Yes)
        return;
    // On SQL Server the poller's reads wait for the rows an open batch has
    // written; committed first, it can come to its hold.
    m_db.CommitBatch();
    if (!m_pmsPollerGate.Pause(kPollerPauseLimit))
        platform::WriteErrorLine("restore", "the PMS poller has not closed its database connection; restoring anyway");
    CADOMyRecordset rs(&m_db);
    // The switches of database go unchecked: a failing one shows in the
    // restore's own result, or in the first statement after it.
    rs.Exec("use master");
    rs.Close();
    const bool restored =
        rs.Exec("RESTORE DATABASE velto\r\nFROM DISK ='" + database::SqlQuote(path) + "'\r\nWITH REPLACE\r\n");
    if (!restored)
        platform::WriteErrorLine("database restore failed", rs.GetLastErrorText());
    rs.Close();
    rs.Exec("use velto");
    rs.Close();
    m_pmsPollerGate.Resume();
    if (!restored)
        return;
    m_lastEventIndex = 0;
    ReadLastEventIndex();
    platform::MessageBox("数据库成功恢复");
}
