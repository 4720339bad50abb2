#include "model/hotel.h"

#include "model/text_writer.h"

#include <algorithm>
#include <new>

namespace {

size_t ItemTextLength(const stRoomAssignItem &item)
{
    size_t n = DecimalLineLength(static_cast<int32_t>(item.buildNum)) +
               DecimalLineLength(static_cast<int32_t>(item.floorNum)) +
               DecimalLineLength(static_cast<int32_t>(item.roomCount)) +
               DecimalLineLength(static_cast<int32_t>(item.gaps.size()));
    for (uint32_t gap : item.gaps)
        n += DecimalLineLength(static_cast<int32_t>(gap));
    return n;
}

} // namespace

int32_t FormatLayoutText(const std::vector<stRoomAssignItem> &layout, char *buf, size_t size, int *itemsWritten)
{
    // How many whole items fit after their count line.
    size_t items = 0;
    size_t itemBytes = 0;
    while (items < layout.size()) {
        const size_t next = itemBytes + ItemTextLength(layout[items]);
        if (DecimalLineLength(static_cast<int64_t>(items + 1)) + next > size)
            break;
        itemBytes = next;
        ++items;
    }
    if (itemsWritten)
        *itemsWritten = 0;
    if (DecimalLineLength(static_cast<int64_t>(items)) + itemBytes > size)
        return 0;

    TextWriter out(buf, size);
    out.Line(static_cast<int32_t>(items));
    for (size_t i = 0; i < items; ++i) {
        const stRoomAssignItem &item = layout[i];
        out.Line(static_cast<int32_t>(item.buildNum));
        out.Line(static_cast<int32_t>(item.floorNum));
        out.Line(static_cast<int32_t>(item.roomCount));
        out.Line(static_cast<int32_t>(item.gaps.size()));
        for (uint32_t gap : item.gaps)
            out.Line(static_cast<int32_t>(gap));
    }
    if (itemsWritten)
        *itemsWritten = static_cast<int>(items);
    return static_cast<int32_t>(out.Length());
}

bool CHotel::BuildRooms()
{
    try {
        for (const stRoomAssignItem &item : m_layout) {
            const auto buildNum = static_cast<int32_t>(item.buildNum);
            const auto floorNum = static_cast<int32_t>(item.floorNum);
            CBuild *build = FindBuild(buildNum);
            if (!build) {
                auto owner = std::make_unique<CBuild>(buildNum);
                build = owner.get();
                AddBuild(std::move(owner));
            }
            auto floorOwner = std::make_unique<CFloor>(floorNum);
            CFloor *floor = floorOwner.get();
            build->AddFloor(std::move(floorOwner));
            const uint64_t n = uint64_t{item.roomCount} + item.gaps.size();
            for (uint64_t i = 0; i < n; ++i) {
                auto room = std::make_unique<CRoom>(buildNum, floorNum, static_cast<int32_t>(i));
                if (std::find(item.gaps.begin(), item.gaps.end(), i) != item.gaps.end())
                    room->m_inService = 0;
                floor->AddRoom(std::move(room));
            }
        }
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

int CHotel::AddBuild(std::unique_ptr<CBuild> build)
{
    m_builds.push_back(std::move(build));
    return GetBuildCount() - 1;
}

CBuild *CHotel::GetBuild(int pos) const
{
    return pos >= 0 && pos < GetBuildCount() ? m_builds[static_cast<size_t>(pos)].get() : nullptr;
}

CBuild *CHotel::FindBuild(int32_t buildNum) const
{
    for (const auto &build : m_builds)
        if (build->m_buildNum == buildNum)
            return build.get();
    return nullptr;
}

CFloor *CHotel::FindFloor(int32_t buildNum, int32_t floorNum) const
{
    const CBuild *build = FindBuild(buildNum);
    if (!build)
        return nullptr;
    for (const auto &floor : build->m_floors)
        if (floor->m_floorNum == floorNum)
            return floor.get();
    return nullptr;
}

CRoom *CHotel::FindRoom(int32_t buildNum, int32_t floorNum, int32_t roomNum) const
{
    const CFloor *floor = FindFloor(buildNum, floorNum);
    if (!floor)
        return nullptr;
    for (const auto &room : floor->m_rooms)
        if (room->m_roomNum == roomNum)
            return room.get();
    return nullptr;
}

CRoom *CHotel::SeekInService(Cursor &c) const
{
    for (; c.m_curBuild < GetBuildCount(); ++c.m_curBuild, c.m_curFloor = 0, c.m_curRoom = 0) {
        const CBuild &b = *m_builds[static_cast<size_t>(c.m_curBuild)];
        for (; c.m_curFloor < b.GetFloorCount(); ++c.m_curFloor, c.m_curRoom = 0) {
            const CFloor &f = *b.m_floors[static_cast<size_t>(c.m_curFloor)];
            for (; c.m_curRoom < f.GetRoomCount(); ++c.m_curRoom) {
                CRoom *r = f.m_rooms[static_cast<size_t>(c.m_curRoom)].get();
                if (r->m_inService == 1)
                    return r;
            }
        }
    }
    return nullptr;
}

CRoom *CHotel::WalkFirst(Cursor &cursor) const
{
    cursor = Cursor{};
    CRoom *r = SeekInService(cursor);
    if (!r)
        cursor = Cursor{};
    return r;
}

CRoom *CHotel::WalkNext(Cursor &cursor) const
{
    ++cursor.m_curRoom;
    if (cursor.m_curBuild >= GetBuildCount())
        return nullptr;
    return SeekInService(cursor);
}

int32_t CHotel::GetTotalRooms() const
{
    int64_t total = 0;
    for (const stRoomAssignItem &item : m_layout)
        total += item.roomCount;
    return static_cast<int32_t>(std::min<int64_t>(total, INT32_MAX));
}
