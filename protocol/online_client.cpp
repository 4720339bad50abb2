// The online client's login, and the lifetime of the main window's online
// clients: expiry of silent ones and freeing at shutdown.
#include "protocol/online_client.h"

#include "console/kelvor_dlg.h"
#include "database/ado_recordset.h"
#include "database/sql_quote.h"
#include "platform/decimal_text.h"

#include <algorithm>

namespace {

uint8_t LowByte(const std::string &text) { return static_cast<uint8_t>(platform::LeadingDecimal(text)); }

void CopyText(char (&field)[stUserInfo::kTextSize], std::string_view text)
{
    const size_t n = std::min(text.size(), stUserInfo::kTextSize - 1);
    std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, stUserInfo::kTextSize - n);
}

} // namespace

int COnlineClient::Login(CADODatabase &db, std::string_view userName, std::string_view password, int64_t now)
{
    userName = userName.substr(0, stUserInfo::kTextSize - 1);
    password = password.substr(0, stUserInfo::kTextSize - 1);
    CADOMyRecordset recordset(&db);
    std::string sql = "Select * from user_password\r\nwhere\r\nuser_name = '" + database::SqlQuote(userName) +
                      "' and password = '" + database::SqlQuote(password) + "'";
    if (!recordset.Exec(sql) || !recordset.IsOpen() || recordset.IsEof()) {
        recordset.Close();
        return 0;
    }

    m_loggedIn = 1;
    CopyText(m_userInfo.userName, userName);
    CopyText(m_userInfo.password, password);
    m_loginTime = m_lastActivity = now;

    m_userInfo.USER_ID = platform::LeadingDecimal(recordset.GetFieldString("USER_ID"));
    m_userInfo.USER_TYPE = LowByte(recordset.GetFieldString("USER_TYPE"));
    m_userInfo.BUILD_NUM = LowByte(recordset.GetFieldString("BUILD_NUM"));
    m_userInfo.FLOOR_NUM = LowByte(recordset.GetFieldString("FLOOR_NUM"));
    CopyText(m_userInfo.REG_TIME, recordset.GetFieldString("REG_TIME"));
    m_userInfo.GROUP_ID = LowByte(recordset.GetFieldString("GROUP_ID"));
    recordset.Close();

    if (m_userInfo.GROUP_ID == 0) {
        std::fill(std::begin(m_userInfo.rights), std::end(m_userInfo.rights), uint8_t{1});
    } else {
        sql = "select * from user_group \r\nwhere\r\nGROUP_TYPE=" + std::to_string(m_userInfo.GROUP_ID);
        if (!recordset.Exec(sql)) {
            recordset.Close();
            return 0;
        }
        if (recordset.IsOpen() && !recordset.IsEof())
            for (size_t i = 0; i < stUserInfo::kRightCount; ++i)
                m_userInfo.rights[i] = LowByte(recordset.GetFieldString(kUserRightColumns[i]));
        recordset.Close();
    }

    // The title and the content are GBK: "用户登录", "<name>登录服务器".
    const std::string content = database::SqlQuote(std::string(m_userInfo.userName) + "登录服务器");
    sql = "Insert into system_run_log(msg_title, msg_content, msg_type)values('用户登录', '" + content + "', 1)";
    // The login stands without its log row; the failure is only told.
    recordset.ExecOrTell(sql, "login log row failed");
    recordset.Close();
    return 1;
}

uint16_t CKelvorDlg::BuildClientFrame(uint8_t *frame, const CMsg &msg, bool secondPart)
{
    const OnlineClientsView view(m_clients);
    return ::BuildClientFrame(frame, kFrameBufferSize, msg, secondPart, ClientFrameContext{&view});
}

void CKelvorDlg::RemoveOnlineClient(size_t index)
{
    std::unique_ptr<COnlineClient> gone = std::move(m_clients[index]);
    m_clients.erase(m_clients.begin() + static_cast<std::ptrdiff_t>(index));
    emit OnlineClientRemoved();
}

// Only login and keep-alive refresh the activity time, so a workstation that
// stops sending keep-alives goes after 51 silent seconds.
void CKelvorDlg::ExpireOnlineClients(int64_t now)
{
    for (size_t i = 0; i < m_clients.size();) {
        if (now - m_clients[i]->m_lastActivity > 50)
            RemoveOnlineClient(i);
        else
            ++i;
    }
}

void CKelvorDlg::FreeOnlineClients() { m_clients.clear(); }
