#include "platform/message_box.h"

#include "platform/error_line.h"
#include "platform/gbk.h"

#include <QCoreApplication>
#include <mutex>

namespace platform {
namespace {

std::mutex &HandlerMutex()
{
    static std::mutex mutex;
    return mutex;
}

MessageBoxHandler &Handler()
{
    static MessageBoxHandler handler;
    return handler;
}

} // namespace

MsgAnswer MessageBoxToStderr(std::string_view text, MsgButtons, MsgAnswer defaultAnswer)
{
    const QByteArray caption = GbkFromQString(QCoreApplication::applicationName());
    WriteErrorLine(caption.constData(), text);
    return defaultAnswer;
}

MsgAnswer MessageBox(std::string_view text, MsgButtons buttons, MsgAnswer defaultAnswer)
{
    MessageBoxHandler handler;
    {
        std::lock_guard lock(HandlerMutex());
        handler = Handler();
    }
    if (!handler)
        return MessageBoxToStderr(text, buttons, defaultAnswer);
    return handler(text, buttons, defaultAnswer);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler)
{
    std::lock_guard lock(HandlerMutex());
    MessageBoxHandler previous = std::move(Handler());
    Handler() = std::move(handler);
    return previous;
}

} // namespace platform
