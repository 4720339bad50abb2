// The one recordset and SQL text on which the datagram handlers run their
// statements, and their log line for a changed room. Every statement is fire-and-forget: a failure changes nothing
// of what the handler has already decided.
#include "console/kelvor_dlg.h"

#include <cstdio>
#include <string_view>

CADOMyRecordset &CKelvorDlg::DispatchRecordset()
{
    if (!m_dispatchRecordset)
        m_dispatchRecordset = std::make_unique<CADOMyRecordset>(&m_db);
    return *m_dispatchRecordset;
}

void CKelvorDlg::ExecDispatchSql(int length)
{
    if (length < 0)
        return;
    CADOMyRecordset &recordset = DispatchRecordset();
    recordset.Exec(std::string_view(m_dispatchSql, static_cast<size_t>(length)));
    recordset.Close();
}

void CKelvorDlg::LogRoomChanged(int build, int floor, int room, int changeCode)
{
    std::snprintf(m_logText, sizeof m_logText, "%d|%d%02d房间状态改变 (code:%d)", build, floor, room, changeCode);
    AddLog(m_logText);
}
