#include "model/hotel_conf.h"
#include "platform/gbk.h"
#include "tests/support/temp_dir.h"

#include <QFile>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Item {
    uint32_t build, floor, rooms;
    std::vector<uint32_t> gaps;
    bool operator==(const Item &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Item &i)
{
    os << i.build << " " << i.floor << " " << i.rooms << " {";
    for (uint32_t g : i.gaps)
        os << g << " ";
    return os << "}";
}

std::vector<Item> Items(const HotelConf &conf)
{
    std::vector<Item> out;
    for (const stRoomAssignItem &i : conf.layout) {
        EXPECT_EQ(i.gapCount, i.gaps.size());
        out.push_back({i.buildNum, i.floorNum, i.roomCount, i.gaps});
    }
    return out;
}

// The messages joined, GBK like the test's own literals.
std::string Joined(const HotelConf &conf)
{
    std::string all;
    for (const std::string &m : conf.messages)
        all += m + "\n";
    return all;
}

// The same as UTF-8, for readable failures.
std::string AllMessages(const HotelConf &conf) { return platform::Utf8FromGbk(Joined(conf)); }

class HotelConfFile : public TempDirTest {
protected:
    std::string Write(const std::string &bytes)
    {
        QFile f(Path("hotel.conf"));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
        return PathStd("hotel.conf");
    }
};

} // namespace

TEST_F(HotelConfFile, GoodFileGivesNameAddressAndItemsInOrderOfN)
{
    // Written as UTF-8 (u8), read back as GBK.
    const std::string path = Write(reinterpret_cast<const char *>(
        u8"\xEF\xBB\xBF; the hotel\r\n"
        u8"[Hotel]\r\n"
        u8"Name = 维尔托大酒店\r\n"
        u8"Address=\"上海市 1号\"\r\n"
        u8"\r\n"
        u8"[Layout]\r\n"
        u8"item10=2 1 4\r\n"
        u8"item2=1 4 12\r\n"
        u8"item1=1 3 10 0\r\n"
        u8"ITEM3 =\t1 5  2   0 3 \r\n"));
    const HotelConf conf = LoadHotelConf(path);
    EXPECT_TRUE(conf.found);
    EXPECT_EQ(conf.messages, std::vector<std::string>{}) << AllMessages(conf);
    EXPECT_EQ(conf.name, "维尔托大酒店"); // narrow literal: GBK
    EXPECT_EQ(conf.address, "上海市 1号");
    EXPECT_EQ(Items(conf), (std::vector<Item>{{1, 3, 10, {0}}, {1, 4, 12, {}}, {1, 5, 2, {0, 3}}, {2, 1, 4, {}}}));
}

TEST_F(HotelConfFile, MissingFileIsAnEmptyHotel)
{
    const HotelConf conf = LoadHotelConf(PathStd("hotel.conf"));
    EXPECT_FALSE(conf.found);
    EXPECT_TRUE(conf.layout.empty());
    EXPECT_TRUE(conf.name.empty());
    ASSERT_EQ(conf.messages.size(), 1u) << AllMessages(conf);
    EXPECT_EQ(conf.messages[0], "hotel.conf: 找不到 " + platform::GbkFromUtf8(PathStd("hotel.conf")) + "，酒店没有房间");
}

TEST_F(HotelConfFile, UnreadableFileIsReported)
{
    const HotelConf conf = LoadHotelConf(PathStd()); // a directory
    EXPECT_TRUE(conf.layout.empty());
    EXPECT_EQ(conf.messages.size(), 1u) << AllMessages(conf);
}

TEST(HotelConfLayout, MalformedValuesAreSkippedWithTheirKey)
{
    struct Case {
        const char *value;
        const char *reason; // part of the message
    };
    const Case cases[] = {
        {"", "楼号 楼层 房间数"},
        {"1 3", "楼号 楼层 房间数"},
        {"1 x 3", "“x”不是非负整数"},
        {"1 -3 3", "“-3”不是非负整数"},
        {"1 3 +4", "不是非负整数"},
        {"1 3 99999999999", "不是非负整数"},
        {"1,3,4", "楼号 楼层 房间数"},
        {"255 3 4", "楼号和楼层"},
        {"1 255 4", "楼号和楼层"},
        {"1 3 256", "超过 255"},
        {"1 3 254 0 1", "超过 255"},
        {"1 3 10 11", "空房号 11 超出"},
        {"1 3 10 2 2", "空房号 2 重复"},
        // item1's floor again: its rooms would be counted twice.
        {"1 1 5", "楼号 1 楼层 1 已在第2行的 item1 中"},
    };
    for (const Case &c : cases) {
        const std::string text = std::string("[Layout]\nitem1=1 1 1\nitem7=") + c.value + "\nitem9=2 2 2\n";
        const HotelConf conf = ParseHotelConf(text);
        SCOPED_TRACE(c.value);
        EXPECT_EQ(Items(conf), (std::vector<Item>{{1, 1, 1, {}}, {2, 2, 2, {}}}));
        ASSERT_EQ(conf.messages.size(), 1u) << AllMessages(conf);
        const std::string message = Joined(conf);
        EXPECT_NE(message.find("item7"), std::string::npos) << AllMessages(conf);
        EXPECT_NE(message.find("第3行"), std::string::npos) << AllMessages(conf);
        EXPECT_NE(message.find(c.reason), std::string::npos) << AllMessages(conf);
    }
}

TEST(HotelConfLayout, LargestFloorIsAccepted)
{
    const HotelConf conf = ParseHotelConf("[Layout]\nitem1=254 254 253 0 254\n");
    EXPECT_TRUE(conf.messages.empty()) << AllMessages(conf);
    EXPECT_EQ(Items(conf), (std::vector<Item>{{254, 254, 253, {0, 254}}}));
}

TEST(HotelConfLayout, StrayLinesAreReportedAndIgnored)
{
    const HotelConf conf = ParseHotelConf("Name=early\n"
                                          "[Hotel]\n"
                                          "Name=A\n"
                                          "Name=B\n"
                                          "Phone=1\n"
                                          "just words\n"
                                          "[Layuot]\n"
                                          "item1=9 9 9\n"
                                          "[Layout]\n"
                                          "item1=1 1 1\n"
                                          "item01=2 2 2\n"
                                          "item=3 3 3\n"
                                          "room2=4 4 4\n"
                                          "# comment\n");
    EXPECT_EQ(conf.name, "A");
    EXPECT_EQ(Items(conf), (std::vector<Item>{{1, 1, 1, {}}}));
    const std::string all = Joined(conf);
    EXPECT_EQ(conf.messages.size(), 8u) << AllMessages(conf);
    for (const char *part : {"第1行", "第4行: [Hotel] Name: 重复", "第5行: [Hotel] Phone", "第6行", "[Layuot]",
                             "第11行: [Layout] item01: 与第10行的项重复", "第12行: [Layout] item:", "room2"})
        EXPECT_NE(all.find(part), std::string::npos) << platform::Utf8FromGbk(part) << "\n" << AllMessages(conf);
}

TEST(HotelConfHotel, NameThatIsNotUtf8IsReported)
{
    const HotelConf conf = ParseHotelConf("[Hotel]\nName=Hotel \xB4\xF3\n");
    ASSERT_EQ(conf.messages.size(), 1u);
    EXPECT_NE(Joined(conf).find("Name"), std::string::npos);
    EXPECT_EQ(conf.name.substr(0, 6), "Hotel ");
}

TEST(HotelConfBuild, LoadedLayoutBuildsTheHotel)
{
    // item6 lists item1's floor again: it is counted once.
    HotelConf conf = ParseHotelConf("[Layout]\nitem1=1 3 10 0\nitem2=1 3 bad\nitem6=1 3 5\n");
    CHotel hotel;
    hotel.SetLayout(std::move(conf.layout));
    ASSERT_TRUE(hotel.BuildRooms());
    EXPECT_EQ(hotel.GetTotalRooms(), 10);
    ASSERT_NE(hotel.FindFloor(1, 3), nullptr);
    EXPECT_EQ(hotel.FindFloor(1, 3)->GetRoomCount(), 11);
    EXPECT_EQ(hotel.FindBuild(1)->GetFloorCount(), 1) << "a skipped item makes no floor";
    EXPECT_EQ(conf.messages.size(), 2u);
}

TEST(HotelConfDemo, ShippedDemoHotelLoadsCleanly)
{
    const HotelConf conf = LoadHotelConf(KELVOR_TEST_DATA "/../../schema/demo-hotel.conf");
    ASSERT_TRUE(conf.found);
    EXPECT_TRUE(conf.messages.empty()) << AllMessages(conf);
    EXPECT_EQ(conf.name, "Kelvor Demo Hotel");
    EXPECT_EQ(Items(conf), (std::vector<Item>{{1, 2, 10, {}}, {1, 3, 10, {0}}, {2, 1, 8, {}}}));
}
