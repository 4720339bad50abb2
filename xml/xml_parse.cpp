// Loading and parsing: the element index and the parse report.
#include "xml/xml_doc.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace {

// Offsets are 32-bit in the element records.
constexpr size_t kMaxTextLength = 0x7FFFFFF0;
// The report stops growing here; the flags and LoadText's result still tell.
constexpr size_t kMaxResultLength = 1000;

} // namespace

struct CXmlDoc::OpenTag {
    size_t nameStart;
    size_t nameLength;
    int32_t elem;
};

CXmlDoc::CXmlDoc()
{
    LoadText(nullptr);
}

CXmlDoc::CXmlDoc(const char *text)
{
    LoadText(text);
}

CXmlDoc::~CXmlDoc() = default;

bool CXmlDoc::LoadText(const char *text)
{
    try {
        m_result.clear();
        if (text) {
            const size_t length = std::strlen(text);
            if (length > kMaxTextLength)
                throw std::bad_alloc();
            m_text.assign(text, length);
        } else {
            m_text.clear();
            m_text.shrink_to_fit();
            m_table.Free();
        }
        ParseText();
    } catch (const std::bad_alloc &) {
        ClearToEmpty();
        return false;
    }
    return IsValid();
}

// After memory ran out: no text, no records; building starts afresh.
void CXmlDoc::ClearToEmpty()
{
    std::string().swap(m_text);
    std::string().swap(m_result);
    m_table.Free();
    m_nextNew = 0;
    m_parent = m_main = m_child = 0;
}

bool CXmlDoc::IsValid() const
{
    if (m_table.Capacity() == 0 || m_nextNew == 0)
        return false;
    const XmlElem &doc = m_table[0];
    return !(doc.flags & kXmlNotWellFormed) && doc.firstChild != 0 && m_table[doc.firstChild].nextSibling == 0;
}

XmlElem CXmlDoc::GetElem(int32_t index) const
{
    return IsRecord(index) ? m_table[index] : XmlElem{};
}

void CXmlDoc::ParseText()
{
    m_parent = m_main = m_child = 0;
    m_nextNew = 0;
    ReserveElems(static_cast<int32_t>(m_text.size() / 64 + 8));
    m_nextNew = 1;
    m_table[0] = XmlElem{};
    if (m_text.empty())
        return;
    XmlToken token(m_text.c_str(), m_text.size(), 0);
    const int32_t root = ParseNodes(0, token);
    m_table[0].length = static_cast<uint32_t>(m_text.size());
    if (root == 0) {
        AppendParseNote("no_root_element", std::nullopt, -1, -1);
    } else {
        m_table[0].firstChild = root;
        if (m_table[root].nextSibling != 0)
            AppendParseNote("root_has_sibling", std::nullopt, -1, -1);
    }
    m_parent = m_main = m_child = 0;
}

void CXmlDoc::ReserveElems(int32_t n)
{
    const int32_t target = n > 0 ? n : std::max(m_nextNew + m_nextNew / 2, m_nextNew + 1);
    if (m_table.Capacity() < target)
        m_table.Grow(target);
}

int32_t CXmlDoc::NewElemIndex()
{
    if (m_nextNew >= m_table.Capacity())
        ReserveElems(0);
    return m_nextNew++;
}

int32_t CXmlDoc::ParseNodes(int32_t parent, XmlToken &token)
{
    std::vector<OpenTag> stack(7);
    int depth = 0;
    int32_t current = parent;
    int32_t first = 0;
    auto contentError = [&](int32_t elem) {
        m_table[0].flags |= kXmlNotWellFormed;
        m_table[elem].flags |= kXmlContentError;
    };
    for (;;) {
        XmlNodeInfo node;
        const int type = ScanNode(token, node);
        if (type == XmlNodeInfo::kStartTag) {
            if (node.length > kXmlMaxStartTag) {
                contentError(current);
                AppendParseNote("tag_too_long", "start_tag", static_cast<int64_t>(node.start), -1);
                continue;
            }
            const int32_t index = NewElemIndex();
            XmlElem &elem = m_table[index];
            elem = XmlElem{};
            elem.start = static_cast<uint32_t>(node.start);
            elem.length = static_cast<uint32_t>(node.length);
            elem.SetTagLengths(static_cast<uint32_t>(node.length), 0);
            const int32_t firstKid = m_table[current].firstChild;
            LinkRecord(current, firstKid ? m_table[firstKid].prevSibling : 0, index);
            if (first == 0)
                first = index;
            if (node.flags & XmlNodeInfo::kEmptyElement)
                continue;
            ++depth;
            if (depth >= static_cast<int>(stack.size()))
                stack.resize(stack.size() * 2);
            stack[depth] = {token.tokenStart, token.tokenEnd - token.tokenStart, index};
            current = index;
        } else if (type == XmlNodeInfo::kEndTag) {
            if (node.length > kXmlMaxEndTag) {
                contentError(current);
                AppendParseNote("tag_too_long", "end_tag", static_cast<int64_t>(node.start), -1);
                continue;
            }
            const std::string_view name = token.Token();
            int d = depth;
            for (; d >= 1; --d) {
                const OpenTag &open = stack[d];
                if (name.size() > open.nameLength
                    || std::memcmp(m_text.data() + open.nameStart, name.data(), name.size()) != 0)
                    continue;
                if (name.size() == open.nameLength)
                    break;
                const char next = m_text[open.nameStart + name.size()];
                if (next == ' ' || next == '=' || next == '/' || next == '[' || next == ']')
                    break;
            }
            if (d == 0) {
                contentError(current);
                AppendParseNote("lone_end_tag", name, static_cast<int64_t>(node.start), -1);
                continue;
            }
            const int32_t matched = stack[d].elem;
            if (d < depth)
                CloseUnended(stack.data(), d + 1, depth, matched, node.start + 1);
            XmlElem &elem = m_table[matched];
            elem.length = static_cast<uint32_t>(node.start + node.length - elem.start);
            elem.SetTagLengths(elem.StartTagLength(), static_cast<uint32_t>(node.length));
            depth = d - 1;
            current = elem.parent;
        } else if (type == XmlNodeInfo::kError) {
            contentError(current);
            AppendParseNote(node.note, node.noteType ? std::optional<std::string_view>(node.noteType) : std::nullopt,
                            static_cast<int64_t>(node.start), -1);
        } else if (type == XmlNodeInfo::kEndOfText) {
            if (depth > 0)
                CloseUnended(stack.data(), 1, depth, parent, m_text.size());
            break;
        }
    }
    return first;
}

// Closes the open elements at depths depthFrom..depthTo as unended. Their
// former children become their following siblings, so the whole run ends up
// in document order among the children of `into` (the element at depth
// depthFrom - 1). Each element moves once, so a deep unended nest costs no
// more than its size.
void CXmlDoc::CloseUnended(OpenTag *stack, int depthFrom, int depthTo, int32_t into, size_t offset2)
{
    m_table[0].flags |= kXmlNotWellFormed;
    bool contentError = false;
    for (int d = depthTo; d >= depthFrom; --d) {
        XmlElem &elem = m_table[stack[d].elem];
        contentError = contentError || (elem.flags & kXmlContentError);
        elem.flags = (elem.flags & ~kXmlContentError) | kXmlUnended;
        AppendParseNote("unended_start_tag",
                        std::string_view(m_text.data() + stack[d].nameStart, stack[d].nameLength),
                        static_cast<int64_t>(elem.start), static_cast<int64_t>(offset2));
    }
    if (contentError)
        m_table[into].flags |= kXmlContentError;

    // The element at depthFrom is into's last child; each one's children are
    // spliced in right after it, and the next open element is the last of them.
    int32_t tail = stack[depthFrom].elem;
    for (int d = depthFrom; d <= depthTo; ++d) {
        const int32_t index = stack[d].elem;
        XmlElem &elem = m_table[index];
        const int32_t kids = elem.firstChild;
        elem.length = elem.StartTagLength();
        elem.SetTagLengths(elem.StartTagLength(), 0);
        elem.firstChild = 0;
        if (kids == 0)
            continue;
        const int32_t lastKid = m_table[kids].prevSibling;
        for (int32_t k = kids; k != 0; k = m_table[k].nextSibling)
            m_table[k].parent = into;
        m_table[kids].flags &= ~kXmlFirstChild;
        m_table[kids].prevSibling = index;
        m_table[lastKid].nextSibling = elem.nextSibling; // 0: an open element is its parent's last child
        elem.nextSibling = kids;
        if (index == tail)
            tail = lastKid;
    }
    m_table[m_table[into].firstChild].prevSibling = tail;
}

void CXmlDoc::AppendParseNote(const char *name, std::optional<std::string_view> text, int64_t number,
                              int64_t offset2)
{
    if (m_result.size() >= kMaxResultLength)
        return;
    // Building fails only for memory here (a name too long for the start
    // tag is left out: escaping grows it at most sixfold), and memory running
    // out anywhere fails the whole load.
    CXmlDoc report(m_result.c_str());
    if (report.m_text.size() != m_result.size() || !report.AppendElement(name, {}, kNoLineBreak))
        throw std::bad_alloc();
    const auto set = [&](const char *attribute, std::string_view value) {
        if (!report.SetAttribute(attribute, value))
            throw std::bad_alloc();
    };
    if (text && text->size() <= kXmlMaxStartTag / 8)
        set(std::strcmp(name, "unterminated_tag_syntax") == 0 || std::strcmp(name, "tag_too_long") == 0 ? "type"
                                                                                                    : "tagname",
            *text);
    if (number != -1)
        set("offset", std::to_string(number));
    if (offset2 != -1)
        set("offset2", std::to_string(offset2));
    m_result = report.GetText();
}
