#include "xml_fixture.h"

#include <gtest/gtest.h>

namespace {

TEST(XmlBuild, BuildsAReplyOnAnEmptyDocument)
{
    CXmlDoc doc;
    ASSERT_TRUE(doc.AppendElement("r"));
    ASSERT_TRUE(doc.StepIn());
    ASSERT_TRUE(doc.AppendElement("a", "x"));
    ASSERT_TRUE(doc.AppendElement("b", "y"));
    ASSERT_TRUE(doc.StepOut());
    EXPECT_EQ(doc.GetText(), "<r>\r\n<a>x</a>\r\n<b>y</b>\r\n</r>\r\n");
    EXPECT_EQ(doc.GetPosition(), (XmlPosition{0, 1, 3}));
    EXPECT_EQ(IndexFault(doc), "");
}

TEST(XmlBuild, AttributeOnTheFirstElement)
{
    CXmlDoc doc;
    doc.AppendElement("r");
    ASSERT_TRUE(doc.SetAttribute("v", "1"));
    doc.StepIn();
    doc.AppendElement("a", "x");
    EXPECT_EQ(doc.GetText(), "<r v=\"1\">\r\n<a>x</a>\r\n</r>\r\n");
    EXPECT_EQ(IndexFault(doc), "");
}

// The reply of the PMS handler: built, then read back at once.
TEST(XmlBuild, BuiltDocumentReadsBackWithoutParsing)
{
    CXmlDoc doc;
    ASSERT_FALSE(doc.LoadText(""));
    doc.AppendElement("foxhis");
    doc.SetAttribute("ver", "1.0");
    doc.SetAttribute("mode", "response");
    doc.StepIn();
    doc.AppendElement("func", "GSTIN");
    doc.AppendElement("id", "7");
    doc.AppendElement("pc_id", "");
    doc.AppendElementInt("msgcode", 1);
    doc.AppendElement("msg", "none");
    doc.StepOut();
    EXPECT_EQ(doc.GetText(), "<foxhis ver=\"1.0\" mode=\"response\">\r\n<func>GSTIN</func>\r\n<id>7</id>\r\n"
                             "<pc_id/>\r\n<msgcode>1</msgcode>\r\n<msg>none</msg>\r\n</foxhis>\r\n");
    EXPECT_EQ(IndexFault(doc), "");
    doc.SetPosition(0, 0, 0);
    ASSERT_TRUE(doc.FindNext("foxhis"));
    EXPECT_EQ(doc.GetAttribute("mode"), "response");
    ASSERT_TRUE(doc.FindNextChild("msgcode"));
    EXPECT_EQ(doc.GetChildText(), "1");
    // And a fresh parse agrees with the built index.
    CXmlDoc parsed(doc.GetText().c_str());
    EXPECT_TRUE(parsed.IsValid());
    for (int32_t i = 0; i < 7; ++i) {
        EXPECT_EQ(parsed.GetElem(i).start, doc.GetElem(i).start) << i;
        EXPECT_EQ(parsed.GetElem(i).length, doc.GetElem(i).length) << i;
        EXPECT_EQ(parsed.GetElem(i).tagLengths, doc.GetElem(i).tagLengths) << i;
    }
}

TEST(XmlBuild, IntegersAreDecimal)
{
    CXmlDoc doc;
    doc.AppendElementInt("msgcode", 3, CXmlDoc::kNoLineBreak);
    doc.AppendElementInt("m", -3, CXmlDoc::kNoLineBreak);
    doc.AppendElementInt("z", 0, CXmlDoc::kNoLineBreak);
    EXPECT_EQ(doc.GetText(), "<msgcode>3</msgcode><m>-3</m><z>0</z>");
}

TEST(XmlBuild, DataAndValuesAreEscaped)
{
    EXPECT_EQ(CXmlDoc::EncodeEntities("a<b & c>d", false), "a&lt;b &amp; c&gt;d");
    EXPECT_EQ(CXmlDoc::EncodeEntities("\"it's\"", false), "\"it's\"");
    EXPECT_EQ(CXmlDoc::EncodeEntities("\"it's\"", true), "&quot;it&apos;s&quot;");
    // A GBK trail byte that equals a markup byte stays part of its character.
    EXPECT_EQ(CXmlDoc::EncodeEntities("\x81<\x81>\x81\"&", true), "\x81<\x81>\x81\"&amp;");
    // A lead byte without its trail byte would swallow the markup after it.
    EXPECT_EQ(CXmlDoc::EncodeEntities("x\xd6\xd0\xd6", false), "x\xd6\xd0");

    CXmlDoc doc;
    doc.AppendElement("a", "a<b & c>d 'q'");
    doc.SetAttribute("v", "\"x\" & 'y'");
    EXPECT_EQ(doc.GetText(), "<a v=\"&quot;x&quot; &amp; &apos;y&apos;\">a&lt;b &amp; c&gt;d 'q'</a>\r\n");
    EXPECT_EQ(doc.GetAttribute("v"), "\"x\" & 'y'");
    doc.SetPosition(0, 0, 1);
    EXPECT_EQ(doc.GetChildText(), "a<b & c>d 'q'");

    doc.LoadText("");
    doc.AppendElement("a", "\xd6\xd0\xd6");
    doc.SetAttribute("v", "\xd6");
    EXPECT_EQ(doc.GetText(), "<a v=\"\">\xd6\xd0</a>\r\n");
    EXPECT_TRUE(CXmlDoc(doc.GetText().c_str()).IsValid());
}

struct ReplaceCase {
    const char *text;
    const char *expected;
};

class XmlAttributeReplace : public ::testing::TestWithParam<ReplaceCase> {};

TEST_P(XmlAttributeReplace, WritesTheNewValueInDoubleQuotes)
{
    CXmlDoc doc(GetParam().text);
    ASSERT_TRUE(doc.FindNext("a"));
    ASSERT_TRUE(doc.SetAttribute("b", "v&1"));
    EXPECT_EQ(doc.GetText(), GetParam().expected);
    EXPECT_EQ(doc.GetAttribute("b"), "v&1");
    EXPECT_EQ(IndexFault(doc), "");
}

INSTANTIATE_TEST_SUITE_P(
    Xml, XmlAttributeReplace,
    ::testing::Values(ReplaceCase{"<a b=\"1\"/>", "<a b=\"v&amp;1\"/>"},
                      ReplaceCase{"<a b='1' c='2'/>", "<a b=\"v&amp;1\" c='2'/>"},
                      ReplaceCase{"<a b=1 c=2></a>", "<a b=\"v&amp;1\" c=2></a>"},
                      ReplaceCase{"<a b = '1'/>", "<a b = \"v&amp;1\"/>"},
                      ReplaceCase{"<a />", "<a b=\"v&amp;1\" />"},
                      ReplaceCase{"<a/>", "<a b=\"v&amp;1\"/>"},
                      ReplaceCase{"<a c='2'  >x</a>", "<a c='2' b=\"v&amp;1\"  >x</a>"},
                      ReplaceCase{"<a bb='2'/>", "<a bb='2' b=\"v&amp;1\"/>"},
                      // A value-less attribute keeps its name and gets the value.
                      ReplaceCase{"<a b c='2'></a>", "<a b=\"v&amp;1\" c='2'></a>"}));

TEST(XmlBuild, SetAttributeShiftsTheElementsAfterIt)
{
    CXmlDoc doc("<r><a x='1'><b/></a><c/></r>");
    doc.FindNext("r");
    doc.StepIn();
    ASSERT_TRUE(doc.FindNext("a"));
    ASSERT_TRUE(doc.SetAttribute("x", "longer"));
    ASSERT_TRUE(doc.SetAttribute("y", "2"));
    EXPECT_EQ(doc.GetText(), "<r><a x=\"longer\" y=\"2\"><b/></a><c/></r>");
    EXPECT_EQ(IndexFault(doc), "");
    ASSERT_TRUE(doc.FindNext("c"));
    ASSERT_TRUE(doc.SetAttribute("z", ""));
    EXPECT_EQ(doc.GetText(), "<r><a x=\"longer\" y=\"2\"><b/></a><c z=\"\"/></r>");
    EXPECT_EQ(IndexFault(doc), "");
}

TEST(XmlBuild, SetAttributeWithoutMainFails)
{
    CXmlDoc doc("<a/>");
    EXPECT_FALSE(doc.SetAttribute("b", "1"));
    EXPECT_EQ(doc.GetText(), "<a/>");
    EXPECT_FALSE(doc.SetAttributeAt(0, "b", "1"));
    EXPECT_FALSE(doc.SetAttributeAt(5, "b", "1"));
    EXPECT_TRUE(doc.SetAttributeAt(1, "b", "1"));
}

TEST(XmlBuild, InsertsAfterMainAmongItsSiblings)
{
    CXmlDoc doc("<r><a/><c/></r>");
    doc.FindNext("r");
    doc.StepIn();
    ASSERT_TRUE(doc.FindNext("a"));
    ASSERT_TRUE(doc.AppendElement("b"));
    EXPECT_EQ(doc.GetText(), "<r><a/><b/>\r\n<c/></r>");
    EXPECT_EQ(IndexFault(doc), "");
    // Whitespace after main is passed over before the new element goes in.
    doc.LoadText("<r>\r\n<a/>\r\n<c/>\r\n</r>");
    doc.FindNext("r");
    doc.StepIn();
    doc.FindNext("a");
    doc.AppendElement("b", "1");
    EXPECT_EQ(doc.GetText(), "<r>\r\n<a/>\r\n<b>1</b>\r\n<c/>\r\n</r>");
    EXPECT_EQ(IndexFault(doc), "");
    std::string order;
    doc.SetPosition(1, 0, 0);
    while (doc.FindNext()) {
        const XmlPosition at = doc.GetPosition();
        doc.SetPosition(0, 1, at.main);
        order += doc.GetChildName();
        doc.SetPosition(at.parent, at.main, 0);
    }
    EXPECT_EQ(order, "abc");
}

TEST(XmlBuild, InsertsIntoEmptyParents)
{
    struct Case {
        const char *text;
        const char *expected;
    };
    for (const Case &c : {Case{"<p/>", "<p>\r\n<n>1</n>\r\n</p>"}, Case{"<p x='1'/>", "<p x='1'>\r\n<n>1</n>\r\n</p>"},
                          Case{"<p></p>", "<p>\r\n<n>1</n>\r\n</p>"}, Case{"<p>t</p>", "<p>t<n>1</n>\r\n</p>"},
                          // The end tag repeats the whole name the start tag has, so it closes it.
                          Case{"<p;q!/>", "<p;q!>\r\n<n>1</n>\r\n</p;q!>"},
                          // A start tag the parse left unended gets its end tag.
                          Case{"<p><q></p>", "<p><q>\r\n<n>1</n>\r\n</q></p>"}}) {
        CXmlDoc doc(c.text);
        const bool wellFormed = doc.IsValid();
        doc.SetPosition(0, 1, 0);
        if (std::string(c.text) == "<p><q></p>")
            doc.SetPosition(1, 2, 0);
        ASSERT_TRUE(doc.StepIn());
        ASSERT_TRUE(doc.AppendElement("n", "1"));
        EXPECT_EQ(doc.GetText(), c.expected) << c.text;
        EXPECT_EQ(IndexFault(doc), "") << c.text;
        if (wellFormed) {
            const CXmlDoc reparsed(doc.GetText().c_str());
            EXPECT_EQ(IndexDifference(doc, reparsed), "") << c.text;
        }
        doc.StepOut();
        doc.SetPosition(doc.GetPosition().parent, doc.GetPosition().main, 0);
        ASSERT_TRUE(doc.FindNextChild("n"));
        EXPECT_EQ(doc.GetChildText(), "1");
    }
}

TEST(XmlBuild, NoLineBreakOption)
{
    CXmlDoc doc("<p/>");
    doc.SetPosition(1, 0, 0);
    ASSERT_TRUE(doc.AppendElement("n", {}, CXmlDoc::kNoLineBreak));
    ASSERT_TRUE(doc.AppendElement("m", {}, CXmlDoc::kNoLineBreak));
    EXPECT_EQ(doc.GetText(), "<p><n/><m/></p>");
    EXPECT_EQ(IndexFault(doc), "");
}

// Lengths that would not fit the record are refused, and nothing changes.
TEST(XmlBuild, TagsTooLongForTheRecordAreRefused)
{
    CXmlDoc doc;
    const std::string fits(kXmlMaxEndTag - 3, 'n');
    const std::string tooLong(kXmlMaxEndTag - 2, 'n');
    EXPECT_FALSE(doc.AppendElement(tooLong, "x"));
    EXPECT_EQ(doc.GetText(), "");
    EXPECT_TRUE(doc.AppendElement(tooLong)); // no end tag
    doc.LoadText("");
    ASSERT_TRUE(doc.AppendElement(fits, "x"));
    EXPECT_EQ(doc.GetElem(1).EndTagLength(), kXmlMaxEndTag);

    doc.LoadText("");
    doc.AppendElement(tooLong);
    doc.StepIn();
    EXPECT_FALSE(doc.AppendElement("n")); // the parent would need a long end tag
    EXPECT_EQ(IndexFault(doc), "");

    doc.LoadText("<a/>");
    doc.FindNext();
    const std::string value(kXmlMaxStartTag - 9, 'v');
    EXPECT_TRUE(doc.SetAttribute("b", value));
    EXPECT_EQ(doc.GetElem(1).StartTagLength(), kXmlMaxStartTag);
    const std::string before = doc.GetText();
    EXPECT_FALSE(doc.SetAttribute("c", ""));
    EXPECT_EQ(doc.GetText(), before);
}

// Main must be a child of the parent; a position set by hand that breaks
// this is refused rather than tangling the links.
TEST(XmlBuild, InconsistentPositionIsRefused)
{
    CXmlDoc doc("<r><a><b/></a></r>");
    doc.SetPosition(0, 3, 0);
    EXPECT_FALSE(doc.AppendElement("x"));
    EXPECT_EQ(doc.GetText(), "<r><a><b/></a></r>");
    EXPECT_EQ(IndexFault(doc), "");
}

TEST(XmlBuild, NamesAndValuesEndAtANulByte)
{
    CXmlDoc doc;
    doc.AppendElement(std::string_view("ab\0c", 4), std::string_view("x\0y", 3));
    doc.SetAttribute(std::string_view("v\0w", 3), std::string_view("1\0" "2", 3));
    EXPECT_EQ(doc.GetText(), "<ab v=\"1\">x</ab>\r\n");
}

struct DecodeCase {
    const char *text;
    const char *decoded;
};

class XmlDecode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(XmlDecode, ReplacesReferencesTheCodePageHas)
{
    const std::string text = GetParam().text;
    EXPECT_EQ(CXmlDoc::DecodeEntities(text.data(), text.size()), GetParam().decoded);
}

INSTANTIATE_TEST_SUITE_P(
    Xml, XmlDecode,
    ::testing::Values(DecodeCase{"&amp;lt;", "&lt;"}, DecodeCase{"&#65;&#x41;&#X41;", "AAA"},
                      DecodeCase{"&AMP;&Lt;&QUOT;", "&<\""}, DecodeCase{"&apos;&quot;&gt;", "'\">"},
                      DecodeCase{"&#0;&unknown;&verylongname;", "&#0;&unknown;&verylongname;"},
                      DecodeCase{"&#;&#x;&;&", "&#;&#x;&;&"}, DecodeCase{"&amp", "&amp"},
                      DecodeCase{"&#x4E2D;&#20013;", "中中"}, DecodeCase{"&#12ab;", "\x0c"},
                      DecodeCase{"&#x1F600;&#xD800;&#x110000;", "&#x1F600;&#xD800;&#x110000;"},
                      DecodeCase{"&#63;", "?"}, DecodeCase{"&thetasym;", "&thetasym;"},
                      DecodeCase{"&alpha;&Alpha;&ALPHA;", "αΑΑ"},
                      // HTML 4 tells the two forms apart; GBK has à but not À.
                      DecodeCase{"&agrave;&Agrave;", "à&Agrave;"},
                      DecodeCase{"&mdash;&hellip;&times;&middot;", "—…×·"},
                      DecodeCase{"\xd6\xd0&amp;\x81&", "\xd6\xd0&\x81&"},
                      // A byte of 0x80 or more ends a reference.
                      DecodeCase{"&am\xd6\xd0;", "&am\xd6\xd0;"}));

} // namespace
