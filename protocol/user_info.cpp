#include "protocol/user_info.h"

#include "protocol/frame_header.h"

#include <cstring>
#include <initializer_list>

const char *const kUserRightColumns[stUserInfo::kRightCount] = {
    "CANVIEWROOMSTATE", "CANCTRLROOMFENGJI", "CANCTRLROOMSTATE", "CANLISTMSG",
    "CANVIEWFLOOR",     "CANUSERMAN",        "CANVIEWLOG",       "CANVIEWREALSTATE",
    "CANPRINT",         "CANVIEWREPORT",     "CANSYSTEMADMIN",   "CANSCHEMESET",
};

void stUserInfo::WriteTo(uint8_t *out) const
{
    frame::PutU32Le(out, static_cast<uint32_t>(USER_ID));
    uint8_t *p = out + 4;
    for (const char *text : {userName, password, REG_TIME}) {
        std::memcpy(p, text, kTextSize);
        p += kTextSize;
    }
    *p++ = BUILD_NUM;
    *p++ = FLOOR_NUM;
    *p++ = USER_TYPE;
    *p++ = GROUP_ID;
    std::memcpy(p, rights, kRightCount);
}
