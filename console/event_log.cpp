// The event log every part of the server writes to, and the status texts of
// the window.
#include "console/kelvor_dlg.h"
#include "platform/error_line.h"
#include "platform/gbk.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

// The list selects one line at most (the window's list is single-selection,
// and this file selects with ClearAndSelect), so asking whether one row is
// selected tells which: cheaper than listing the selection, and it runs for
// every line a storm of reports logs. Row -1 stands for "no selection".
bool RowSelected(const QItemSelectionModel &selection, int row)
{
    return row < 0 ? !selection.hasSelection() : selection.isRowSelected(row);
}

void SelectRow(QItemSelectionModel &selection, QStringListModel &model, int row)
{
    selection.setCurrentIndex(model.index(row), QItemSelectionModel::ClearAndSelect);
}

} // namespace

void CKelvorDlg::AddLog(std::string_view text, int /*unused*/)
{
    if (m_logModel.rowCount() >= kLogLines) {
        if (RowSelected(m_logSelection, 0))
            SelectRow(m_logSelection, m_logModel, 1);
        m_logModel.removeRows(0, 1);
    }
    const time_t now = static_cast<time_t>(Now());
    // Local time changes its minute where UTC does (every zone is whole
    // minutes off UTC): a storm's lines share one stamp.
    if (now / 60 != m_logStampMinute) {
        struct tm local {};
        std::strcpy(m_logStamp, "[00:00]  ");
        if (localtime_r(&now, &local))
            std::snprintf(m_logStamp, sizeof m_logStamp, "[%02d:%02d]  ", local.tm_hour, local.tm_min);
        m_logStampMinute = now / 60;
    }
    const char *stamp = m_logStamp;

    const int n = m_logModel.rowCount();
    m_logModel.insertRows(n, 1);
    m_logModel.setData(m_logModel.index(n), QString::fromLatin1(stamp) + platform::QStringFromGbk(text));
    // A selection on the line before follows the new line; so does "no
    // selection" when the list was empty (-1 = 0 - 1).
    if (RowSelected(m_logSelection, n - 1))
        SelectRow(m_logSelection, m_logModel, n);
    if (m_logToStderr)
        platform::WriteStderrLine(static_cast<int64_t>(now), text);
}

StatusTexts CKelvorDlg::GetStatusTexts() const
{
    StatusTexts t;
    char buf[256];
    t.dbOpen = m_db.IsOpen();
    if (t.dbOpen) {
        int64_t span = Now() - m_connectedSince;
        if (span < 0)
            span = 0;
        std::snprintf(buf, sizeof buf, "[%lld天 %02lld时 %02lld分]", static_cast<long long>(span / 86400),
                      static_cast<long long>(span % 86400 / 3600), static_cast<long long>(span % 3600 / 60));
        t.dbState = std::string("SQL SERVER数据库服务器连接成功! ") + buf;
        std::snprintf(buf, sizeof buf, "%d/%d", m_rcuKnownCount, m_rcuRecvCount);
        t.rcuRecv = buf;
        t.rcuSend = std::to_string(m_rcuSendCount);
        t.clientRecv = std::to_string(m_clientRecvCount);
        t.clientSend = std::to_string(m_clientSendCount);
    } else {
        t.dbState = std::string("服务器未连接!") + "  <连接" + std::string(m_db.GetConnectionString()) + ">";
    }
    t.hotelName = m_hotelName;
    t.hotelAddress = m_hotelAddress;
    t.hotelInfo = m_hotelName;
    const int total = m_hotel.GetTotalRooms();
    std::snprintf(buf, sizeof buf, "总房间数%d", total);
    t.totalRooms = buf;
    std::snprintf(buf, sizeof buf, "房间数:%d", total);
    t.roomCount = buf;
    return t;
}
