#pragma once
// Appends the records' text forms to a caller's fixed buffer and never writes
// past its end: once something does not fit, nothing more is written and
// Overflowed() tells the caller.
#include <cstddef>
#include <cstdint>

class TextWriter {
public:
    TextWriter(char *buf, size_t size) : m_buf(buf), m_size(buf ? size : 0) {}

    // "%d\n", "%u\n" and "%I64d\n" (signed 64-bit decimal).
    void Line(int32_t v);
    void Line(int64_t v);
    void LineUnsigned(uint32_t v);
    void Bytes(const void *data, size_t size);
    void Int32LE(int32_t v);

    size_t Length() const { return m_pos; }
    bool Overflowed() const { return m_overflow; }

private:
    char *m_buf;
    size_t m_size;
    size_t m_pos = 0;
    bool m_overflow = false;
};

// The length of "%d\n" for v, for callers that size their text before writing.
size_t DecimalLineLength(int64_t v);
