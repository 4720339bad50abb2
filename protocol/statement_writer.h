#pragma once
// Builds a statement's text into a fixed buffer, exactly as snprintf's %s and
// %d would, for the handlers' statements: a storm of status reports formats
// tens of thousands a second, and printf's format parsing was a tenth of
// their cost.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

class StatementWriter {
public:
    StatementWriter(char *out, size_t size) : m_out(out), m_size(size) {}

    // What does not fit is cut, as snprintf cuts it.
    StatementWriter &Text(std::string_view text)
    {
        if (m_length < m_size) {
            const size_t room = m_size - 1 - m_length; // one byte kept for the NUL
            if (text.size() <= room)
                std::memcpy(m_out + m_length, text.data(), text.size());
            else
                std::memcpy(m_out + m_length, text.data(), room);
        }
        m_length += text.size();
        return *this;
    }

    // As %d prints it.
    StatementWriter &Int(int value)
    {
        char digits[12];
        char *end = digits + sizeof digits, *at = end;
        const bool negative = value < 0;
        auto magnitude = negative ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
        do {
            *--at = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (negative)
            *--at = '-';
        return Text(std::string_view(at, static_cast<size_t>(end - at)));
    }

    // The text's length; -1 when it did not fit (with its NUL) in the
    // buffer, which then holds as much as fitted, NUL-terminated.
    int Finish()
    {
        if (m_size == 0)
            return -1;
        m_out[m_length < m_size ? m_length : m_size - 1] = '\0';
        return m_length < m_size ? static_cast<int>(m_length) : -1;
    }

private:
    char *m_out;
    size_t m_size;
    size_t m_length = 0;
};
