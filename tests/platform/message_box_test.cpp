#include "platform/message_box.h"
#include "support/message_recorder.h"

#include <gtest/gtest.h>

using platform::MsgAnswer;
using platform::MsgButtons;

TEST(MessageBox, WithoutHandlerWritesToStderrAndTakesTheDefault)
{
    testing::internal::CaptureStderr();
    const MsgAnswer answer = platform::MessageBox("设置失败！", MsgButtons::YesNo, MsgAnswer::No);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(answer, MsgAnswer::No);
    EXPECT_NE(err.find(reinterpret_cast<const char *>(u8"设置失败！")), std::string::npos) << err;
}

TEST(MessageBox, RecorderCapturesTextsAndAnswersInOrder)
{
    MessageRecorder recorder;
    recorder.QueueAnswer(MsgAnswer::Yes);
    EXPECT_EQ(platform::MessageBox("first", MsgButtons::YesNo, MsgAnswer::No), MsgAnswer::Yes);
    EXPECT_EQ(platform::MessageBox("second", MsgButtons::YesNo, MsgAnswer::No), MsgAnswer::No);
    EXPECT_EQ(recorder.Texts(), (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(recorder.Boxes()[0].buttons, MsgButtons::YesNo);
}

TEST(MessageBox, RecorderRestoresThePreviousHandler)
{
    MessageRecorder outer;
    {
        MessageRecorder inner;
        platform::MessageBox("inner");
    }
    platform::MessageBox("outer");
    EXPECT_EQ(outer.Texts(), std::vector<std::string>{"outer"});
}
