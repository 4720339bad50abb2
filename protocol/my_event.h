#pragma once
// One row of event_msg_list as it is pushed to the workstations (reply 0x8B).
#include <cstddef>
#include <cstdint>
#include <string>

#include "model/object.h"

class CMyEvent : public CObject {
public:
    CMyEvent() = default;
    CMyEvent(const CMyEvent &) = default;
    CMyEvent &operator=(const CMyEvent &) = default;

    int32_t m_buildNum = 0;
    int32_t m_floorNum = 0;
    int32_t m_roomNum = 0;
    int32_t m_unitNum = 0;
    int64_t m_time = 0; // seconds since 1970: the moment the event is pushed
    int32_t m_msgType = 0;
    uint64_t m_msgIndex = 0;
    std::string m_title;
    std::string m_note;

    // The nine-line text form, each line ended by "\n": building, floor, room,
    // index, unit, type, title, note, time. Returns its length (no NUL
    // written), or -1 when it would not fit in size bytes; out then holds no
    // usable text.
    int FormatText(char *out, size_t size) const;

    // Archive form: u32 building, floor, room, unit, type; the title and the
    // note as archive strings; the 64-bit index; the 64-bit time.
    void Serialize(platform::CArchive &ar) override;
};
