#pragma once
// Shared by the XML tests and the fuzz target: whether a document's index
// still describes its text.
#include "xml/xml_doc.h"

#include <cstdint>
#include <string>
#include <vector>

// The first fault found in the index, or the empty string: every record lies
// inside the text and inside its parent's content, after its previous
// sibling, starts with '<', and the sibling links agree with each other.
inline std::string IndexFault(const CXmlDoc &doc)
{
    const std::string text = doc.GetText();
    const XmlElem root = doc.GetElem(0);
    if (root.length != text.size())
        return "document length " + std::to_string(root.length) + " for a text of " + std::to_string(text.size());
    std::vector<int32_t> pending{0};
    size_t visited = 0;
    while (!pending.empty()) {
        const int32_t parent = pending.back();
        pending.pop_back();
        const XmlElem p = doc.GetElem(parent);
        const uint64_t contentEnd = uint64_t(p.start) + p.length - p.EndTagLength();
        uint64_t after = parent == 0 ? 0 : uint64_t(p.start) + p.StartTagLength();
        int32_t previous = 0;
        for (int32_t i = p.firstChild; i != 0; i = doc.GetElem(i).nextSibling) {
            const std::string at = "element " + std::to_string(i) + ": ";
            if (++visited > 100000000)
                return "sibling links run in a circle";
            const XmlElem e = doc.GetElem(i);
            if (e.parent != parent)
                return at + "parent " + std::to_string(e.parent) + " under " + std::to_string(parent);
            if (e.start < after || uint64_t(e.start) + e.length > contentEnd)
                return at + "outside its parent or before its previous sibling";
            if (e.StartTagLength() < 2 || e.StartTagLength() + e.EndTagLength() > e.length)
                return at + "tag lengths do not fit";
            if (text[e.start] != '<')
                return at + "does not start with '<'";
            if (previous == 0 ? (e.flags & kXmlFirstChild) == 0 : e.prevSibling != previous)
                return at + "previous sibling link";
            after = uint64_t(e.start) + e.length;
            previous = i;
            pending.push_back(i);
        }
        if (p.firstChild != 0 && doc.GetElem(p.firstChild).prevSibling != previous)
            return "element " + std::to_string(parent) + ": last child link";
    }
    return {};
}
