#pragma once
// Shared by the XML tests and the fuzz target: whether a document's index
// still describes its text.
#include "xml/xml_doc.h"

#include <cstdint>
#include <string>
#include <utility>
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

// The first difference between the indexes of two documents walked in
// document order (record numbers may differ), or the empty string. A
// document built in place must index its text as a fresh parse of it would.
inline std::string IndexDifference(const CXmlDoc &built, const CXmlDoc &parsed)
{
    std::vector<std::pair<int32_t, int32_t>> pending{{0, 0}};
    while (!pending.empty()) {
        const auto [b, p] = pending.back();
        pending.pop_back();
        const XmlElem eb = built.GetElem(b);
        const XmlElem ep = parsed.GetElem(p);
        const std::string at = "element " + std::to_string(b) + " (parsed " + std::to_string(p) + "): ";
        if (eb.start != ep.start || eb.length != ep.length || eb.tagLengths != ep.tagLengths)
            return at + "start " + std::to_string(eb.start) + "/" + std::to_string(ep.start) + ", length "
                + std::to_string(eb.length) + "/" + std::to_string(ep.length) + ", tags "
                + std::to_string(eb.tagLengths) + "/" + std::to_string(ep.tagLengths);
        if (eb.flags != ep.flags)
            return at + "flags " + std::to_string(eb.flags) + "/" + std::to_string(ep.flags);
        if ((eb.firstChild == 0) != (ep.firstChild == 0))
            return at + "children";
        std::vector<std::pair<int32_t, int32_t>> kids;
        int32_t kb = eb.firstChild;
        int32_t kp = ep.firstChild;
        for (; kb != 0 && kp != 0; kb = built.GetElem(kb).nextSibling, kp = parsed.GetElem(kp).nextSibling) {
            if (kids.size() > 100000000)
                return at + "sibling links run in a circle";
            kids.emplace_back(kb, kp);
        }
        if (kb != kp)
            return at + "number of children";
        pending.insert(pending.end(), kids.rbegin(), kids.rend());
    }
    return {};
}
