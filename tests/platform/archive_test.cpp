#include "platform/archive.h"

#include <gtest/gtest.h>

using platform::CArchive;

TEST(Archive, WritesLittleEndianValuesAndStrings)
{
    CArchive out;
    out.WriteU16(0x1234);
    out.WriteI32(-2);
    out.WriteI64(0x0102030405060708LL);
    out.WriteString("ab");
    const std::vector<uint8_t> expected = {0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF, 8, 7, 6, 5, 4, 3, 2, 1, 2, 'a', 'b'};
    EXPECT_EQ(out.Bytes(), expected);

    CArchive in(out.Bytes());
    uint16_t w = 0;
    int32_t i = 0;
    int64_t t = 0;
    std::string s;
    EXPECT_TRUE(in.ReadU16(w) && in.ReadI32(i) && in.ReadI64(t) && in.ReadString(s));
    EXPECT_EQ(w, 0x1234);
    EXPECT_EQ(i, -2);
    EXPECT_EQ(t, 0x0102030405060708LL);
    EXPECT_EQ(s, "ab");
    EXPECT_TRUE(in.Ok());
}

// The class library's CString layout: one length byte below 0xFF, then 0xFF
// and a 16-bit length below 0xFFFE, then 0xFF 0xFFFF and a 32-bit length.
// 0xFF 0xFFFE is its marker for a UTF-16 string, never a length.
TEST(Archive, StringLengthPrefixes)
{
    struct Case {
        size_t length;
        std::vector<uint8_t> prefix;
    };
    const Case cases[] = {
        {0, {0x00}},
        {254, {0xFE}},
        {255, {0xFF, 0xFF, 0x00}},
        {65533, {0xFF, 0xFD, 0xFF}},
        {65534, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
        {65535, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}},
    };
    for (const Case &c : cases) {
        CArchive out;
        out.WriteString(std::string(c.length, 'x'));
        ASSERT_EQ(out.Bytes().size(), c.prefix.size() + c.length) << c.length;
        EXPECT_TRUE(std::equal(c.prefix.begin(), c.prefix.end(), out.Bytes().begin())) << c.length;
        CArchive in(out.Bytes());
        std::string back;
        EXPECT_TRUE(in.ReadString(back));
        EXPECT_EQ(back, std::string(c.length, 'x'));
        EXPECT_EQ(in.Position(), out.Bytes().size());
    }
}

// A UTF-16 string as the class library writes it (marker, then its own
// length in characters) reads as GBK; one cut short fails.
TEST(Archive, WideStringsReadAsGbk)
{
    const std::vector<uint8_t> wide = {0xFF, 0xFE, 0xFF, 0x03, 'a', 0x00, 0xA2, 0x5B, 0x3F, 0x62, 7};
    CArchive in(wide);
    std::string text;
    ASSERT_TRUE(in.ReadString(text));
    EXPECT_EQ(text, "a客房");
    uint8_t next = 0;
    EXPECT_TRUE(in.ReadU8(next));
    EXPECT_EQ(next, 7);

    CArchive cut(std::vector<uint8_t>(wide.begin(), wide.begin() + 9));
    EXPECT_FALSE(cut.ReadString(text));
    EXPECT_FALSE(cut.Ok());
}

TEST(Archive, ReadingPastTheEndFailsAndStaysFailed)
{
    const uint8_t bytes[] = {1, 2, 3};
    CArchive in(bytes, sizeof bytes);
    int32_t value = 77;
    in.Transfer(value);
    EXPECT_EQ(value, 77) << "a failed load keeps the field";
    EXPECT_EQ(in.GetError(), CArchive::endOfFile);
    uint8_t b = 9;
    EXPECT_FALSE(in.ReadU8(b)) << "no read succeeds after the end was hit";
    EXPECT_EQ(b, 0);

    const uint8_t shortString[] = {5, 'a', 'b'};
    CArchive str(shortString, sizeof shortString);
    std::string s = "keep";
    str.Transfer(s);
    EXPECT_EQ(s, "keep");
    EXPECT_FALSE(str.Ok());
}
