// The online users list: one row per online client in list order, the
// login time and the whole minutes since, refreshed by the server's signals.
#include "dialog_fixture.h"

#include "console/widgets/dlg_client.h"

#include <QAbstractItemDelegate>
#include <QHeaderView>
#include <QStyleOptionViewItem>
#include <QTableWidget>
#include <cstring>
#include <ctime>

class ClientListTest : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        m_dialog = std::make_unique<CDlgClient>(m_server.get(), nullptr);
    }
    void TearDown() override
    {
        m_dialog.reset();
        DialogTest::TearDown();
    }
    void AddClient(const char *user, int type, const char *address, uint16_t port, int64_t loginAgo, bool loggedIn = true)
    {
        auto client = std::make_unique<COnlineClient>();
        std::strcpy(client->m_userInfo.userName, user);
        client->m_userInfo.USER_TYPE = static_cast<uint8_t>(type);
        client->m_peerAddress = address;
        client->m_peerPort = port;
        client->m_loggedIn = loggedIn ? 1 : 0;
        client->m_loginTime = loggedIn ? m_now - loginAgo : 0;
        client->m_lastActivity = m_now;
        m_server->m_clients.push_back(std::move(client));
    }
    QString Cell(int row, int column) const { return m_dialog->List()->item(row, column)->text(); }

    std::unique_ptr<CDlgClient> m_dialog;
};

TEST_F(ClientListTest, ColumnsAndAnEmptyList)
{
    QTableWidget *list = m_dialog->List();
    EXPECT_EQ(m_dialog->windowTitle(), T("在线联机用户"));
    const char *titles[] = {"序号", "用户名称", "用户身份", "IP地址", "端口号", "登录时间", "连接时间"};
    const int widths[] = {42, 78, 60, 94, 50, 128, 60};
    EXPECT_FALSE(list->showGrid()) << "only the address table has grid lines";
    ASSERT_EQ(list->columnCount(), 7);
    for (int c = 0; c < 7; ++c) {
        EXPECT_EQ(list->horizontalHeaderItem(c)->text(), T(titles[c]));
        EXPECT_EQ(list->columnWidth(c), widths[c]);
    }
    m_dialog->RefreshList();
    EXPECT_EQ(list->rowCount(), 0);
}

TEST_F(ClientListTest, RowsInListOrderWithWholeMinutesSinceLogin)
{
    AddClient("前台", 1, "10.0.0.5", 4001, 59);
    AddClient("admin", 0, "10.0.0.6", 4002, 61);
    AddClient("guest", 2, "10.0.0.7", 4003, 0, false);
    m_dialog->RefreshList();
    ASSERT_EQ(m_dialog->List()->rowCount(), 3);

    const time_t login = static_cast<time_t>(m_now - 59);
    struct tm local {};
    localtime_r(&login, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    const QStringList first = {"1", T("前台"), "1", "10.0.0.5", "4001", QString::fromLatin1(text), "0min"};
    for (int c = 0; c < 7; ++c)
        EXPECT_EQ(Cell(0, c), first[c]) << c;
    EXPECT_EQ(Cell(1, 0), QStringLiteral("2"));
    EXPECT_EQ(Cell(1, 6), QStringLiteral("1min"));
    // Registered but not logged in: no times.
    EXPECT_EQ(Cell(2, 0), QStringLiteral("3"));
    EXPECT_EQ(Cell(2, 1), QStringLiteral("guest"));
    EXPECT_EQ(Cell(2, 5), QString());
    EXPECT_EQ(Cell(2, 6), QString());
}

TEST_F(ClientListTest, LoginAndRemovalRefreshTheList)
{
    AddClient("a", 0, "10.0.0.5", 4001, 10);
    emit m_server->OnlineClientAdded();
    EXPECT_EQ(m_dialog->List()->rowCount(), 1);
    m_server->m_clients.clear();
    emit m_server->OnlineClientRemoved();
    EXPECT_EQ(m_dialog->List()->rowCount(), 0);
}

// Every title and every cell shows whole: a column is at least as wide as the
// list's own measure of its texts (the login time, a long user name), and
// never narrower than its width in the table above.
TEST_F(ClientListTest, ColumnsFitTheirTexts)
{
    AddClient("前台接待员一号工作站", 12, "192.168.100.200", 65535, 3599);
    AddClient("admin", 0, "10.0.0.6", 4002, 61);
    m_dialog->RefreshList();
    m_dialog->show();
    Screenshot(m_dialog.get(), "online_users");
    QTableWidget *list = m_dialog->List();
    QStyleOptionViewItem option;
    option.initFrom(list);
    option.font = list->font();
    const int widths[] = {42, 78, 60, 94, 50, 128, 60};
    for (int c = 0; c < list->columnCount(); ++c) {
        EXPECT_GE(list->columnWidth(c), widths[c]) << c;
        EXPECT_GE(list->columnWidth(c), list->horizontalHeader()->sectionSizeHint(c))
            << list->horizontalHeaderItem(c)->text().toStdString();
        for (int r = 0; r < list->rowCount(); ++r)
            EXPECT_GE(list->columnWidth(c), list->itemDelegate()->sizeHint(option, list->model()->index(r, c)).width())
                << Cell(r, c).toStdString();
    }
    EXPECT_LE(list->horizontalHeader()->length(), list->viewport()->width()) << "no scrolling sideways";
}
