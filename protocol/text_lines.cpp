#include "protocol/text_lines.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

void TextLines::Put(const char *data, size_t n)
{
    if (m_overflowed || n > m_capacity - m_length) {
        m_overflowed = true;
        return;
    }
    std::memcpy(m_out + m_length, data, n);
    m_length += n;
}

void TextLines::Number(int64_t value)
{
    char line[24];
    const int n = std::snprintf(line, sizeof line, "%" PRId64 "\n", value);
    Put(line, static_cast<size_t>(n));
}

void TextLines::Line(std::string_view text)
{
    Put(text.data(), text.size());
    Put("\n", 1);
}

void TextLines::Rewind(size_t length)
{
    if (length < m_length)
        m_length = length;
    m_overflowed = false;
}
