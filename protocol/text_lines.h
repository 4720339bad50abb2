#pragma once
// Bounded writing of the decimal-line texts of the reply payloads: a writer
// never passes its capacity; it notes the overflow instead, so a list can be
// cut after its last whole item.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

class TextLines {
public:
    TextLines(uint8_t *out, size_t capacity) : m_out(out), m_capacity(capacity) {}

    void Number(int64_t value);
    void Line(std::string_view text);

    size_t Length() const { return m_length; }
    bool Overflowed() const { return m_overflowed; }
    // Goes back to an earlier length and clears the overflow.
    void Rewind(size_t length);

private:
    void Put(const char *data, size_t n);

    uint8_t *m_out;
    size_t m_capacity;
    size_t m_length = 0;
    bool m_overflowed = false;
};

// "%d\n" with the number of items, then each item's lines, as many whole
// items as fit in capacity bytes; the count line gives the number written.
// writeItem(TextLines&, index) writes one item. Returns the length, or -1
// when not even the count line fits.
template <typename WriteItem>
int WriteCountedList(uint8_t *out, size_t capacity, size_t count, WriteItem writeItem)
{
    // Room for the widest count line first; the items follow it and move up
    // when fewer fit.
    char countLine[24];
    const size_t reserved = static_cast<size_t>(std::snprintf(countLine, sizeof countLine, "%zu\n", count));
    if (reserved > capacity)
        return -1;
    TextLines items(out + reserved, capacity - reserved);
    size_t written = 0;
    for (; written < count; ++written) {
        const size_t mark = items.Length();
        writeItem(items, written);
        if (items.Overflowed()) {
            items.Rewind(mark);
            break;
        }
    }
    const size_t head = static_cast<size_t>(std::snprintf(countLine, sizeof countLine, "%zu\n", written));
    std::memmove(out + head, out + reserved, items.Length());
    std::memcpy(out, countLine, head);
    return static_cast<int>(head + items.Length());
}
