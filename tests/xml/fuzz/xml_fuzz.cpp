// Arbitrary bytes through the whole document class: load, walk every element,
// read every attribute, child text and name, then build on top and check that
// the index still describes the text.
#include "xml/xml_doc.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

// Every record lies inside the text and inside its parent, starts with '<',
// and the sibling links agree with each other.
void CheckIndex(const CXmlDoc &doc)
{
    const std::string text = doc.GetText();
    const XmlElem root = doc.GetElem(0);
    Require(root.length == text.size());
    std::vector<int32_t> pending{0};
    size_t visited = 0;
    while (!pending.empty()) {
        const int32_t parent = pending.back();
        pending.pop_back();
        const XmlElem p = doc.GetElem(parent);
        const uint64_t contentEnd = uint64_t(p.start) + p.length - p.EndTagLength();
        int32_t previous = 0;
        uint64_t after = parent == 0 ? 0 : uint64_t(p.start) + p.StartTagLength();
        for (int32_t i = p.firstChild; i != 0; i = doc.GetElem(i).nextSibling) {
            Require(++visited < 100000000);
            const XmlElem e = doc.GetElem(i);
            Require(e.parent == parent);
            Require(e.start >= after && uint64_t(e.start) + e.length <= contentEnd);
            Require(e.StartTagLength() >= 2 && e.StartTagLength() + e.EndTagLength() <= e.length);
            Require(text[e.start] == '<');
            Require(previous == 0 ? (e.flags & kXmlFirstChild) != 0 : e.prevSibling == previous);
            after = uint64_t(e.start) + e.length;
            previous = i;
            pending.push_back(i);
        }
        if (p.firstChild != 0)
            Require(doc.GetElem(p.firstChild).prevSibling == previous);
    }
}

// The names of the start tag's words, to ask for each as an attribute.
std::vector<std::string> AttributeNames(const std::string &text, const XmlElem &e)
{
    std::vector<std::string> names;
    std::string word;
    for (uint32_t i = 1; i < e.StartTagLength() && e.start + i < text.size(); ++i) {
        const char c = text[e.start + i];
        if (c == ' ' || c == '=' || c == '\t' || c == '\n' || c == '\r' || c == '>') {
            if (!word.empty())
                names.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty())
        names.push_back(word);
    return names;
}

void Walk(CXmlDoc &doc)
{
    const std::string text = doc.GetText();
    doc.SetPosition(0, 0, 0);
    size_t steps = 0;
    for (;;) {
        Require(++steps < 10000000);
        if (doc.FindNext()) {
            const XmlPosition at = doc.GetPosition();
            for (const std::string &name : AttributeNames(text, doc.GetElem(at.main)))
                doc.GetAttribute(name);
            while (doc.FindNextChild()) {
                doc.GetChildText();
                doc.GetChildName();
            }
            doc.SetPosition(at.parent, at.main, 0);
            doc.StepIn();
        } else if (!doc.StepOut()) {
            break;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string input(reinterpret_cast<const char *>(data), size);
    CXmlDoc doc;
    doc.LoadText(input.c_str());
    CheckIndex(doc);
    Walk(doc);

    // Build at the first element's first child, or at the top.
    doc.SetPosition(0, 0, 0);
    if (doc.FindNext())
        doc.StepIn();
    doc.FindNext();
    doc.SetAttribute("fz", "a<b\"c'&d");
    doc.AppendElement("new", "x & y");
    doc.SetAttribute("id", "7");
    doc.StepIn();
    doc.AppendElementInt("n", -3);
    doc.SetAttribute(input.substr(0, 16), input.substr(16, 32));
    CheckIndex(doc);
    Walk(doc);

    // The built text and the report load again.
    CXmlDoc again(doc.GetText().c_str());
    CheckIndex(again);
    CXmlDoc report(doc.GetResult().c_str());
    CheckIndex(report);
    return 0;
}
