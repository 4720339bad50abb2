// The running server's message boxes without a display: nothing blocks, the
// text goes to stderr and the default answer is taken.
#include "console/widgets/message_box_handler.h"
#include "platform/message_box.h"

#include <QGuiApplication>
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
