#pragma once
// One XML document held as a single byte string in the system's code page
// (GBK characters are carried unchanged) together with an index of its
// elements. Text nodes, comments, processing instructions and the document
// type are not indexed; they are found again by scanning when data is read.
//
// Every read is relative to a position of three element indices: the parent
// whose children are visited (0 = the document, so the top-level elements),
// the main element among them and the child element among main's children
// (0 = none). Building inserts at the position and keeps the index in step.
//
// Texts passed in are taken up to their first NUL byte, as C strings are.
#include "xml/xml_elem_table.h"
#include "xml/xml_token.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct XmlNodeInfo {
    static constexpr uint32_t kEmptyElement = 0x10000; // the start tag ends with "/>"
    enum Type : int {
        kEndTag = 0,
        kStartTag = 1,
        kText = 2,
        kWhitespace = 4,
        kCdata = 8,
        kProcessingInstruction = 16,
        kComment = 32,
        kDocumentType = 64,
        kError = -1,
        kEndOfText = -2,
    };

    int type = kEndOfText;
    size_t start = 0;
    size_t length = 0;
    uint32_t flags = 0;
    // The scanner's result entry for a syntax error: its name and, for an
    // unterminated tag, what kind of markup it was.
    const char *note = nullptr;
    const char *noteType = nullptr;
};

struct XmlPosition {
    int32_t parent = 0;
    int32_t main = 0;
    int32_t child = 0;
    bool operator==(const XmlPosition &) const = default;
};

class CXmlDoc {
public:
    // AppendElement option: no CR LF after the element.
    static constexpr int kNoLineBreak = 1;

    CXmlDoc();
    explicit CXmlDoc(const char *text);
    ~CXmlDoc();
    CXmlDoc(const CXmlDoc &) = delete;
    CXmlDoc &operator=(const CXmlDoc &) = delete;

    // Replaces the document by a copy of the text (none: empty, and the index
    // memory is released) and parses it. False when the text is not
    // well-formed, empty, has several top-level elements, or memory ran out.
    bool LoadText(const char *text);
    bool IsValid() const;
    // The report of the last parse: one empty element per problem found.
    std::string GetResult() const { return m_result; }

    bool SetPosition(int32_t parent, int32_t main, int32_t child);
    XmlPosition GetPosition() const { return {m_parent, m_main, m_child}; }
    bool FindNext(std::string_view name = {});
    bool FindNextChild(std::string_view name = {});
    bool StepIn();
    bool StepOut();

    std::string GetAttribute(std::string_view name) const { return GetAttributeAt(m_main, name); }
    std::string GetChildText() const { return GetTextAt(m_child); }
    std::string GetChildName() const { return GetNameAt(m_child); }

    // False only without a main element, when a tag would outgrow its length
    // field, or when memory runs out; the document is then unchanged.
    bool AppendElement(std::string_view name, std::string_view data = {}, int options = 0);
    bool AppendElementInt(std::string_view name, int32_t value, int options = 0);
    bool SetAttribute(std::string_view name, std::string_view value);
    bool SetAttributeAt(int32_t index, std::string_view name, std::string_view value);

    std::string GetText() const { return m_text; }
    // A copy of an element's record (zeros for an index not in use); for
    // diagnostics and tests.
    XmlElem GetElem(int32_t index) const;

    static std::string EncodeEntities(std::string_view text, bool attribute);
    static std::string DecodeEntities(const char *bytes, size_t length);

private:
    // The parser.
    void ParseText();
    int32_t ParseNodes(int32_t parent, XmlToken &token);
    static int ScanNode(XmlToken &token, XmlNodeInfo &node);
    void ReserveElems(int32_t n);
    int32_t NewElemIndex();
    void AppendParseNote(const char *name, std::optional<std::string_view> text, int64_t number, int64_t offset2);
    struct OpenTag;
    void CloseUnended(OpenTag *stack, int depthFrom, int depthTo, int32_t into, size_t offset2);
    void ClearToEmpty();

    // The readers.
    bool IsElem(int32_t index) const { return index > 0 && index < m_nextNew; }
    bool IsRecord(int32_t index) const { return index >= 0 && index < m_nextNew; }
    std::string_view NameAt(int32_t index) const;
    int32_t FindByName(int32_t parent, int32_t after, std::string_view name) const;
    std::string GetAttributeAt(int32_t index, std::string_view name) const;
    std::string GetTextAt(int32_t index) const;
    std::string GetNameAt(int32_t index) const { return std::string(NameAt(index)); }

    // The writer.
    struct Inserted {
        size_t start;      // where the new element's '<' stands
        size_t sizeBefore; // the text's length before the change
    };
    Inserted InsertNodeText(int32_t parent, int32_t &after, std::string nodeText, int options);
    std::string_view StartTagName(int32_t index) const;
    void LinkRecord(int32_t parent, int32_t after, int32_t index);
    void AdjustOffsets(int32_t index, int64_t delta);
    void ReplaceText(size_t offset, size_t remove, std::string_view with);
    bool EnsureDocumentRecord();

    std::string m_text;
    std::string m_result;
    int32_t m_parent = 0;
    int32_t m_main = 0;
    int32_t m_child = 0;
    int32_t m_nextNew = 0;
    XmlElemTable m_table;
};
