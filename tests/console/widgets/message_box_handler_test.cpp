// The running server's message boxes without a display: nothing blocks, the
// text goes to stderr and the default answer is taken.
#include "dialog_fixture.h"

#include "console/widgets/dialog_placement.h"
#include "console/widgets/message_box_handler.h"
#include "platform/message_box.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTest>
#include <gtest/gtest.h>

TEST(MessageBoxHandler, OffscreenNeverBlocks)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("offscreen"));
    EXPECT_FALSE(HasInteractiveDisplay());
    InstallMessageBoxHandler();
    testing::internal::CaptureStderr();
    const platform::MsgAnswer answer =
        platform::MessageBox("数据库连接未连接！", platform::MsgButtons::YesNo, platform::MsgAnswer::No);
    const std::string err = testing::internal::GetCapturedStderr();
    platform::SetMessageBoxHandler({});
    EXPECT_EQ(answer, platform::MsgAnswer::No);
    EXPECT_NE(err.find(reinterpret_cast<const char *>(u8"数据库连接未连接！")), std::string::npos) << err;
}

// A short text leaves the caption its whole width in the title bar.
TEST(MessageBoxHandler, ShortTextKeepsTheCaptionWhole)
{
    const QString previousName = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QStringLiteral("kelvor-server"));
    const auto box = MakeMessageBox("密码更改成功", QMessageBox::Ok);
    QCoreApplication::setApplicationName(previousName);
    box->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
    Screenshot(box.get(), "short_message_box");
    EXPECT_EQ(box->windowTitle(), QStringLiteral("kelvor-server"));
    EXPECT_GE(box->width(), CaptionWidth(box.get()));
}
