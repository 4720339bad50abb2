// Running out of memory while the hotel is built. This binary's operator new
// can be told to fail after a number of allocations; it is inert otherwise.
#include "model/hotel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> g_allocationsLeft{-1}; // -1: never fail

struct FailAfter {
    explicit FailAfter(long n) { g_allocationsLeft = n; }
    ~FailAfter() { g_allocationsLeft = -1; }
};
} // namespace

void *operator new(std::size_t size)
{
    long left = g_allocationsLeft.load();
    while (left > 0 && !g_allocationsLeft.compare_exchange_weak(left, left - 1)) {
    }
    if (left == 0)
        throw std::bad_alloc();
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }

TEST(HotelMemory, BuildStopsAndKeepsWhatItBuilt)
{
    const std::vector<stRoomAssignItem> layout = {stRoomAssignItem(1, 1, 4, {0}), stRoomAssignItem(1, 2, 3, {}),
                                                  stRoomAssignItem(2, 1, 5, {2})};
    bool completed = false;
    int previousRooms = 0;
    for (long allowed = 0; !completed && allowed < 1000; ++allowed) {
        CHotel hotel;
        hotel.SetLayout(layout);
        {
            FailAfter limit(allowed);
            completed = hotel.BuildRooms();
        }
        SCOPED_TRACE(allowed);
        // What was built is a sound model: the walk yields rooms that the
        // lookups find, and more memory never builds less.
        int rooms = 0;
        for (CRoom *r = hotel.GetFirstRoom(); r; r = hotel.GetNextRoom()) {
            EXPECT_EQ(hotel.FindRoom(r->m_buildNum, r->m_floorNum, r->m_roomNum), r);
            ++rooms;
        }
        EXPECT_GE(rooms, previousRooms);
        EXPECT_LE(rooms, 12);
        previousRooms = rooms;
        EXPECT_EQ(hotel.GetTotalRooms(), 12);
        if (completed) {
            EXPECT_EQ(rooms, 12);
            EXPECT_GT(allowed, 0) << "no allocation was ever refused";
        }
    }
    EXPECT_TRUE(completed);
}
