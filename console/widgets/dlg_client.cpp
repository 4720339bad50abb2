#include "console/widgets/dlg_client.h"

#include "console/kelvor_dlg.h"
#include "console/widgets/dialog_buttons.h"
#include "console/widgets/gui_text.h"
#include "console/widgets/list_columns.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <ctime>

namespace {

// "注册时间" closes the title table of the original list; no column shows it.
constexpr ListColumn kColumns[] = {
    {"序号", 42},     {"用户名称", 78}, {"用户身份", 60}, {"IP地址", 94},
    {"端口号", 50},   {"登录时间", 128}, {"连接时间", 60},
};

QString LocalTime(int64_t seconds)
{
    const time_t t = static_cast<time_t>(seconds);
    struct tm local {};
    if (!localtime_r(&t, &local))
        return {};
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return QString::fromLatin1(text);
}

} // namespace

CDlgClient::CDlgClient(CKelvorDlg *server, QWidget *parent) : QDialog(parent), m_server(server)
{
    setWindowTitle(GuiText("在线联机用户"));
    m_list = new QTableWidget(this);
    m_list->setObjectName("1003");
    InsertColumns(m_list, kColumns, static_cast<int>(std::size(kColumns)));
    FitWidthToColumns(m_list);
    QDialogButtonBox *buttons = OkCancelButtons(this, &QDialog::hide, &QDialog::hide);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addWidget(buttons);
    resize(sizeHint());
    connect(m_server, &CKelvorDlg::OnlineClientAdded, this, &CDlgClient::RefreshList);
    connect(m_server, &CKelvorDlg::OnlineClientRemoved, this, &CDlgClient::RefreshList);
}

void CDlgClient::RefreshList()
{
    m_list->setRowCount(0);
    const int64_t now = m_server->Now();
    int row = 0;
    for (const auto &client : m_server->m_clients) {
        m_list->insertRow(row);
        const stUserInfo &user = client->m_userInfo;
        SetCell(m_list, row, 0, QString::number(row + 1));
        SetCell(m_list, row, 1, platform::QStringFromGbk(platform::FieldText(user.userName, sizeof user.userName)));
        SetCell(m_list, row, 2, QString::number(user.USER_TYPE));
        SetCell(m_list, row, 3, QString::fromStdString(client->m_peerAddress));
        SetCell(m_list, row, 4, QString::number(client->m_peerPort));
        const bool loggedIn = client->m_loggedIn != 0;
        SetCell(m_list, row, 5, loggedIn ? LocalTime(client->m_loginTime) : QString());
        SetCell(m_list, row, 6,
                loggedIn ? QStringLiteral("%1min").arg((now - client->m_loginTime) / 60) : QString());
        ++row;
    }
    FitWidthToColumns(m_list);
}
