#include "support/message_recorder.h"

#include "platform/gbk.h"

MessageRecorder::MessageRecorder()
{
    m_previous = platform::SetMessageBoxHandler(
        [this](std::string_view text, platform::MsgButtons buttons, platform::MsgAnswer defaultAnswer) {
            m_boxes.push_back({platform::Utf8FromGbk(text), buttons});
            if (m_answers.empty())
                return defaultAnswer;
            const platform::MsgAnswer answer = m_answers.front();
            m_answers.pop_front();
            return answer;
        });
}

MessageRecorder::~MessageRecorder() { platform::SetMessageBoxHandler(std::move(m_previous)); }

std::vector<std::string> MessageRecorder::Texts() const
{
    std::vector<std::string> texts;
    for (const RecordedBox &box : m_boxes)
        texts.push_back(box.text);
    return texts;
}
