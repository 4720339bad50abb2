// The operator window around a server that has not started: its controls and
// texts, Enter and Escape, close, the tray commands and the status refresh.
#include "console/kelvor_dlg.h"
#include "console/widgets/kelvor_window.h"
#include "platform/gbk.h"

#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

QString T(const char *gbk) { return platform::QStringFromGbk(gbk); }

class WindowTest : public ::testing::Test {
protected:
    CKelvorDlg m_server;
    CKelvorWindow m_window{&m_server};
};

TEST_F(WindowTest, ShowsItsControlsAndHoldsTheHiddenOnes)
{
    m_window.show();
    EXPECT_EQ(m_window.windowTitle(), T("Pemo客控服务器 2014"));
    const struct {
        int id;
        const char *text;
        bool shown;
    } buttons[] = {{1010, "在线用户", true},      {1013, "设置管理员", true},   {1036, "客房IP表", true},
                   {1011, "设置选项", true},      {1031, "发送时间", true},     {1047, "刷新状态", true},
                   {1026, "TEST", true},          {1025, "关于", true},         {1008, "登录数据库", false},
                   {1009, "数据库维护", false},   {1015, "数据库备份", false},  {1016, "数据库恢复", false},
                   {1012, "获取主机时间", false}, {1046, "获取客房状态", false}, {1038, "获取房间配置", false},
                   {1039, "获取空调状态", false}, {1040, "获取取电状态", false}};
    for (const auto &b : buttons) {
        QPushButton *button = m_window.Button(b.id);
        ASSERT_NE(button, nullptr) << b.id;
        EXPECT_EQ(button->text(), T(b.text)) << b.id;
        EXPECT_EQ(button->isVisible(), b.shown) << b.id;
    }
    EXPECT_FALSE(m_window.RoomCombo()->isVisible());
    EXPECT_TRUE(m_window.LogView()->isVisible());
    EXPECT_EQ(m_window.Label(1024)->text(), T("静态"));
    EXPECT_EQ(m_window.Label(1041)->text(), T("静态"));
}

TEST_F(WindowTest, EnterEscapeAndCloseNeverEndIt)
{
    m_window.show();
    int result = -1;
    QTimer::singleShot(0, &m_window, [&] {
        QTest::keyClick(&m_window, Qt::Key_Escape);
        QTest::keyClick(&m_window, Qt::Key_Return);
        m_window.close();
        result = m_window.isVisible() ? 1 : 0;
        m_window.OnTrayExit(); // only "Exit..." ends the run
    });
    EXPECT_EQ(m_window.exec(), 0);
    EXPECT_EQ(result, 1);
}

TEST_F(WindowTest, ShowHideTogglesTheWindow)
{
    for (const bool tray : {true, false}) {
        m_window.m_hasTray = tray;
        m_window.show();
        m_window.OnTrayShowHide();
        // Without a tray icon the window only minimises, so it can come back.
        EXPECT_EQ(m_window.isVisible(), !tray) << tray;
        EXPECT_EQ(m_window.isMinimized(), !tray) << tray;
        m_window.OnTrayShowHide();
        EXPECT_TRUE(m_window.isVisible()) << tray;
        EXPECT_FALSE(m_window.isMinimized()) << tray;
    }
}

TEST_F(WindowTest, StatusRefreshShowsTheClosedDatabaseAndTheLog)
{
    m_window.show();
    m_window.RefreshStatus();
    EXPECT_EQ(m_window.Label(1024)->text(), T("服务器未连接!  <连接>"));
    EXPECT_FALSE(m_window.Label(1022)->isVisible());
    EXPECT_TRUE(m_window.Label(1023)->isVisible());
    EXPECT_EQ(m_window.Label(1042)->text(), T("房间数:0"));
    EXPECT_TRUE(m_window.Label(1043)->text().isEmpty());

    m_server.AddLog("PMS TCP Client 已经接入");
    ASSERT_EQ(m_window.LogView()->model()->rowCount(), 1);
    EXPECT_TRUE(m_window.LogView()->selectionModel()->isRowSelected(0, {}));
}

} // namespace
