#include "protocol/msg.h"

#include "platform/archive.h"
#include "protocol/frame_codes.h"

void CMsg::Reset()
{
    m_tag = -1;
    m_type = 0;
    m_answerWanted = 0;
    m_archiveWord = 0;
    m_buildNum = 0;
    m_floorNum = 0;
    m_roomNum = 0;
    m_user.clear();
    m_password.clear();
}

namespace {

// Archive forms of codes that no frame carries.
constexpr uint32_t kArchiveAddressOnly = 0x1D;
constexpr uint32_t kArchiveText = 0x20;

void TransferAddress(platform::CArchive &ar, CMsg &msg)
{
    ar.Transfer(msg.m_buildNum);
    ar.Transfer(msg.m_floorNum);
    ar.Transfer(msg.m_roomNum);
}

} // namespace

void CMsg::Serialize(platform::CArchive &ar)
{
    auto word = static_cast<uint16_t>(m_archiveWord);
    ar.Transfer(word);
    if (ar.IsLoading())
        m_archiveWord = word;
    ar.Transfer(m_type);
    switch (m_type) {
    case MSG_LOGIN:
        ar.Transfer(m_user);
        ar.Transfer(m_password);
        break;
    case MSG_FAN_CONTROL:
        TransferAddress(ar, *this);
        ar.Transfer(m_fanControl[0]);
        ar.Transfer(m_fanControl[1]);
        break;
    case MSG_TIME_QUERY: case MSG_CANCEL_CLEAN: case MSG_CANCEL_DND: case MSG_CANCEL_LAUNDRY:
    case MSG_CANCEL_CHECKOUT: case MSG_ROOM_STATE_CTRL: case MSG_QUERY_DEVICE: case MSG_CANCEL_CALL:
    case kArchiveAddressOnly: case MSG_VALVE_ENABLE: case MSG_VALVE_DISABLE:
        TransferAddress(ar, *this);
        break;
    case kArchiveText:
        ar.Transfer(m_text);
        break;
    case MSG_ROOM_STATE:
        m_room.Serialize(ar);
        break;
    case MSG_EVENT:
        m_event.Serialize(ar);
        break;
    default:
        break;
    }
}

const CRuntimeClass CMsg::classCMsg("CMsg", 0xFFFF, &CMsg::CreateObject);

CObject *CMsg::CreateObject()
{
    return new CMsg;
}

const CRuntimeClass *CMsg::GetRuntimeClass() const
{
    return &classCMsg;
}

CMsg *GetScratchMsg()
{
    static CMsg scratch;
    scratch.Reset();
    return &scratch;
}
