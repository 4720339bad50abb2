#include "model/build.h"

#include "model/text_writer.h"

#include <cstring>

CRoom *CFloor::GetRoom(int pos) const
{
    return pos >= 0 && pos < GetRoomCount() ? m_rooms[static_cast<size_t>(pos)].get() : nullptr;
}

CBuild &CBuild::operator=(const CBuild &other)
{
    m_buildNum = other.m_buildNum;
    std::memcpy(m_name, other.m_name, sizeof m_name);
    return *this;
}

bool CBuild::AddFloor(std::unique_ptr<CFloor> floor)
{
    m_floors.push_back(std::move(floor));
    return true;
}

CFloor *CBuild::GetFloor(int pos) const
{
    return pos >= 0 && pos < GetFloorCount() ? m_floors[static_cast<size_t>(pos)].get() : nullptr;
}

int32_t CBuild::FormatText(char *buf) const { return FormatText(buf, kMaxTextSize); }

int32_t CBuild::FormatText(char *buf, size_t size) const
{
    TextWriter out(buf, size);
    out.Line(m_buildNum);
    out.Bytes(m_name, sizeof m_name);
    return out.Overflowed() ? -1 : static_cast<int32_t>(out.Length());
}
