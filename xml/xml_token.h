#pragma once
// Scanning helpers shared by the parser, the readers and the writer. Every
// scan steps whole characters of the code page (a GBK lead byte takes its
// trail byte along, so a trail byte is never taken for a delimiter) and stops
// at its limit: nothing reads past the end of the text it was given.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace xml_chars {

inline bool IsSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
inline bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
// A-Z, '_', ':' and every byte from 'a' (0x61) up, which takes in all bytes
// of multi-byte characters.
inline bool IsNameStart(unsigned char c) { return (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x61; }
// What may follow a name given by a caller once the element's own name is
// used up: "a" finds <a> for "a", "a b", "a[1]" and "a/x".
inline bool IsNameArgumentEnd(unsigned char c)
{
    return c == 0 || c == ' ' || c == '=' || c == '/' || c == '[' || c == ']';
}

} // namespace xml_chars

// The scan state over one stretch of text.
struct XmlToken {
    static constexpr uint32_t kQuoted = 0x8000; // the last value read was quoted

    const char *text = nullptr;
    size_t limit = 0;      // scanning stops here (the text's end or a content's end)
    size_t pos = 0;        // scan position
    size_t tokenStart = 0; // the last token read: [tokenStart, tokenEnd)
    size_t tokenEnd = 0;
    uint32_t flags = 0;

    XmlToken(const char *t, size_t lim, size_t at) : text(t), limit(lim), pos(at) {}

    // The byte at i, or 0 at and beyond the limit.
    unsigned char At(size_t i) const { return i < limit ? static_cast<unsigned char>(text[i]) : 0; }
    // The offset of the character after the one at i.
    size_t NextChar(size_t i) const
    {
        return xml_chars::IsLeadByte(At(i)) && At(i + 1) != 0 ? i + 2 : i + 1;
    }
    std::string_view Token() const { return std::string_view(text + tokenStart, tokenEnd - tokenStart); }

    void SkipWhitespace();
    // Moves to the first byte that is one of the delimiters (or the limit).
    void SkipToDelimiter(std::string_view delimiters);
    // Whether the last token is the name argument: the token equals its first
    // bytes and the argument ends there or goes on with a name argument end.
    bool Match(std::string_view name) const;
    // Walks the start tag at the scan position (just after its '<'; the
    // limit is the tag's end) for the attribute. Found: the token is its
    // value (flag kQuoted when it was quoted; a value-less attribute such as
    // <a sel> is its own name) and place says where it stands.
    struct AttributePlace {
        size_t replaceStart = 0; // the value with its quotes; for <a sel> the
        size_t replaceEnd = 0;   // empty stretch after the name
        bool valueless = false;
        size_t listEnd = 0;      // not found: after the last attribute or the tag name
    };
    bool FindAttribute(std::string_view name, AttributePlace *place = nullptr);

private:
    void ReadQuoted();
};
