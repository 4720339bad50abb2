// The node scanner: one node (tag, text, comment, ...) from the scan position.
#include "xml/xml_doc.h"

using namespace xml_chars;

namespace {

// The last two characters seen, as bytes; a multi-byte character counts as
// none, so its trail byte never completes an end marker such as "-->".
struct LastTwo {
    int last = -1;
    int beforeLast = -1;
    void Push(const XmlToken &t, size_t at)
    {
        beforeLast = last;
        last = t.NextChar(at) == at + 1 ? t.At(at) : -1;
    }
};

struct Scan {
    XmlToken &t;
    XmlNodeInfo &node;
    size_t p;

    int Unterminated(const char *type)
    {
        p = t.limit;
        node.note = "unterminated_tag_syntax";
        node.noteType = type;
        return XmlNodeInfo::kError;
    }
    // An error node runs on to the next '>' or stops just before the next '<'.
    int SyntaxError(const char *note, size_t from)
    {
        p = from;
        for (unsigned char c; (c = t.At(p)) != 0; p = t.NextChar(p)) {
            if (c == '>') {
                ++p;
                break;
            }
            if (c == '<')
                break;
        }
        node.note = note;
        return XmlNodeInfo::kError;
    }
    // Runs from `from` to a '>' that completes the marker: the characters
    // before it must be `marker` (which lies after `from`). False at the end.
    bool ToMarkedEnd(size_t from, std::string_view marker)
    {
        LastTwo seen;
        for (p = from;; p = t.NextChar(p)) {
            const unsigned char c = t.At(p);
            if (c == 0)
                return false;
            if (c == '>') {
                const bool done = marker.size() == 2
                    ? seen.beforeLast == marker[0] && seen.last == marker[1]
                    : marker.empty() || seen.last == marker[0];
                if (done) {
                    ++p;
                    return true;
                }
            }
            seen.Push(t, p);
        }
    }
    // A declaration inside a document type: double or single quotes protect
    // '>' in it.
    bool ToDeclarationEnd(size_t from)
    {
        unsigned char quote = 0;
        for (p = from;; p = t.NextChar(p)) {
            const unsigned char c = t.At(p);
            if (c == 0)
                return false;
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                ++p;
                return true;
            }
        }
    }
    size_t NameEnd(size_t from, bool stopAtQuestionMark)
    {
        size_t q = from;
        for (unsigned char c; (c = t.At(q)) != 0; q = t.NextChar(q)) {
            if (IsSpace(c) || c == '/' || c == '>' || (stopAtQuestionMark && c == '?'))
                break;
        }
        return q;
    }

    int TextNode()
    {
        bool whitespace = true;
        for (unsigned char c; (c = t.At(p)) != 0 && c != '<'; p = t.NextChar(p)) {
            if (!IsSpace(c))
                whitespace = false;
        }
        return whitespace ? XmlNodeInfo::kWhitespace : XmlNodeInfo::kText;
    }

    int StartTag()
    {
        t.tokenStart = p + 1;
        t.tokenEnd = p = NameEnd(p + 1, false);
        // What the character before a '/' was: the name, whitespace or a
        // closing quote make "/>" an empty element; in <a b=1/> the '/'
        // belongs to the value.
        bool slashEndsTag = false;
        bool lastWasSlash = false;
        bool slashMayEnd = true; // the name itself was the last thing read
        bool afterEquals = false;
        for (;;) {
            const unsigned char c = t.At(p);
            if (c == 0)
                return Unterminated("start_tag");
            if (c == '>') {
                ++p;
                if (lastWasSlash && slashEndsTag)
                    node.flags |= XmlNodeInfo::kEmptyElement;
                return XmlNodeInfo::kStartTag;
            }
            if ((c == '"' || c == '\'') && afterEquals) {
                for (p = p + 1; t.At(p) != c; p = t.NextChar(p)) {
                    if (t.At(p) == 0)
                        return Unterminated("start_tag");
                }
                ++p;
                lastWasSlash = afterEquals = false;
                slashMayEnd = true;
                continue;
            }
            if (IsSpace(c)) {
                lastWasSlash = false;
                slashMayEnd = true;
                ++p;
                continue;
            }
            lastWasSlash = c == '/';
            slashEndsTag = lastWasSlash && slashMayEnd;
            slashMayEnd = false;
            afterEquals = c == '=';
            p = t.NextChar(p);
        }
    }

    int EndTag()
    {
        t.tokenStart = p + 2;
        t.tokenEnd = NameEnd(p + 2, false);
        for (p = t.tokenEnd; t.At(p) != '>'; p = t.NextChar(p)) {
            if (t.At(p) == 0)
                return Unterminated("end_tag");
        }
        ++p;
        return XmlNodeInfo::kEndTag;
    }

    int ProcessingInstruction()
    {
        t.tokenStart = p + 2;
        t.tokenEnd = NameEnd(p + 2, true);
        if (!ToMarkedEnd(p + 2, "?"))
            return Unterminated("processing_instruction");
        return XmlNodeInfo::kProcessingInstruction;
    }

    int DocumentType()
    {
        const size_t start = p;
        size_t q = p + 3; // after "<!D"; the rest of the keyword is not examined
        for (;;) {
            const unsigned char c = t.At(q);
            if (c == 0)
                return Unterminated("document_type");
            if (c == '>') {
                p = q + 1;
                return XmlNodeInfo::kDocumentType;
            }
            if (c != '<') {
                q = t.NextChar(q);
                continue;
            }
            const unsigned char c1 = t.At(q + 1);
            bool closed = true;
            if (c1 == '!') {
                const unsigned char c2 = t.At(q + 2);
                if (c2 == 0)
                    return Unterminated("document_type");
                if (c2 == 'E' || c2 == 'A' || c2 == 'N')
                    closed = ToDeclarationEnd(q + 3);
                else if (c2 == '-' && t.At(q + 3) == '-')
                    closed = ToMarkedEnd(q + 4, "--");
                else if (c2 == '-' && t.At(q + 3) == 0)
                    return Unterminated("document_type");
                else
                    return SyntaxError("doctype_tag_syntax", q + 2);
            } else if (c1 == '?') {
                closed = ToMarkedEnd(q + 2, "?");
            } else if (c1 != 0 && IsNameStart(c1)) {
                closed = ToMarkedEnd(q + 1, "");
            } else if (c1 == 0) {
                return Unterminated("document_type");
            } else {
                p = q + 1;
            }
            if (!closed)
                return Unterminated("document_type");
            q = p;
            p = start;
        }
    }

    // "<!--" and "<![C": the character after the opener's second one is
    // checked, then the body runs to the end marker.
    int Section(unsigned char expected, const char *syntaxNote, std::string_view marker, const char *type,
                int nodeType)
    {
        const unsigned char c = t.At(p + 3);
        if (c == 0)
            return Unterminated("tag");
        if (c != expected)
            return SyntaxError(syntaxNote, p + 3);
        if (!ToMarkedEnd(p + 4, marker))
            return Unterminated(type);
        return nodeType;
    }

    int Exclamation()
    {
        const unsigned char c = t.At(p + 2);
        if (c == 0)
            return Unterminated("tag");
        if (c == '-')
            return Section('-', "comment_tag_syntax", "--", "comment", XmlNodeInfo::kComment);
        if (c == '[')
            return Section('C', "cdata_section_syntax", "]]", "cdata_section", XmlNodeInfo::kCdata);
        if (c == 'D')
            return DocumentType();
        return SyntaxError("exclamation_tag_syntax", p + 2);
    }

    int Markup()
    {
        const unsigned char c = t.At(p + 1);
        if (c == 0)
            return Unterminated("tag");
        if (IsNameStart(c))
            return StartTag();
        if (c == '/')
            return EndTag();
        if (c == '?')
            return ProcessingInstruction();
        if (c == '!')
            return Exclamation();
        return SyntaxError("first_tag_syntax", p + 1);
    }
};

} // namespace

int CXmlDoc::ScanNode(XmlToken &token, XmlNodeInfo &node)
{
    node = XmlNodeInfo();
    node.start = token.pos;
    Scan scan{token, node, token.pos};
    const unsigned char c = token.At(token.pos);
    if (c == 0)
        node.type = XmlNodeInfo::kEndOfText;
    else if (c != '<')
        node.type = scan.TextNode();
    else
        node.type = scan.Markup();
    token.pos = scan.p;
    node.length = scan.p - node.start;
    return node.type;
}
