// The window's buttons over a server started in full mode: each secondary
// dialog comes up centred and modeless, an address edited in the room table
// is there again at the next start, backup and restore go through the file
// dialog, and each dialog can be grabbed as a screenshot (saved into the
// directory KELVOR_SCREENSHOT_DIR names, when set).
#include "dialog_fixture.h"
#include "support/datagrams.h"

#include "console/widgets/dlg_client.h"
#include "console/widgets/dlg_ip_list.h"
#include "console/widgets/dlg_param.h"
#include "console/widgets/dlg_setting.h"
#include "console/widgets/dlg_super_user.h"
#include "console/widgets/ip_address_ctrl.h"
#include "console/widgets/kelvor_window.h"
#include "platform/gbk.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QProcess>
#include <QUdpSocket>

#include <fstream>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Whether this process holds a POSIX lock on the file, as the kernel's lock
// table lists it for every process to see.
bool HoldsPosixLock(const QString &path)
{
    struct stat file {};
    if (::stat(QFile::encodeName(path).constData(), &file) != 0)
        return false;
    std::ifstream table("/proc/locks");
    const std::string self = std::to_string(::getpid());
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, owner, device;
        fields >> number >> kind;
        if (kind == "->") // a lock still waiting
            continue;
        fields >> mode >> access >> owner >> device;
        const size_t inodeAt = device.rfind(':');
        if (kind == "POSIX" && owner == self && inodeAt != std::string::npos &&
            std::stoull(device.substr(inodeAt + 1)) == file.st_ino)
            return true;
    }
    return false;
}

} // namespace

class DialogsPortsTest : public ServerTest {
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        InstallSeed("velto.db");
    }
    std::unique_ptr<CKelvorWindow> StartWindow()
    {
        m_server = std::make_unique<CKelvorDlg>(m_ports);
        m_server->m_clock = [this] { return m_now; };
        auto window = std::make_unique<CKelvorWindow>(m_server.get());
        window->OnInitDialog();
        window->show();
        return window;
    }
    void StopWindow(std::unique_ptr<CKelvorWindow> &window)
    {
        window->OnDestroy();
        window.reset();
        m_server.reset();
    }
};

TEST_F(DialogsPortsTest, ButtonsShowEachDialogCentredOverTheWindow)
{
    auto window = StartWindow();
    ASSERT_EQ(m_server->Mode(), StartMode::Full);
    auto client = std::make_unique<COnlineClient>();
    std::strcpy(client->m_userInfo.userName, "admin");
    client->m_peerAddress = "192.168.1.20";
    client->m_peerPort = 3339;
    client->m_loggedIn = 1;
    client->m_loginTime = m_now - 125;
    m_server->m_clients.push_back(std::move(client));
    std::strcpy(m_server->m_hotel.FindRoom(1, 2, 3)->m_name, "Suite");

    const struct {
        int button;
        QWidget *dialog;
        const char *shot;
    } cases[] = {
        {1010, window->m_dlgClient, "dlg_client"},     {1036, window->m_dlgIPlist, "dlg_ip_list"},
        {1011, window->m_dlgParam, "dlg_param"},       {1013, window->m_dlgSuperUser, "dlg_super_user"},
        {1009, window->m_dlgSetting, "dlg_setting"},
    };
    for (const auto &c : cases) {
        ASSERT_NE(c.dialog, nullptr) << c.button;
        EXPECT_FALSE(c.dialog->isVisible()) << c.button;
        window->Button(c.button)->click();
        EXPECT_TRUE(c.dialog->isVisible()) << c.button;
        EXPECT_FALSE(c.dialog->isModal()) << c.button;
        EXPECT_LE((c.dialog->geometry().center() - window->geometry().center()).manhattanLength(), 8) << c.button;
        Screenshot(c.dialog, c.shot);
    }
    EXPECT_EQ(window->m_dlgClient->List()->rowCount(), 1);
    EXPECT_EQ(window->m_dlgIPlist->List()->rowCount(), 13);
    Screenshot(window.get(), "window");

    // Closing hides; the dialog object stays for the next show.
    window->m_dlgIPlist->close();
    EXPECT_FALSE(window->m_dlgIPlist->isVisible());
    ASSERT_NE(window->m_dlgIPlist, nullptr);
    StopWindow(window);
}

TEST_F(DialogsPortsTest, EditedAddressIsLoadedAgainAtTheNextStart)
{
    auto window = StartWindow();
    window->Button(1036)->click();
    CDlgIPlist *dialog = window->m_dlgIPlist;
    QApplication::setActiveWindow(dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
    dialog->OnNMDblclkList(2, 5);
    ASSERT_TRUE(dialog->AddressEditor()->isVisible());
    dialog->AddressEditor()->SetAddress(0xC0A80A03);
    Screenshot(dialog, "dlg_ip_list_editing");
    dialog->List()->setFocus();
    dialog->OnNMDblclkList(2, 4);
    dialog->TextEditor()->insert(QStringLiteral("Corner Room"));
    dialog->List()->setFocus();
    StopWindow(window);

    window = StartWindow();
    const CRoom *room = m_server->m_hotel.FindRoom(1, 2, 3);
    EXPECT_EQ(room->m_rcuIp, 0xC0A80A03u);
    EXPECT_EQ(std::string(room->m_name), "Corner Room");
    StopWindow(window);
}

TEST_F(DialogsPortsTest, BackupAndRestoreGoThroughTheFileDialog)
{
    auto window = StartWindow();
    QString proposed;
    QTimer::singleShot(0, window.get(), [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(QDir(dialog->directory()).absolutePath(), QDir::current().absolutePath());
        proposed = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->text();
        QMetaObject::invokeMethod(dialog, "accept");
    });
    window->Button(1015)->click();
    EXPECT_EQ(proposed, QString::fromStdString(m_server->BackupFileName()));
    ASSERT_TRUE(QFile::exists(Path(proposed)));
    EXPECT_EQ(m_boxes.Texts().back(), platform::Utf8FromGbk("数据库成功备份"));

    // Cancelling the open dialog restores nothing and asks nothing.
    m_boxes.Clear();
    QTimer::singleShot(0, window.get(), [] { QApplication::activeModalWidget()->close(); });
    window->Button(1016)->click();
    EXPECT_TRUE(m_boxes.Texts().empty());

    window->m_chooseFile = [&](bool save, const QString &) {
        EXPECT_FALSE(save);
        return Path(proposed);
    };
    m_boxes.QueueAnswer(platform::MsgAnswer::Yes);
    window->Button(1016)->click();
    EXPECT_EQ(m_boxes.Texts().back(), platform::Utf8FromGbk("数据库成功恢复"));

    // With the connection closed neither button asks for a file.
    m_boxes.Clear();
    int asked = 0;
    window->m_chooseFile = [&](bool, const QString &) {
        ++asked;
        return Path(proposed);
    };
    m_server->m_db.Close();
    window->Button(1015)->click();
    window->Button(1016)->click();
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(m_boxes.Texts().empty());
    StopWindow(window);
}

// The file dialogs of backup and restore list the working directory, where
// the live database files are. Closing any descriptor of a file drops every
// POSIX lock the process holds on it, so listing must never open them: the
// engine's locks stay, and an outside writer and the PMS poller go on working.
TEST_F(DialogsPortsTest, FileDialogsLeaveTheDatabaseLocksAlone)
{
    SetSetting(QStringLiteral("Interface Configuration/HMS INTERFACE"), 2);
    QFile earlier(Path(QStringLiteral("earlier.bak")));
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("SQLite format 3");
    earlier.close();
    auto window = StartWindow();
    ASSERT_NE(m_server->m_pmsThread, nullptr);
    const QStringList live = {"velto.db", "velto.db-shm", "tempdb.db", "tempdb.db-shm"};
    for (const QString &name : live)
        ASSERT_TRUE(HoldsPosixLock(Path(name))) << name.toStdString();

    for (const int button : {1015, 1016}) {
        bool listed = false;
        QTimer::singleShot(0, window.get(), [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            auto *model = dialog->findChild<QFileSystemModel *>();
            ASSERT_NE(model, nullptr);
            // The directory comes in one batch: once the backup shows with
            // its type, every file beside it has been looked at.
            listed = QTest::qWaitFor(
                [&] {
                    const QModelIndex shown = model->index(Path(QStringLiteral("earlier.bak")));
                    return shown.isValid() && !model->type(shown).isEmpty();
                },
                5000);
            dialog->reject();
        });
        window->Button(button)->click();
        EXPECT_TRUE(listed) << button;
        for (const QString &name : live)
            EXPECT_TRUE(HoldsPosixLock(Path(name))) << button << " " << name.toStdString();
    }

    // The PMS software writes the live-room table from its own process,
    // twice: the poller sees both changes.
    CRoom &room = *m_server->m_hotel.FindRoom(1, 2, 4);
    for (const int state : {3, 5}) {
        const QString update =
            QStringLiteral("update REALTIMEROOM set RMSTATE=%1 where BUILD=1 and FLOOR=2 and ROOMNUM=4").arg(state);
        EXPECT_EQ(QProcess::execute(QStringLiteral("sqlite3"),
                                    {QStringLiteral("-cmd"), QStringLiteral(".timeout 5000"), Path(QStringLiteral("tempdb.db")), update}),
                  0);
        EXPECT_TRUE(QTest::qWaitFor([&] { return room.m_polledPmsState.load() == state; }, 5000)) << state;
    }
    // An outside writer of velto.db, and the server's own connection reads and writes after it.
    EXPECT_EQ(QProcess::execute(QStringLiteral("sqlite3"),
                                {QStringLiteral("-cmd"), QStringLiteral(".timeout 5000"), Path(QStringLiteral("velto.db")),
                                 QStringLiteral("update sysoptions set Value='7' where Optioncode=14")}),
              0);
    CADOMyRecordset rs(&m_server->m_db);
    const auto option14 = [&] {
        EXPECT_TRUE(rs.Exec("select Value from sysoptions where Optioncode=14"));
        return rs.GetRecordCount() ? rs.GetFieldString("Value") : std::string("<none>");
    };
    EXPECT_EQ(option14(), "7");
    EXPECT_TRUE(rs.Exec("update sysoptions set Value='8' where Optioncode=14"));
    EXPECT_EQ(option14(), "8");
    rs.Close();
    StopWindow(window);
    QProcess check;
    check.start(QStringLiteral("sqlite3"), {Path(QStringLiteral("velto.db")), QStringLiteral("pragma integrity_check")});
    ASSERT_TRUE(check.waitForFinished());
    EXPECT_EQ(check.readAllStandardOutput().trimmed(), QByteArray("ok"));
}

// The hidden query buttons take the room selector's room; it starts with
// none chosen, and "所有房间" has none.
TEST_F(DialogsPortsTest, QueryButtonsUseTheSelectedRoom)
{
    auto window = StartWindow();
    QComboBox *rooms = window->RoomCombo();
    const auto lines = [&] { return m_server->LogModel().rowCount(); };
    const int before = lines();
    EXPECT_EQ(rooms->currentIndex(), -1);
    for (const char *item : {"", "所有房间"}) {
        if (*item)
            rooms->setCurrentIndex(rooms->findText(T(item)));
        window->Button(1012)->click();
        window->Button(1046)->click();
        EXPECT_EQ(lines(), before) << item;
    }

    rooms->setCurrentIndex(rooms->findText(QStringLiteral("1|203")));
    window->Button(1012)->click();
    ASSERT_EQ(lines(), before + 1);
    EXPECT_TRUE(m_server->LogModel().stringList().last().endsWith(T("[发送] 向1|203房间发送命令(cmd:0x7)")));
    StopWindow(window);
}

// The window's command buttons reach the server: the two broadcasts, the
// meter test's log line and the database login.
TEST_F(DialogsPortsTest, CommandButtonsReachTheServer)
{
    SetRcuBroadcastToLoopback();
    QUdpSocket &units = m_roomUnits;
    auto window = StartWindow();
    const auto nextCommand = [&] {
        const QByteArray frame = NextDatagram(units, 2000);
        return frame.size() > 16 ? uint8_t(frame[15]) << 8 | uint8_t(frame[16]) : -1;
    };
    window->Button(1047)->click();
    EXPECT_EQ(nextCommand(), 0x0001);
    window->Button(1031)->click();
    EXPECT_EQ(nextCommand(), 0x0004);

    window->Button(1026)->click();
    EXPECT_TRUE(m_server->LogModel().stringList().last().endsWith(T("<foxhis>接口软件向1|201房间发送指令")));

    m_boxes.Clear();
    window->Button(1008)->click();
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{platform::Utf8FromGbk("SQL SERVER服务器已经登录!")});
    StopWindow(window);
}
