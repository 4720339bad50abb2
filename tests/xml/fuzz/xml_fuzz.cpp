// Arbitrary bytes through the whole document class: load, walk every element,
// read every attribute, child text and name, then build on top and check that
// the index still describes the text.
#include "../xml_fixture.h"

#include <algorithm>
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

void CheckIndex(const CXmlDoc &doc)
{
    Require(IndexFault(doc).empty());
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
    const bool valid = doc.LoadText(input.c_str());
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
    const std::string_view bytes(input);
    doc.AppendElement("d", bytes.substr(std::min<size_t>(48, size), 32));
    doc.SetAttribute("v", bytes.substr(0, 16));
    // Built on a well-formed document, the text parses back to the same index.
    if (valid) {
        CXmlDoc reparsed(doc.GetText().c_str());
        Require(reparsed.IsValid() && IndexDifference(doc, reparsed).empty());
    }
    doc.SetAttribute(bytes.substr(0, 16), bytes.substr(std::min<size_t>(16, size), 32));
    CheckIndex(doc);
    Walk(doc);

    // The built text and the report load again.
    CXmlDoc again(doc.GetText().c_str());
    CheckIndex(again);
    CXmlDoc report(doc.GetResult().c_str());
    CheckIndex(report);
    return 0;
}
