#include "protocol/my_event.h"

#include "platform/archive.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <initializer_list>

int CMyEvent::FormatText(char *out, size_t size) const
{
    // The note and the title come from the database and may be of any length,
    // so the text is measured before a byte of it is written.
    // Five 32-bit numbers, a 64-bit index and six newlines take at most 81 bytes.
    char head[96];
    const int headLength = std::snprintf(head, sizeof head, "%d\n%d\n%d\n%" PRId64 "\n%d\n%d\n", m_buildNum,
                                         m_floorNum, m_roomNum, static_cast<int64_t>(m_msgIndex), m_unitNum,
                                         m_msgType);
    char tail[24];
    const int tailLength = std::snprintf(tail, sizeof tail, "%" PRId64 "\n", m_time);
    const size_t total = static_cast<size_t>(headLength) + m_title.size() + 1 + m_note.size() + 1 +
                         static_cast<size_t>(tailLength);
    if (total > size || total > INT32_MAX)
        return -1;
    char *p = out;
    auto put = [&p](const char *text, size_t n) {
        std::memcpy(p, text, n);
        p += n;
    };
    put(head, static_cast<size_t>(headLength));
    put(m_title.data(), m_title.size());
    put("\n", 1);
    put(m_note.data(), m_note.size());
    put("\n", 1);
    put(tail, static_cast<size_t>(tailLength));
    return static_cast<int>(total);
}

void CMyEvent::Serialize(platform::CArchive &ar)
{
    for (int32_t *field : {&m_buildNum, &m_floorNum, &m_roomNum, &m_unitNum, &m_msgType})
        ar.Transfer(*field);
    ar.Transfer(m_title);
    ar.Transfer(m_note);
    auto index = static_cast<int64_t>(m_msgIndex);
    ar.Transfer(index);
    m_msgIndex = static_cast<uint64_t>(index);
    ar.Transfer(m_time);
}
