// Navigation and reading: the position, searches by name, attributes, text
// data and tag names. Reading never changes the document or the position.
#include "xml/xml_doc.h"

#include <cstring>

using namespace xml_chars;

void XmlToken::SkipWhitespace()
{
    while (IsSpace(At(pos)))
        ++pos;
}

void XmlToken::SkipToDelimiter(std::string_view delimiters)
{
    for (unsigned char c; (c = At(pos)) != 0; pos = NextChar(pos)) {
        if (delimiters.find(static_cast<char>(c)) != std::string_view::npos)
            return;
    }
}

bool XmlToken::Match(std::string_view name) const
{
    const std::string_view token = Token();
    if (token.size() > name.size() || name.compare(0, token.size(), token) != 0)
        return false;
    return IsNameArgumentEnd(token.size() < name.size() ? static_cast<unsigned char>(name[token.size()]) : 0);
}

void XmlToken::ReadQuoted()
{
    const unsigned char quote = At(pos);
    tokenStart = ++pos;
    while (At(pos) != 0 && At(pos) != quote)
        pos = NextChar(pos);
    tokenEnd = pos;
    if (At(pos) == quote)
        ++pos;
    flags |= kQuoted;
}

bool XmlToken::FindAttribute(std::string_view name, AttributePlace *place)
{
    AttributePlace found;
    found.listEnd = pos;
    bool tagName = true;
    for (;;) {
        SkipWhitespace();
        const unsigned char c = At(pos);
        if (c == 0 || c == '>' || c == '/' || c == '?')
            break;
        if (c == '"' || c == '\'') { // a stray quoted value, not a name
            ReadQuoted();
            found.listEnd = pos;
            continue;
        }
        tokenStart = pos;
        SkipToDelimiter("= \t\n\r>/?");
        if (pos == tokenStart)
            pos = NextChar(pos); // a stray '='
        tokenEnd = pos;
        const bool matches = !tagName && Match(name);
        tagName = false;
        const size_t nameStart = tokenStart;
        const size_t nameEnd = pos;
        SkipWhitespace();
        if (At(pos) != '=') {
            found.listEnd = nameEnd;
            if (!matches)
                continue;
            tokenStart = nameStart;
            tokenEnd = nameEnd;
            flags &= ~kQuoted;
            found.replaceStart = found.replaceEnd = nameEnd;
            found.valueless = true;
            if (place)
                *place = found;
            return true;
        }
        ++pos;
        SkipWhitespace();
        if (At(pos) == '"' || At(pos) == '\'') {
            ReadQuoted();
            found.replaceStart = tokenStart - 1;
        } else {
            flags &= ~kQuoted;
            tokenStart = pos;
            SkipToDelimiter(" \t\n\r>");
            tokenEnd = pos;
            found.replaceStart = tokenStart;
        }
        found.replaceEnd = found.listEnd = pos;
        if (matches) {
            if (place)
                *place = found;
            return true;
        }
    }
    if (place)
        *place = found;
    return false;
}

bool CXmlDoc::SetPosition(int32_t parent, int32_t main, int32_t child)
{
    m_parent = parent;
    m_main = main;
    m_child = child;
    return main != 0;
}

std::string_view CXmlDoc::NameAt(int32_t index) const
{
    if (!IsElem(index))
        return {};
    const XmlElem &elem = m_table[index];
    XmlToken token(m_text.data(), elem.start + elem.StartTagLength(), elem.start + 1);
    token.SkipWhitespace();
    const size_t start = token.pos;
    token.SkipToDelimiter(" \t\n\r<>=\\/?!\"';");
    if (token.pos == start && token.At(start) != 0)
        token.pos = token.NextChar(start);
    return std::string_view(m_text.data() + start, token.pos - start);
}

int32_t CXmlDoc::FindByName(int32_t parent, int32_t after, std::string_view name) const
{
    if (!name.empty() && name[0] == '/')
        return 0;
    int32_t candidate = IsElem(after) ? m_table[after].nextSibling
                        : IsRecord(parent) ? m_table[parent].firstChild
                                           : 0;
    for (; candidate != 0; candidate = m_table[candidate].nextSibling) {
        if (name.empty())
            return candidate;
        const std::string_view own = NameAt(candidate);
        if (own.size() <= name.size() && name.compare(0, own.size(), own) == 0
            && IsNameArgumentEnd(own.size() < name.size() ? static_cast<unsigned char>(name[own.size()]) : 0))
            return candidate;
    }
    return 0;
}

bool CXmlDoc::FindNext(std::string_view name)
{
    const int32_t found = FindByName(m_parent, m_main, name);
    if (found == 0)
        return false;
    return SetPosition(m_parent, found, 0);
}

bool CXmlDoc::FindNextChild(std::string_view name)
{
    if (!IsElem(m_main) && !FindNext())
        return false;
    const int32_t found = FindByName(m_main, m_child, name);
    if (found == 0)
        return false;
    return SetPosition(m_table[m_main].parent, m_main, found);
}

bool CXmlDoc::StepIn()
{
    if (!IsElem(m_main))
        return false;
    SetPosition(m_main, m_child, 0);
    return true;
}

bool CXmlDoc::StepOut()
{
    if (!IsElem(m_parent))
        return false;
    SetPosition(m_table[m_parent].parent, m_parent, m_main);
    return true;
}

std::string CXmlDoc::GetAttributeAt(int32_t index, std::string_view name) const
{
    if (!IsElem(index))
        return {};
    const XmlElem &elem = m_table[index];
    XmlToken token(m_text.data(), elem.start + elem.StartTagLength(), elem.start + 1);
    if (!token.FindAttribute(name))
        return {};
    return DecodeEntities(m_text.data() + token.tokenStart, token.tokenEnd - token.tokenStart);
}

std::string CXmlDoc::GetTextAt(int32_t index) const
{
    if (!IsElem(index))
        return {};
    const XmlElem &elem = m_table[index];
    if (elem.firstChild != 0 || elem.StartTagLength() >= elem.length)
        return {};
    const size_t from = elem.start + elem.StartTagLength();
    const size_t to = elem.start + elem.length - elem.EndTagLength();
    if (to <= from)
        return {};
    const char *content = m_text.data() + from;
    if (!std::memchr(content, '<', to - from))
        return DecodeEntities(content, to - from);

    std::string text;
    XmlToken token(m_text.data(), to, from);
    for (;;) {
        XmlNodeInfo node;
        const int type = ScanNode(token, node);
        if (type == XmlNodeInfo::kEndOfText)
            break;
        if (type == XmlNodeInfo::kText) {
            text += DecodeEntities(m_text.data() + node.start, node.length);
        } else if (type == XmlNodeInfo::kCdata) {
            // The bytes between "<![CDATA[" and "]]>"; the scanner checks
            // only the 'C' of the keyword, so a short section gives nothing.
            if (node.length > 12)
                text.append(m_text.data() + node.start + 9, node.length - 12);
        }
    }
    return text;
}
