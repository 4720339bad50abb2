// The operator window over a server that has started in full mode on its
// fixed ports: status, room selector, tray menu, and a screenshot of it all
// (saved where KELVOR_SCREENSHOT says, when set).
#include "dialog_fixture.h"

#include "console/widgets/dlg_client.h"
#include "console/widgets/dlg_ip_list.h"
#include "console/widgets/dlg_param.h"
#include "console/widgets/dlg_setting.h"
#include "console/widgets/dlg_sql.h"
#include "console/widgets/dlg_super_user.h"
#include "console/widgets/kelvor_window.h"
#include "database/engine_settings.h"
#include "platform/gbk.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>
#include <functional>

class WindowPortsTest : public ServerTest {
protected:
    // A full start, with a notification area reported present.
    std::unique_ptr<CKelvorWindow> StartWithTray()
    {
        InstallSeed("velto.db");
        m_server = std::make_unique<CKelvorDlg>(m_ports);
        auto window = std::make_unique<CKelvorWindow>(m_server.get());
        window->m_hasTray = true;
        window->OnInitDialog();
        return window;
    }
};

TEST_F(WindowPortsTest, FullStartShowsTheConnectedServer)
{
    InstallSeed("velto.db");
    m_server = std::make_unique<CKelvorDlg>(m_ports);
    CKelvorWindow window(m_server.get());
    window.OnInitDialog();
    ASSERT_EQ(m_server->Mode(), StartMode::Full);
    window.show();

    EXPECT_TRUE(window.Label(1022)->isVisible());
    EXPECT_FALSE(window.Label(1023)->isVisible());
    EXPECT_TRUE(window.Label(1024)->text().startsWith(T("SQL SERVER数据库服务器连接成功! [0天 00时 0")));
    EXPECT_EQ(window.Label(1019)->text(), QStringLiteral("0/0"));
    EXPECT_EQ(window.Label(1041)->text(), QStringLiteral("Test Hotel"));
    EXPECT_EQ(window.Label(1042)->text(), T("房间数:13"));

    ASSERT_EQ(window.RoomCombo()->count(), 14);
    EXPECT_GE(window.RoomCombo()->findText(T("所有房间")), 0);
    EXPECT_GE(window.RoomCombo()->findText(QStringLiteral("2|102")), 0);

    const QList<QAction *> actions = window.TrayMenu()->actions();
    ASSERT_EQ(actions.size(), 2);
    EXPECT_EQ(actions[0]->text(), QStringLiteral("Show/Hide"));
    EXPECT_EQ(window.TrayMenu()->defaultAction(), actions[0]);
    EXPECT_EQ(actions[1]->text(), QStringLiteral("Exit..."));
    EXPECT_EQ(window.Tray()->toolTip(), T("Kelvor客控服务器"));

    m_server->AddLog("1|205 *错误报文*");
    m_server->AddLog("PMS TCP Client 已经接入");
    const QPixmap shot = window.grab();
    EXPECT_FALSE(shot.isNull());
    const QString target = qEnvironmentVariable("KELVOR_SCREENSHOT");
    if (!target.isEmpty()) {
        EXPECT_TRUE(shot.save(target));
    }

    QTimer::singleShot(0, &window, [&] { actions[1]->trigger(); });
    EXPECT_EQ(window.exec(), 0);
    window.OnDestroy();
    EXPECT_FALSE(m_server->m_db.IsOpen());
    EXPECT_EQ(Setting(QStringLiteral("Network Configuration/BROADCAST INTERVAL")).toInt(), 10);
}

// A first start without velto.db: the administrator's password is asked
// through the login dialog, "sa" filled in, and the restore brings full mode.
TEST_F(WindowPortsTest, FirstStartAsksTheAdministratorThroughTheDialog)
{
    InstallSeed("velto.bak");
    m_server = std::make_unique<CKelvorDlg>(m_ports);
    m_server->m_clock = [this] { return m_now; };
    m_server->m_askAdminPassword = [](std::string &password) { return AskAdminPassword(nullptr, password); };
    QString shownUser = QStringLiteral("<no dialog>"), shownPassword;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<CDlgSql *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        shownUser = dialog->UserEdit()->text();
        shownPassword = dialog->PasswordEdit()->text();
        QTest::keyClicks(dialog->PasswordEdit(), QStringLiteral("secret"));
        for (QPushButton *button : dialog->findChildren<QPushButton *>())
            if (button->text() == T("登录"))
                button->click();
    });
    m_server->OnInitDialog();
    EXPECT_EQ(shownUser, QStringLiteral("sa"));
    EXPECT_TRUE(shownPassword.isEmpty());
    EXPECT_EQ(m_server->Mode(), StartMode::Full);
    EXPECT_TRUE(m_boxes.Texts().empty());
}

// With a notification area, minimise and the close box hide the window with
// the maintenance and online-users dialogs; the others stay as they are.
TEST_F(WindowPortsTest, MinimiseAndCloseHideToTheTray)
{
    const std::unique_ptr<CKelvorWindow> started = StartWithTray();
    CKelvorWindow &window = *started;
    const QList<QWidget *> hidden = {window.m_dlgSetting, window.m_dlgClient};
    const QList<QWidget *> kept = {window.m_dlgParam, window.m_dlgIPlist, window.SuperUserDialog()};

    for (const bool minimise : {true, false}) {
        window.show();
        for (QWidget *dialog : hidden + kept)
            dialog->show();
        if (minimise)
            window.setWindowState(Qt::WindowMinimized); // as the title bar's button does
        else
            window.close();
        EXPECT_FALSE(window.isVisible()) << minimise;
        EXPECT_FALSE(window.isMinimized()) << minimise;
        for (QWidget *dialog : hidden)
            EXPECT_FALSE(dialog->isVisible()) << minimise;
        for (QWidget *dialog : kept)
            EXPECT_TRUE(dialog->isVisible()) << minimise;
        window.OnTrayShowHide();
        EXPECT_TRUE(window.isVisible()) << minimise;
    }
    window.OnDestroy();
}

// With a notification area the window hides to it in four ways; each leaves
// the server's run going (it keeps serving datagrams) until "Exit...". All of
// it happens inside the run the program makes, exec().
TEST_F(WindowPortsTest, HidingToTheTrayKeepsTheServerRunning)
{
    const std::unique_ptr<CKelvorWindow> started = StartWithTray();
    CKelvorWindow &window = *started;
    ASSERT_EQ(m_server->Mode(), StartMode::Full);
    QAction *showHide = window.TrayMenu()->actions().at(0);
    QAction *exit = window.TrayMenu()->actions().at(1);
    const auto doubleClick = [&] { emit window.Tray()->activated(QSystemTrayIcon::DoubleClick); };
    const struct {
        const char *name;
        std::function<void()> hide, restore;
    } ways[] = {
        {"close box", [&] { window.close(); }, [&] { showHide->trigger(); }},
        {"minimise", [&] { window.setWindowState(Qt::WindowMinimized); }, doubleClick},
        {"Show/Hide", [&] { showHide->trigger(); }, doubleClick},
        {"double click", doubleClick, [&] { showHide->trigger(); }},
    };

    // A room unit's report of room 1|203; the server counts every one it handles.
    QUdpSocket unit;
    QByteArray report(22, '\0');
    report[1] = 22;
    report.replace(2, 4, "ZOLP");
    report[6] = 1;
    report[15] = 0x00;
    report[16] = char(0x82);
    report[18] = 1, report[19] = 2, report[20] = 3;

    size_t done = 0;       // ways that hid the window and left the server serving
    bool waiting = false;  // hidden, a report sent, its handling awaited
    int handled = 0;
    QTimer step;
    QObject::connect(&step, &QTimer::timeout, &window, [&] {
        if (done == std::size(ways)) {
            step.stop();
            exit->trigger();
        } else if (!waiting) {
            ASSERT_TRUE(window.isVisible()) << ways[done].name;
            ways[done].hide();
            EXPECT_FALSE(window.isVisible()) << ways[done].name;
            handled = m_server->m_rcuRecvCount;
            unit.writeDatagram(report, QHostAddress::LocalHost, ServerUdpPort());
            waiting = true;
        } else if (m_server->m_rcuRecvCount > handled) {
            ways[done].restore();
            EXPECT_TRUE(window.isVisible()) << ways[done].name;
            EXPECT_FALSE(window.isMinimized()) << ways[done].name;
            waiting = false;
            ++done;
        }
    });
    step.start(10);
    EXPECT_EQ(window.exec(), 0);
    EXPECT_EQ(done, std::size(ways)) << "the run ended after hiding by " << (done < std::size(ways) ? ways[done].name : "-");
    EXPECT_FALSE(window.isVisible());
    window.OnDestroy();
    EXPECT_FALSE(m_server->m_db.IsOpen());
}

// Without a database the status line carries the connection string, wider
// than its place: the start and the end show, the whole text is the tooltip.
TEST_F(WindowPortsTest, WithoutDatabaseTheStatusLineKeepsTheWholeConnectionString)
{
    database::EngineSettings settings;
    settings.directory = Path(QStringLiteral("missing-folder"));
    database::SetEngineSettings(settings);
    m_server = std::make_unique<CKelvorDlg>(m_ports);
    CKelvorWindow window(m_server.get());
    window.OnInitDialog();
    ASSERT_EQ(m_server->Mode(), StartMode::WithoutDatabase);
    window.show();

    const QString whole = T("服务器未连接!") + QStringLiteral("  ") + T("<连接") +
                          QStringLiteral("Driver={SQL Server};Server=127.0.0.1;Uid=velto;Pwd=qubra;>");
    QLabel *status = window.Label(1024);
    EXPECT_EQ(status->toolTip(), whole);
    EXPECT_LE(status->fontMetrics().horizontalAdvance(status->text()), status->contentsRect().width())
        << status->text().toStdString();
    EXPECT_TRUE(status->text().startsWith(T("服务器未连接!"))) << status->text().toStdString();
    EXPECT_TRUE(status->text().endsWith(QStringLiteral("Pwd=qubra;>"))) << status->text().toStdString();
    Screenshot(&window, "window_without_database");
    window.OnDestroy();
}
