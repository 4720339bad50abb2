#include "xml_fixture.h"

#include <gtest/gtest.h>

namespace {

const char kFoxhis[] = "<foxhis ver='1'><func>GSTIN</func><id>7</id></foxhis>";

TEST(XmlNavigate, ReadsACommandTheWayThePmsHandlerDoes)
{
    CXmlDoc doc(kFoxhis);
    ASSERT_TRUE(doc.IsValid());
    EXPECT_FALSE(doc.SetPosition(0, 0, 0));
    ASSERT_TRUE(doc.FindNext("foxhis"));
    EXPECT_EQ(doc.GetAttribute("ver"), "1");
    ASSERT_TRUE(doc.FindNextChild("func"));
    EXPECT_EQ(doc.GetChildText(), "GSTIN");
    EXPECT_EQ(doc.GetChildName(), "func");
    const XmlPosition atFunc = doc.GetPosition();
    // The search goes on after the current child.
    EXPECT_FALSE(doc.FindNextChild("func"));
    EXPECT_EQ(doc.GetPosition(), atFunc);
    ASSERT_TRUE(doc.FindNextChild("id"));
    EXPECT_EQ(doc.GetChildText(), "7");
}

TEST(XmlNavigate, ChildrenAreFoundInDocumentOrderOnly)
{
    CXmlDoc doc(kFoxhis);
    doc.FindNext("foxhis");
    EXPECT_TRUE(doc.FindNextChild("id"));
    EXPECT_FALSE(doc.FindNextChild("func"));
    EXPECT_EQ(doc.GetChildName(), "id");
}

TEST(XmlNavigate, NamesCompareExactly)
{
    CXmlDoc doc(kFoxhis);
    EXPECT_FALSE(doc.FindNext("Foxhis"));
    EXPECT_FALSE(doc.FindNext("/foxhis"));
    EXPECT_FALSE(doc.FindNext("fox"));
    EXPECT_FALSE(doc.FindNext("foxhisx"));
    EXPECT_EQ(doc.GetPosition(), XmlPosition{});
    // A name argument may go on after the element's name with ' ', '=', '/', '[' or ']'.
    EXPECT_TRUE(doc.FindNext("foxhis[1]"));
}

TEST(XmlNavigate, FindNextChildWithoutMainStartsAtTheRoot)
{
    CXmlDoc doc(kFoxhis);
    ASSERT_TRUE(doc.FindNextChild("id"));
    EXPECT_EQ(doc.GetPosition(), (XmlPosition{0, 1, 3}));
    doc.SetPosition(0, 0, 0);
    ASSERT_TRUE(doc.FindNextChild());
    EXPECT_EQ(doc.GetChildName(), "func");
    // Without any element the first step finds nothing.
    CXmlDoc empty;
    EXPECT_FALSE(empty.FindNextChild());
}

TEST(XmlNavigate, FindNextWithoutNameWalksEverySibling)
{
    CXmlDoc doc("<r><a/>text<!-- c --><b></b><?p?><c x='1'/></r>");
    ASSERT_TRUE(doc.FindNext());
    ASSERT_TRUE(doc.StepIn());
    std::string names;
    while (doc.FindNext()) {
        const XmlPosition at = doc.GetPosition();
        doc.SetPosition(0, at.parent, at.main);
        names += doc.GetChildName() + ",";
        doc.SetPosition(at.parent, at.main, 0);
    }
    EXPECT_EQ(names, "a,b,c,");
}

TEST(XmlNavigate, StepInAndOut)
{
    CXmlDoc doc("<r><rmvc><roomno>203</roomno></rmvc><x/></r>");
    EXPECT_FALSE(doc.StepIn());
    EXPECT_FALSE(doc.StepOut());
    doc.FindNext("r");
    ASSERT_TRUE(doc.FindNextChild("rmvc"));
    const XmlPosition before = doc.GetPosition();
    ASSERT_TRUE(doc.StepIn());
    EXPECT_EQ(doc.GetPosition(), (XmlPosition{1, 2, 0}));
    ASSERT_TRUE(doc.FindNextChild("roomno"));
    EXPECT_EQ(doc.GetChildText(), "203");
    doc.SetPosition(1, 2, 0);
    ASSERT_TRUE(doc.StepOut());
    EXPECT_EQ(doc.GetPosition(), before);
    EXPECT_FALSE(doc.StepOut());
    EXPECT_EQ(doc.GetPosition(), before);
}

struct AttributeCase {
    const char *text;
    const char *name;
    const char *value;
};

class XmlAttributes : public ::testing::TestWithParam<AttributeCase> {};

TEST_P(XmlAttributes, ReadQuotedAndUnquotedValues)
{
    CXmlDoc doc(GetParam().text);
    ASSERT_TRUE(doc.FindNext());
    EXPECT_EQ(doc.GetAttribute(GetParam().name), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Xml, XmlAttributes,
    ::testing::Values(AttributeCase{"<a b='x>y' c=d/></a>", "b", "x>y"},
                      AttributeCase{"<a b='x>y' c=d/></a>", "c", "d/"},
                      AttributeCase{"<a sel/>", "sel", "sel"},
                      AttributeCase{"<a sel/>", "a", ""},
                      AttributeCase{"<a b='1'/>", "x", ""},
                      AttributeCase{"<a b='1'/>", "b ", "1"},
                      AttributeCase{"<a bb='1' b=\"2\"/>", "b", "2"},
                      AttributeCase{"<a b = \"1 2\" c='3'/>", "c", "3"},
                      AttributeCase{"<a x=\"b\" b='2'/>", "b", "2"},
                      AttributeCase{"<a x=b b='2'/>", "b", "2"},
                      AttributeCase{"<a b='&lt;&#65;&amp;amp;'/>", "b", "<A&amp;"},
                      AttributeCase{"<a b=\"it's\"/>", "b", "it's"},
                      AttributeCase{"<a b=>x</a>", "b", ""},
                      AttributeCase{"<a b='1' b='2'/>", "b", "1"},
                      // Nothing beyond the start tag is read.
                      AttributeCase{"<a \"x>y\" c='1'</a>", "c", ""}));

struct TextCase {
    const char *text;
    const char *data;
};

class XmlChildText : public ::testing::TestWithParam<TextCase> {};

TEST_P(XmlChildText, DecodesEntitiesCommentsAndCdata)
{
    const std::string text = std::string("<r>") + GetParam().text + "</r>";
    CXmlDoc doc(text.c_str());
    ASSERT_TRUE(doc.FindNextChild());
    EXPECT_EQ(doc.GetChildText(), GetParam().data);
}

INSTANTIATE_TEST_SUITE_P(Xml, XmlChildText,
                         ::testing::Values(TextCase{"<a>x&amp;y</a>", "x&y"},
                                           TextCase{"<a> 1 </a>", " 1 "},
                                           TextCase{"<a>x<!--c-->y</a>", "xy"},
                                           TextCase{"<a><![CDATA[<b>]]></a>", "<b>"},
                                           TextCase{"<a><![CDATA[&amp;]]>&amp;</a>", "&amp;&"},
                                           TextCase{"<a> <!--c--> </a>", ""},
                                           TextCase{"<a>x<?p?>y</a>", "xy"},
                                           TextCase{"<a><b/></a>", ""},
                                           TextCase{"<a>x<b/>y</a>", ""},
                                           TextCase{"<a/>", ""},
                                           TextCase{"<a></a>", ""},
                                           TextCase{"<a>x</q>y</a>", "xy"},
                                           TextCase{"<a>\xd6\xd0&lt;</a>", "\xd6\xd0<"}));

TEST(XmlNavigate, ReadsAtMissingPositionsGiveEmptyStrings)
{
    CXmlDoc doc("<a b='1'>t</a>");
    EXPECT_EQ(doc.GetAttribute("b"), "");
    EXPECT_EQ(doc.GetChildText(), "");
    EXPECT_EQ(doc.GetChildName(), "");
    // Indices that are not in use read as missing, whatever the caller set.
    doc.SetPosition(7, 99, -5);
    EXPECT_EQ(doc.GetAttribute("b"), "");
    EXPECT_EQ(doc.GetChildText(), "");
    EXPECT_FALSE(doc.FindNext());
    EXPECT_FALSE(doc.StepOut());
    doc.SetPosition(0, 0, 1);
    EXPECT_EQ(doc.GetChildText(), "t");
}

TEST(XmlNavigate, UnendedElementHasNoText)
{
    CXmlDoc doc("<r><a>text</r>");
    doc.FindNext("r");
    ASSERT_TRUE(doc.FindNextChild("a"));
    EXPECT_EQ(doc.GetChildText(), "");
}

} // namespace
