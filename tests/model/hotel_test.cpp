#include "model/hotel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Spot {
    int build, floor, room;
    bool operator==(const Spot &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Spot &s)
{
    return os << s.build << "|" << s.floor << "|" << s.room;
}

std::vector<Spot> Walk(CHotel &hotel)
{
    std::vector<Spot> out;
    for (CRoom *r = hotel.GetFirstRoom(); r; r = hotel.GetNextRoom())
        out.push_back({r->m_buildNum, r->m_floorNum, r->m_roomNum});
    return out;
}

void Build(CHotel &hotel, std::vector<stRoomAssignItem> layout)
{
    hotel.SetLayout(std::move(layout));
    ASSERT_TRUE(hotel.BuildRooms());
}

std::string LayoutText(const std::vector<stRoomAssignItem> &layout, size_t size, int *items = nullptr)
{
    std::vector<char> buf(size + 8, '#');
    const int32_t n = FormatLayoutText(layout, buf.data(), size, items);
    EXPECT_EQ(buf[size], '#') << "wrote past the size given";
    return std::string(buf.data(), static_cast<size_t>(n));
}

} // namespace

TEST(HotelBuild, GapRoomsExistButAreNotWalked)
{
    CHotel hotel;
    Build(hotel, {stRoomAssignItem(1, 3, 10, {0})});
    const CFloor *floor = hotel.FindFloor(1, 3);
    ASSERT_NE(floor, nullptr);
    ASSERT_EQ(floor->GetRoomCount(), 11);
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(floor->GetRoom(i)->m_roomNum, i);
        EXPECT_EQ(floor->GetRoom(i)->m_inService, i == 0 ? 0 : 1);
    }
    CRoom *gap = hotel.FindRoom(1, 3, 0);
    ASSERT_NE(gap, nullptr);
    EXPECT_EQ(gap->m_inService, 0);
    EXPECT_EQ(hotel.FindRoom(1, 3, 11), nullptr);

    std::vector<Spot> expected;
    for (int i = 1; i <= 10; ++i)
        expected.push_back({1, 3, i});
    EXPECT_EQ(Walk(hotel), expected);
    EXPECT_EQ(hotel.GetTotalRooms(), 10);
}

TEST(HotelBuild, SameBuildingSharedAndDuplicateFloorFoundFirst)
{
    CHotel hotel;
    Build(hotel, {stRoomAssignItem(1, 3, 2, {}), stRoomAssignItem(2, 1, 1, {}), stRoomAssignItem(1, 4, 1, {}),
                  stRoomAssignItem(1, 3, 5, {})});
    ASSERT_EQ(hotel.GetBuildCount(), 2);
    EXPECT_EQ(hotel.GetBuild(0)->m_buildNum, 1);
    EXPECT_EQ(hotel.GetBuild(1)->m_buildNum, 2);
    EXPECT_EQ(hotel.GetBuild(2), nullptr);
    EXPECT_EQ(hotel.GetBuild(-1), nullptr);
    const CBuild *one = hotel.FindBuild(1);
    ASSERT_EQ(one->GetFloorCount(), 3);
    EXPECT_EQ(one->GetFloor(2)->m_floorNum, 3);

    EXPECT_EQ(hotel.FindFloor(1, 3), one->GetFloor(0));
    EXPECT_NE(hotel.FindRoom(1, 3, 1), nullptr);
    EXPECT_EQ(hotel.FindRoom(1, 3, 4), nullptr) << "only the first floor 3 is searched";
    EXPECT_EQ(hotel.FindRoom(3, 1, 0), nullptr);
    EXPECT_EQ(hotel.FindFloor(2, 9), nullptr);

    const std::vector<Spot> expected = {{1, 3, 0}, {1, 3, 1}, {1, 4, 0}, {1, 3, 0}, {1, 3, 1},
                                        {1, 3, 2}, {1, 3, 3}, {1, 3, 4}, {2, 1, 0}};
    EXPECT_EQ(Walk(hotel), expected);
    EXPECT_EQ(hotel.GetTotalRooms(), 9);
}

TEST(HotelBuild, GapEntriesBeyondTheFloorChangeNothing)
{
    CHotel hotel;
    Build(hotel, {stRoomAssignItem(1, 1, 1, {7})});
    ASSERT_EQ(hotel.FindFloor(1, 1)->GetRoomCount(), 2);
    EXPECT_EQ(Walk(hotel), (std::vector<Spot>{{1, 1, 0}, {1, 1, 1}}));
}

TEST(HotelWalk, SkipsFloorsAndBuildingsWithoutRoomsInService)
{
    CHotel hotel;
    Build(hotel, {stRoomAssignItem(1, 1, 0, {0, 1}), stRoomAssignItem(1, 2, 0, {}), stRoomAssignItem(2, 1, 0, {0}),
                  stRoomAssignItem(3, 5, 1, {0})});
    EXPECT_EQ(Walk(hotel), (std::vector<Spot>{{3, 5, 1}}));
}

TEST(HotelWalk, NothingInService)
{
    CHotel hotel;
    Build(hotel, {stRoomAssignItem(1, 1, 0, {0, 1, 2})});
    EXPECT_EQ(hotel.GetFirstRoom(), nullptr);
    EXPECT_EQ(hotel.GetNextRoom(), nullptr);
    EXPECT_EQ(hotel.GetTotalRooms(), 0);
}

TEST(HotelWalk, EmptyHotel)
{
    CHotel hotel;
    Build(hotel, {});
    EXPECT_EQ(hotel.GetBuildCount(), 0);
    EXPECT_EQ(hotel.GetFirstRoom(), nullptr);
    EXPECT_EQ(hotel.GetNextRoom(), nullptr);
    EXPECT_EQ(hotel.FindBuild(0), nullptr);
    EXPECT_EQ(hotel.FindRoom(0, 0, 0), nullptr);
    EXPECT_EQ(hotel.GetTotalRooms(), 0);
    CHotel::RoomWalker walker(hotel);
    EXPECT_EQ(walker.First(), nullptr);
    EXPECT_EQ(walker.Next(), nullptr);
}

TEST(HotelWalk, EndStaysEndedUntilRewound)
{
    CHotel hotel;
    Build(hotel, {stRoomAssignItem(1, 1, 2, {})});
    EXPECT_NE(hotel.GetFirstRoom(), nullptr);
    EXPECT_NE(hotel.GetNextRoom(), nullptr);
    EXPECT_EQ(hotel.GetNextRoom(), nullptr);
    EXPECT_EQ(hotel.GetNextRoom(), nullptr);
    EXPECT_EQ(hotel.GetFirstRoom(), hotel.FindRoom(1, 1, 0));
}

TEST(HotelWalk, WalkerCursorIsIndependentOfTheHotels)
{
    CHotel hotel;
    Build(hotel, {stRoomAssignItem(1, 1, 3, {1}), stRoomAssignItem(2, 1, 2, {})});
    const std::vector<Spot> all = {{1, 1, 0}, {1, 1, 2}, {1, 1, 3}, {2, 1, 0}, {2, 1, 1}};

    // The other thread's walk, one step at a time, while the UI thread walks,
    // rewinds (as its minute timer does) and walks again.
    CHotel::RoomWalker walker(hotel);
    std::vector<Spot> other;
    CRoom *b = walker.First();
    const auto step = [&] {
        if (b) {
            other.push_back({b->m_buildNum, b->m_floorNum, b->m_roomNum});
            b = walker.Next();
        }
    };
    step();
    EXPECT_NE(hotel.GetFirstRoom(), nullptr);
    EXPECT_NE(hotel.GetNextRoom(), nullptr);
    step();
    EXPECT_EQ(hotel.GetFirstRoom(), hotel.FindRoom(1, 1, 0));
    step();
    EXPECT_EQ(Walk(hotel), all);
    while (b)
        step();
    EXPECT_EQ(other, all);
}

TEST(BuildText, NumberLineThenTheThirtyNameBytes)
{
    CBuild build(12);
    std::memcpy(build.m_name, "East", 4);
    char buf[CBuild::kMaxTextSize];
    ASSERT_EQ(build.FormatText(buf), 33);
    EXPECT_EQ(std::string(buf, 33), std::string("12\nEast") + std::string(26, '\0'));
    EXPECT_EQ(build.FormatText(buf, 32), -1);

    CBuild widest(INT32_MIN);
    EXPECT_EQ(widest.FormatText(buf), static_cast<int32_t>(CBuild::kMaxTextSize));
}

TEST(BuildCopy, NumberAndNameOnly)
{
    CBuild source(7);
    std::memcpy(source.m_name, "West", 4);
    source.AddFloor(std::make_unique<CFloor>(1));
    CBuild copy;
    copy = source;
    EXPECT_EQ(copy.m_buildNum, 7);
    EXPECT_STREQ(copy.m_name, "West");
    EXPECT_EQ(copy.GetFloorCount(), 0);
    const CBuild constructed(source);
    EXPECT_EQ(constructed.m_buildNum, 7);
    EXPECT_EQ(constructed.GetFloorCount(), 0);
}

TEST(LayoutText, ItemsAndGapsAsLines)
{
    const std::vector<stRoomAssignItem> one = {stRoomAssignItem(1, 3, 10, {0})};
    EXPECT_EQ(LayoutText(one, 3000), "1\n1\n3\n10\n1\n0\n");
    EXPECT_EQ(LayoutText({}, 3000), "0\n");
    const std::vector<stRoomAssignItem> two = {stRoomAssignItem(1, 3, 10, {0, 4}), stRoomAssignItem(2, 1, 5, {})};
    EXPECT_EQ(LayoutText(two, 3000), "2\n1\n3\n10\n2\n0\n4\n2\n1\n5\n0\n");

    CHotel hotel;
    hotel.SetLayout(two);
    char buf[64];
    EXPECT_EQ(hotel.FormatLayoutText(buf, sizeof buf), 23);
}

TEST(LayoutText, TooLongListIsCutToWholeItems)
{
    std::vector<stRoomAssignItem> layout;
    for (uint32_t f = 0; f < 12; ++f)
        layout.push_back(stRoomAssignItem(1, f, 20, {}));
    // Each item is "1\nF\n20\n0\n": 9 bytes for F < 10, 10 after.
    int items = -1;
    EXPECT_EQ(LayoutText(layout, 2 + 9 * 3 + 8, &items), "3\n1\n0\n20\n0\n1\n1\n20\n0\n1\n2\n20\n0\n");
    EXPECT_EQ(items, 3);
    // Ten items need a wider count line: 3 + 90 bytes, so 92 holds only nine.
    EXPECT_EQ(LayoutText(layout, 92, &items).substr(0, 2), "9\n");
    EXPECT_EQ(items, 9);
    EXPECT_EQ(LayoutText(layout, 93, &items).substr(0, 3), "10\n");
    EXPECT_EQ(LayoutText(layout, 1, &items), "");
    EXPECT_EQ(items, 0);
    EXPECT_EQ(LayoutText(layout, 2, &items), "0\n");
    EXPECT_EQ(LayoutText(layout, 3000, &items).size(), 2u + 9 * 10 + 10 * 2 + 1);
    EXPECT_EQ(items, 12);
}
