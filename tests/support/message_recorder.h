#pragma once
// Installs itself as the message box handler for its lifetime: records every
// box (text as UTF-8) and answers from a queue, or with the box's default.
#include "platform/message_box.h"

#include <deque>
#include <string>
#include <vector>

struct RecordedBox {
    std::string text; // UTF-8
    platform::MsgButtons buttons;
};

class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder &) = delete;
    MessageRecorder &operator=(const MessageRecorder &) = delete;

    void QueueAnswer(platform::MsgAnswer answer) { m_answers.push_back(answer); }
    const std::vector<RecordedBox> &Boxes() const { return m_boxes; }
    std::vector<std::string> Texts() const;
    void Clear() { m_boxes.clear(); }

private:
    platform::MessageBoxHandler m_previous;
    std::vector<RecordedBox> m_boxes;
    std::deque<platform::MsgAnswer> m_answers;
};
