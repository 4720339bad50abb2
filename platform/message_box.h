#pragma once
// The server's one way of telling the operator something in a modal box.
// Nothing calls QMessageBox directly: the window installs a handler that does
// (and falls back to stderr without a display); tests install a recorder.
// Without any handler the text goes to stderr and the default answer is taken,
// so an unattended server never blocks on a box.
#include <functional>
#include <string_view>

namespace platform {

enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgAnswer { Ok, Cancel, Yes, No };

// text is GBK, as every text inside the program.
using MessageBoxHandler = std::function<MsgAnswer(std::string_view text, MsgButtons buttons, MsgAnswer defaultAnswer)>;

MsgAnswer MessageBox(std::string_view text, MsgButtons buttons = MsgButtons::Ok,
                     MsgAnswer defaultAnswer = MsgAnswer::Ok);

// Installs a handler (an empty one restores the stderr fallback); returns the
// previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// The fallback itself: writes "<caption>: <text>" as UTF-8 to stderr, returns
// defaultAnswer.
MsgAnswer MessageBoxToStderr(std::string_view text, MsgButtons buttons, MsgAnswer defaultAnswer);

} // namespace platform
