// Building in place: elements and attributes are inserted into the text and
// the index is shifted, not rebuilt, so building and reading can be mixed.
#include "xml/xml_doc.h"

#include <new>

using namespace xml_chars;

namespace {

constexpr size_t kMaxTextLength = 0x7FFFFFF0;

std::string_view UpToNul(std::string_view text)
{
    return text.substr(0, text.find('\0'));
}

} // namespace

// After memory ran out in a load there is no record at all; building then
// starts an empty document.
bool CXmlDoc::EnsureDocumentRecord()
{
    if (m_nextNew > 0)
        return true;
    m_text.clear();
    m_result.clear();
    ReserveElems(8);
    m_table[0] = XmlElem{};
    m_nextNew = 1;
    m_parent = m_main = m_child = 0;
    return true;
}

bool CXmlDoc::AppendElement(std::string_view name, std::string_view data, int options)
{
    name = UpToNul(name);
    data = UpToNul(data);
    try {
        EnsureDocumentRecord();
        const int32_t parent = IsRecord(m_parent) ? m_parent : 0;
        int32_t after = IsElem(m_main) ? m_main : 0;
        // Main must be one of parent's children, or the links would tangle.
        if (after != 0 && m_table[after].parent != parent)
            return false;

        std::string nodeText;
        size_t startTag;
        size_t endTag = 0;
        if (data.empty()) {
            nodeText.append("<").append(name).append("/>");
            startTag = nodeText.size();
        } else {
            const std::string escaped = EncodeEntities(data, false);
            nodeText.append("<").append(name).append(">").append(escaped).append("</").append(name).append(">");
            startTag = name.size() + 2;
            endTag = name.size() + 3;
        }
        // An empty parent such as <p/> gets an end tag of its own name.
        const XmlElem &p = m_table[parent];
        const size_t parentEndTag = parent != 0 && p.StartTagLength() == p.length ? StartTagName(parent).size() + 3 : 0;
        if (startTag > kXmlMaxStartTag || endTag > kXmlMaxEndTag || parentEndTag > kXmlMaxEndTag
            || m_text.size() + nodeText.size() + parentEndTag + 8 > kMaxTextLength)
            return false;

        const int32_t index = NewElemIndex();
        const int32_t nextNewBefore = index;
        Inserted placed;
        try {
            placed = InsertNodeText(parent, after, nodeText, options);
        } catch (...) {
            m_nextNew = nextNewBefore;
            throw;
        }
        XmlElem &elem = m_table[index];
        elem = XmlElem{};
        elem.start = static_cast<uint32_t>(placed.start);
        elem.length = static_cast<uint32_t>(nodeText.size());
        elem.SetTagLengths(static_cast<uint32_t>(startTag), static_cast<uint32_t>(endTag));
        LinkRecord(parent, after, index);
        const int64_t inserted = static_cast<int64_t>(m_text.size()) - placed.sizeBefore;
        AdjustOffsets(index, inserted);
        SetPosition(parent, index, 0);
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

bool CXmlDoc::AppendElementInt(std::string_view name, int32_t value, int options)
{
    return AppendElement(name, std::to_string(value), options);
}

CXmlDoc::Inserted CXmlDoc::InsertNodeText(int32_t parent, int32_t &after, std::string nodeText, int options)
{
    const bool lineBreak = !(options & kNoLineBreak);
    XmlElem &p = m_table[parent];
    const bool emptyParent = parent != 0 && p.StartTagLength() == p.length;
    size_t offset = after == 0 ? p.start + p.length - p.EndTagLength() : m_table[after].start + m_table[after].length;
    if (parent == 0 && after == 0)
        offset = m_text.size();
    if (lineBreak && !emptyParent) {
        size_t past = offset;
        while (past < m_text.size() && IsSpace(static_cast<unsigned char>(m_text[past])))
            ++past;
        if (past == m_text.size() || m_text[past] == '<')
            offset = past;
    }
    if (after == 0 && p.firstChild != 0)
        after = m_table[p.firstChild].prevSibling;
    if (lineBreak)
        nodeText += "\r\n";

    const size_t sizeBefore = m_text.size();
    if (emptyParent) {
        const std::string name(StartTagName(parent));
        const size_t tagEnd = p.start + p.StartTagLength();
        if (!(p.flags & kXmlUnended) && m_text.compare(tagEnd - 2, 2, "/>") == 0) {
            // <p/>: the '/' becomes ">", the new element and "</p", and the
            // old '>' closes the new end tag.
            const std::string head = lineBreak ? ">\r\n" : ">";
            ReplaceText(tagEnd - 2, 1, head + nodeText + "</" + name);
            p.SetTagLengths(p.StartTagLength() - 1, static_cast<uint32_t>(name.size() + 3));
            return {tagEnd - 2 + head.size(), sizeBefore};
        }
        // A start tag left without its end tag by the parse: it gets one now.
        ReplaceText(tagEnd, 0, "\r\n" + nodeText + "</" + name + ">");
        p.SetTagLengths(p.StartTagLength(), static_cast<uint32_t>(name.size() + 3));
        p.flags &= ~kXmlUnended;
        return {tagEnd + 2, sizeBefore};
    }
    if (parent != 0 && p.length == p.StartTagLength() + p.EndTagLength()) {
        // <p></p>
        const size_t tagEnd = p.start + p.StartTagLength();
        ReplaceText(tagEnd, 0, "\r\n" + nodeText);
        return {tagEnd + 2, sizeBefore};
    }
    ReplaceText(offset, 0, nodeText);
    return {offset, sizeBefore};
}

// The name as the parser reads it from the start tag, so that the end tag
// written for an empty parent closes it when the text is parsed again: the
// reader's name stops earlier (at '!', '?', ';', quotes ...), and "</a>" does
// not close <a;b>.
std::string_view CXmlDoc::StartTagName(int32_t index) const
{
    const XmlElem &elem = m_table[index];
    XmlToken token(m_text.data(), elem.start + elem.StartTagLength(), elem.start + 1);
    token.SkipToDelimiter(" \t\n\r/>");
    return std::string_view(m_text.data() + elem.start + 1, token.pos - elem.start - 1);
}

void CXmlDoc::LinkRecord(int32_t parent, int32_t after, int32_t index)
{
    XmlElem &elem = m_table[index];
    XmlElem &p = m_table[parent];
    elem.parent = parent;
    if (after == 0) {
        p.firstChild = index;
        elem.flags |= kXmlFirstChild;
        elem.prevSibling = index;
        elem.nextSibling = 0;
        return;
    }
    XmlElem &before = m_table[after];
    elem.prevSibling = after;
    elem.nextSibling = before.nextSibling;
    before.nextSibling = index;
    if (elem.nextSibling != 0)
        m_table[elem.nextSibling].prevSibling = index;
    else
        m_table[p.firstChild].prevSibling = index;
}

// Shifts every element after `index` in document order by delta and grows
// every element around it, the document record included.
void CXmlDoc::AdjustOffsets(int32_t index, int64_t delta)
{
    if (delta == 0)
        return;
    const auto shift = [&](int32_t i) {
        m_table[i].start = static_cast<uint32_t>(m_table[i].start + delta);
    };
    // Pre-order walk of everything below `root`, without recursion.
    const auto shiftBelow = [&](int32_t root) {
        int32_t x = m_table[root].firstChild;
        while (x != 0) {
            shift(x);
            if (m_table[x].firstChild != 0) {
                x = m_table[x].firstChild;
                continue;
            }
            while (x != root && m_table[x].nextSibling == 0)
                x = m_table[x].parent;
            if (x == root)
                break;
            x = m_table[x].nextSibling;
        }
    };
    shiftBelow(index);
    for (int32_t x = index; x != 0;) {
        for (int32_t s = m_table[x].nextSibling; s != 0; s = m_table[s].nextSibling) {
            shift(s);
            shiftBelow(s);
        }
        x = m_table[x].parent;
        m_table[x].length = static_cast<uint32_t>(m_table[x].length + delta);
    }
}

void CXmlDoc::ReplaceText(size_t offset, size_t remove, std::string_view with)
{
    const size_t newLength = m_text.size() - remove + with.size();
    if (newLength > m_text.capacity())
        m_text.reserve(newLength + 128 + newLength / 2);
    m_text.replace(offset, remove, with);
}

bool CXmlDoc::SetAttribute(std::string_view name, std::string_view value)
{
    if (!IsElem(m_main))
        return false;
    return SetAttributeAt(m_main, name, value);
}

bool CXmlDoc::SetAttributeAt(int32_t index, std::string_view name, std::string_view value)
{
    if (!IsElem(index))
        return false;
    name = UpToNul(name);
    value = UpToNul(value);
    try {
        const std::string quoted = "\"" + EncodeEntities(value, true) + "\"";
        XmlElem &elem = m_table[index];
        XmlToken token(m_text.data(), elem.start + elem.StartTagLength(), elem.start + 1);
        XmlToken::AttributePlace place;
        std::string with;
        size_t at;
        size_t remove = 0;
        if (token.FindAttribute(name, &place)) {
            at = place.replaceStart;
            remove = place.replaceEnd - place.replaceStart;
            // <a sel>: the name stays and gets a value.
            with = place.valueless ? "=" + quoted : quoted;
        } else {
            at = place.listEnd;
            with.append(" ").append(name).append("=").append(quoted);
        }
        const int64_t delta = static_cast<int64_t>(with.size()) - static_cast<int64_t>(remove);
        if (elem.StartTagLength() + delta > kXmlMaxStartTag || m_text.size() + delta > kMaxTextLength)
            return false;
        ReplaceText(at, remove, with);
        elem.SetTagLengths(static_cast<uint32_t>(elem.StartTagLength() + delta), elem.EndTagLength());
        elem.length = static_cast<uint32_t>(elem.length + delta);
        AdjustOffsets(index, delta);
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}
