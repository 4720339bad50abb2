#include "platform/gbk.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {
std::string Hex(std::string_view bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}
} // namespace

TEST(Gbk, ChineseLiteralsAreGbkAtRunTime)
{
    const std::string_view literal = "数据库连接未连接！";
    EXPECT_EQ(Hex(literal), "CAFDBEDDBFE2C1ACBDD3CEB4C1ACBDD3A3A1");
    EXPECT_EQ(Utf8FromGbk(literal), std::string(reinterpret_cast<const char *>(u8"数据库连接未连接！")));
}

TEST(Gbk, ConvertsBothWaysAndKeepsAscii)
{
    const std::string utf8 = reinterpret_cast<const char *>(u8"总房间数 12");
    const std::string gbk = GbkFromUtf8(utf8);
    EXPECT_EQ(gbk, "总房间数 12");
    EXPECT_EQ(Utf8FromGbk(gbk), utf8);
    EXPECT_EQ(QStringFromGbk(gbk), QString::fromUtf8(utf8.c_str()));
    EXPECT_EQ(GbkFromQString(QStringFromGbk(gbk)).toStdString(), gbk);
    EXPECT_EQ(Utf8FromGbk("plain ascii"), "plain ascii");
}

TEST(Gbk, BrokenBytesBecomeQuestionMarks)
{
    // A lead byte cut off at the end and an undefined byte.
    EXPECT_EQ(Utf8FromGbk(std::string_view("ab\xB5", 3)), "ab?");
    EXPECT_EQ(Utf8FromGbk(std::string_view("\xFFx", 2)), "?x");
    EXPECT_EQ(GbkFromUtf8(std::string_view("\xFFok", 3)), "?ok");
    EXPECT_EQ(QStringFromGbk(std::string_view("ab\xB5", 3)), QStringLiteral("ab?"));
    EXPECT_EQ(QStringFromGbk(std::string_view("\xFFx", 2)), QStringLiteral("?x"));
}

// The text of a QString is decoded straight to UTF-16; it must say what
// the UTF-8 path says, for every two-byte sequence and a few broken ones.
TEST(Gbk, QStringDecodingAgreesWithUtf8ForEveryPair)
{
    std::string all = "a\x80";
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            all += static_cast<char>(lead);
            all += static_cast<char>(trail);
        }
        all += "\xFF;";
    }
    EXPECT_EQ(QStringFromGbk(all), QString::fromUtf8(Utf8FromGbk(all).c_str()));
    // Bytes of any value in any order, NULs among them.
    std::string noise;
    uint32_t state = 12345;
    for (int i = 0; i < 200000; ++i) {
        state = state * 1103515245u + 12345u;
        noise += static_cast<char>(state >> 24);
    }
    const std::string utf8 = Utf8FromGbk(noise);
    EXPECT_EQ(QStringFromGbk(noise), QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

// ASCII runs of every length before, between and after characters whose
// second byte is in the ASCII range, and a lead byte cut off at the end.
TEST(Gbk, QStringDecodingAgreesWithUtf8AroundAsciiRuns)
{
    for (size_t before = 0; before <= 17; ++before) {
        for (size_t between = 0; between <= 17; ++between) {
            const std::string text = std::string(before, 'a') + "\x81\x40" + std::string(between, 'b')
                                   + "数\xB5\x7E" + std::string(before + between, 'c') + "\xB5";
            const std::string utf8 = Utf8FromGbk(text);
            EXPECT_EQ(QStringFromGbk(text), QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())))
                << before << ' ' << between;
        }
    }
}

TEST(Gbk, FieldCopyStopsBeforeTheLastByteAndKeepsCharactersWhole)
{
    char field[6];
    CopyToField(field, sizeof field, "abcdefgh");
    EXPECT_EQ(std::string(field, sizeof field), std::string("abcde\0", 6));
    EXPECT_EQ(FieldText(field, sizeof field), "abcde");

    CopyToField(field, sizeof field, "a房间"); // 1 + 2 + 2 bytes fit exactly
    EXPECT_EQ(FieldText(field, sizeof field), "a房间");
    CopyToField(field, sizeof field, "ab房间"); // the second character would be cut
    EXPECT_EQ(std::string(field, sizeof field), std::string("ab房\0\0", 6));

    const char full[3] = {'x', 'y', 'z'};
    EXPECT_EQ(FieldText(full, sizeof full), "xyz");
}

// A character beyond ASCII wherever it stands in a text, before, inside or
// after the eight-byte steps of the ASCII test, is decoded as GBK.
TEST(Gbk, CharacterBeyondAsciiAnywhereIsDecoded)
{
    for (size_t length = 0; length <= 19; ++length) {
        for (size_t at = 0; at <= length; ++at) {
            std::string text(length, 'a');
            text.insert(at, "\xC7\xEB"); // 请
            const QString decoded = platform::QStringFromGbk(text);
            EXPECT_EQ(decoded, QString::fromUtf8(platform::Utf8FromGbk(text))) << length << " " << at;
            EXPECT_EQ(decoded.size(), static_cast<qsizetype>(length + 1)) << length << " " << at;
        }
    }
}
