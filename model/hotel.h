#pragma once
// The hotel: buildings, floors and rooms built once at start-up from the
// layout list, the lookups by building, floor and room number, and the walk
// over the rooms in service.
//
// Two threads walk the rooms: the UI thread (monitor, start-up, dialogs,
// timers) and the PMS room-state poller. The UI thread owns the hotel's own
// cursor (GetFirstRoom / GetNextRoom); any other thread walks with a
// RoomWalker, which has a cursor of its own, so the two never share one and
// need no lock. Lookups and walkers read only the shape of the model, which
// does not change after BuildRooms.
#include "model/build.h"
#include "model/object.h"
#include "model/room.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// One line of the hotel layout list: a floor of roomCount rooms in service
// and gapCount gap rooms (numbers that exist but are not in service).
struct stRoomAssignItem {
    stRoomAssignItem() = default;
    stRoomAssignItem(uint32_t build, uint32_t floor, uint32_t rooms, std::vector<uint32_t> gapList)
        : buildNum(build), floorNum(floor), roomCount(rooms), gapCount(static_cast<uint32_t>(gapList.size())),
          gaps(std::move(gapList))
    {
    }

    uint32_t buildNum = 0;
    uint32_t floorNum = 0;
    uint32_t roomCount = 0;
    uint32_t gapCount = 0;       // always gaps.size()
    std::vector<uint32_t> gaps;  // room numbers from 0
};

// The layout list's text form (payload of the hotel-info reply): the item
// count, then each item's numbers and gaps, one "%d\n" line each. Writes at
// most size bytes: when the whole list does not fit, it writes the longest
// leading run of whole items that does, with that count in the first line.
// Returns the bytes written (0 when not even the count fits); itemsWritten,
// when given, receives the number of items in the text.
int32_t FormatLayoutText(const std::vector<stRoomAssignItem> &layout, char *buf, size_t size,
                         int *itemsWritten = nullptr);

class CHotel : public CObject {
public:
    // Where a walk stands: positions in m_builds, the building's floors and
    // the floor's rooms (not numbers).
    struct Cursor {
        int m_curBuild = 0;
        int m_curFloor = 0;
        int m_curRoom = 0;
    };

    // A room walk with its own cursor, for a thread other than the UI thread.
    class RoomWalker {
    public:
        explicit RoomWalker(const CHotel &hotel) : m_hotel(hotel) {}
        CRoom *First() { return m_hotel.WalkFirst(m_cursor); }
        CRoom *Next() { return m_hotel.WalkNext(m_cursor); }

    private:
        const CHotel &m_hotel;
        Cursor m_cursor;
    };

    CHotel() = default;
    CHotel(const CHotel &) = delete;
    CHotel &operator=(const CHotel &) = delete;

    // The layout list must be set before BuildRooms.
    void SetLayout(std::vector<stRoomAssignItem> layout) { m_layout = std::move(layout); }
    const std::vector<stRoomAssignItem> &GetLayout() const { return m_layout; }

    // Builds buildings, floors and rooms from the layout list. When memory
    // runs out it stops there, keeps what it has built and returns false.
    bool BuildRooms();

    int AddBuild(std::unique_ptr<CBuild> build);
    void RemoveAllBuilds() { m_builds.clear(); }
    int GetBuildCount() const { return static_cast<int>(m_builds.size()); }
    // By position in creation order; null outside 0 .. count - 1.
    CBuild *GetBuild(int pos) const;

    CBuild *FindBuild(int32_t buildNum) const;
    CFloor *FindFloor(int32_t buildNum, int32_t floorNum) const;
    // Finds gap rooms too; the only room lookup there is.
    CRoom *FindRoom(int32_t buildNum, int32_t floorNum, int32_t roomNum) const;

    // The UI thread's walk over the rooms in service. After GetNextRoom has
    // returned null it keeps returning null until GetFirstRoom rewinds.
    CRoom *GetFirstRoom() { return WalkFirst(m_cursor); }
    CRoom *GetNextRoom() { return WalkNext(m_cursor); }

    // Rooms in service by the layout list (gap rooms not counted).
    int32_t GetTotalRooms() const;

    int32_t FormatLayoutText(char *buf, size_t size, int *itemsWritten = nullptr) const
    {
        return ::FormatLayoutText(m_layout, buf, size, itemsWritten);
    }

private:
    // First: the first room in service, cursor on it; none: cursor (0, 0, 0).
    CRoom *WalkFirst(Cursor &cursor) const;
    // One past the cursor, the next room in service; at the end the cursor
    // stays past the last building.
    CRoom *WalkNext(Cursor &cursor) const;
    // From the cursor on, the first room in service; moves the cursor there.
    CRoom *SeekInService(Cursor &cursor) const;

    std::vector<std::unique_ptr<CBuild>> m_builds;
    std::vector<stRoomAssignItem> m_layout;
    Cursor m_cursor; // the UI thread's walk
};
