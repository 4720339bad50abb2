// The database administrator login and the administrator account dialog.
#include "dialog_fixture.h"

#include "console/widgets/dlg_sql.h"
#include "console/widgets/dlg_super_user.h"
#include "database/ado_recordset.h"
#include "platform/gbk.h"

#include <QApplication>
#include <QLineEdit>
#include <QScreen>
#include <QPushButton>
#include <QTest>
#include <QTimer>

TEST(DlgSqlTest, LoginReturnsTheTypedPasswordAndCancelReturnsNothing)
{
    CDlgSql dialog;
    dialog.m_userName = "sa";
    QTimer::singleShot(0, &dialog, [&] {
        EXPECT_EQ(dialog.UserEdit()->text(), QStringLiteral("sa"));
        EXPECT_TRUE(dialog.PasswordEdit()->text().isEmpty());
        QTest::keyClicks(dialog.PasswordEdit(), QStringLiteral("it's me"));
        ButtonWithText(dialog, "登录")->click();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.m_password, "it's me");

    CDlgSql cancelled;
    QTimer::singleShot(0, &cancelled, [&] { ButtonWithText(cancelled, "取消")->click(); });
    EXPECT_EQ(cancelled.exec(), QDialog::Rejected);
}

// On the first start the login is asked before the main window is shown: it
// comes up in the middle of the screen, not around the hidden window's corner.
TEST(DlgSqlTest, FirstStartLoginIsCentredOnTheScreen)
{
    QWidget hiddenWindow;
    hiddenWindow.resize(680, 520);
    QRect shown;
    QTimer::singleShot(0, &hiddenWindow, [&] {
        auto *dialog = qobject_cast<CDlgSql *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        shown = dialog->frameGeometry();
        Screenshot(dialog, "dlg_sql_first_start");
        ButtonWithText(*dialog, "取消")->click();
    });
    std::string password;
    EXPECT_FALSE(AskAdminPassword(&hiddenWindow, password));
    ASSERT_TRUE(shown.isValid());
    const QPoint offset = shown.center() - hiddenWindow.screen()->availableGeometry().center();
    // Within the width of a window frame.
    EXPECT_LE(offset.manhattanLength(), 10) << offset.x() << "," << offset.y();
}

// The administrator dialog is as wide as its caption in a title bar needs:
// the caption in bold plus the window icon and three buttons.
TEST(DlgSuperUserTest, WideEnoughForItsCaption)
{
    CKelvorDlg server;
    CDlgSuperUser dialog(&server, nullptr);
    dialog.ShowCentred();
    QFont caption = dialog.font();
    caption.setBold(true);
    EXPECT_GE(dialog.width(), QFontMetrics(caption).horizontalAdvance(T("设置管理员用户admin")) + 120);
    Screenshot(&dialog, "dlg_super_user");
}

class SuperUserTest : public ServerTest {
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        InstallSeed("velto.db");
        m_server = std::make_unique<CKelvorDlg>(m_ports);
        ASSERT_TRUE(m_server->m_db.Open("Driver={SQL Server};Server=127.0.0.1;Uid=velto;Pwd=qubra;"));
        m_dialog = std::make_unique<CDlgSuperUser>(m_server.get(), nullptr);
    }
    void TearDown() override
    {
        m_dialog.reset();
        ServerTest::TearDown();
    }

    std::string Query(const std::string &sql, const char *field)
    {
        CADOMyRecordset rs(&m_server->m_db);
        EXPECT_TRUE(rs.Exec(sql)) << rs.GetLastErrorText();
        return rs.GetRecordCount() ? rs.GetFieldString(field) : std::string("<none>");
    }
    void Submit(const QString &user, const QString &password, const QString &newPassword)
    {
        m_dialog->ShowCentred();
        m_dialog->UserEdit()->setText(user);
        m_dialog->PasswordEdit()->setText(password);
        m_dialog->NewPasswordEdit()->setText(newPassword);
        ButtonWithText(*m_dialog, "确定")->click();
    }
    static constexpr const char *kRights =
        "select canschemeset+canctrlroomfengji+canlistmsg+canprint+canviewreport+cansystemadmin+canviewroomstate+"
        "canviewrealstate+canctrlroomstate+canuserman+canviewlog+canviewfloor as N from user_password "
        "where user_name='admin'";

    std::unique_ptr<CDlgSuperUser> m_dialog;
};

TEST_F(SuperUserTest, CreatesTheMissingAdminWithEveryRight)
{
    Submit(QStringLiteral("someone"), QStringLiteral("x'); drop table user_password; --"), QStringLiteral("other"));
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{platform::Utf8FromGbk("管理员用户创建成功")});
    EXPECT_EQ(Query("select password from user_password where user_name='admin'", "password"),
              "x'); drop table user_password; --");
    EXPECT_EQ(Query(kRights, "N"), "12");
    EXPECT_EQ(Query("select count(*) as N from user_password", "N"), "1");
    EXPECT_FALSE(m_dialog->isVisible());
}

TEST_F(SuperUserTest, UpdatesAnExistingAdminAndRestoresItsRights)
{
    CADOMyRecordset rs(&m_server->m_db);
    ASSERT_TRUE(rs.Exec("insert into user_password(user_name, password, canprint) values('admin', 'old', 1)"));
    rs.Close();
    Submit(QStringLiteral("Admin"), QString(), QStringLiteral("ignored"));
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{platform::Utf8FromGbk("密码更改成功")});
    EXPECT_EQ(Query("select password from user_password where user_name='admin'", "password"), "");
    EXPECT_EQ(Query(kRights, "N"), "12");
}

TEST_F(SuperUserTest, ShowingEmptiesThePasswordFields)
{
    m_dialog->PasswordEdit()->setText(QStringLiteral("left over"));
    m_dialog->NewPasswordEdit()->setText(QStringLiteral("left over"));
    m_dialog->ShowCentred();
    EXPECT_TRUE(m_dialog->PasswordEdit()->text().isEmpty());
    EXPECT_TRUE(m_dialog->NewPasswordEdit()->text().isEmpty());
    EXPECT_EQ(m_dialog->UserEdit()->text(), QStringLiteral("Admin"));
    ButtonWithText(*m_dialog, "取消")->click();
    EXPECT_FALSE(m_dialog->isVisible());
    EXPECT_EQ(Query("select count(*) as N from user_password", "N"), "0");
}
