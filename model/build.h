#pragma once
// A building and its floors. Each owns what it holds; the shape is fixed once
// the hotel is built, so other parts keep plain pointers to them.
#include "model/object.h"
#include "model/room.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class CFloor : public CObject {
public:
    explicit CFloor(int32_t floorNum) : m_floorNum(floorNum) {}
    CFloor(const CFloor &) = delete;
    CFloor &operator=(const CFloor &) = delete;

    void AddRoom(std::unique_ptr<CRoom> room) { m_rooms.push_back(std::move(room)); }
    int GetRoomCount() const { return static_cast<int>(m_rooms.size()); }
    // Position on the floor (= room number); null outside the floor.
    CRoom *GetRoom(int pos) const;

    std::vector<std::unique_ptr<CRoom>> m_rooms;
    int32_t m_floorNum;
};

class CBuild : public CObject {
public:
    static constexpr size_t kNameSize = 30;
    // The longest text form: "-2147483648\n" and the name.
    static constexpr size_t kMaxTextSize = 42;

    CBuild() : CBuild(0) {}
    explicit CBuild(int32_t buildNum) : m_buildNum(buildNum) {}
    // A copy carries the number and the name only, never the floors.
    CBuild(const CBuild &other) : CObject(other) { *this = other; }
    CBuild &operator=(const CBuild &other);

    bool AddFloor(std::unique_ptr<CFloor> floor);
    int GetFloorCount() const { return static_cast<int>(m_floors.size()); }
    CFloor *GetFloor(int pos) const;

    // "%d\n" and the 30 bytes of the name as stored. The first writes at most
    // kMaxTextSize bytes; the second returns -1 when the size given is short.
    int32_t FormatText(char *buf) const;
    int32_t FormatText(char *buf, size_t size) const;

    std::vector<std::unique_ptr<CFloor>> m_floors;
    int32_t m_buildNum;
    char m_name[kNameSize] = {}; // GBK, at most 29 bytes and a zero
};
