#include "model/text_writer.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

void TextWriter::Bytes(const void *data, size_t size)
{
    if (m_overflow || m_size - m_pos < size) {
        m_overflow = true;
        return;
    }
    std::memcpy(m_buf + m_pos, data, size);
    m_pos += size;
}

void TextWriter::Line(int64_t v)
{
    char text[24];
    const int n = std::snprintf(text, sizeof text, "%" PRId64 "\n", v);
    Bytes(text, static_cast<size_t>(n));
}

void TextWriter::Line(int32_t v) { Line(static_cast<int64_t>(v)); }

void TextWriter::LineUnsigned(uint32_t v) { Line(static_cast<int64_t>(v)); }

void TextWriter::Int32LE(int32_t v)
{
    const uint32_t u = static_cast<uint32_t>(v);
    const unsigned char b[4] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
                                static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
    Bytes(b, sizeof b);
}

size_t DecimalLineLength(int64_t v)
{
    char text[24];
    return static_cast<size_t>(std::snprintf(text, sizeof text, "%" PRId64 "\n", v));
}
