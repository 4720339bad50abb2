// The one recordset and SQL text on which the datagram handlers run their
// statements, and their log line for a changed room. Every statement is fire-and-forget: a failure changes nothing
// of what the handler has already decided, but it is told: on standard error
// (throttled) and once a connection in the event log.
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
    if (!recordset.Exec(std::string_view(m_dispatchSql, static_cast<size_t>(length))))
        ReportFailedStatement(recordset);
    recordset.Close();
}

void CKelvorDlg::ReportFailedStatement(const CADORecordset &recordset)
{
    ReportFailedStatement(recordset.GetLastErrorText());
}

void CKelvorDlg::ReportFailedStatement(const std::string &diagnostic)
{
    m_statementErrors.Write(Now(), "event statement failed", diagnostic);
    if (!m_statementsFailing) {
        m_statementsFailing = true;
        AddLog("*事件记录写入数据库失败*");
    }
}

void CKelvorDlg::LogRoomChanged(int build, int floor, int room, int changeCode)
{
    std::snprintf(m_logText, sizeof m_logText, "%d|%d%02d房间状态改变 (code:%d)", build, floor, room, changeCode);
    AddLog(m_logText);
}
