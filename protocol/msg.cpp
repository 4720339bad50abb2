#include "protocol/msg.h"

#include "platform/archive.h"

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
    case 0x02:
        ar.Transfer(m_user);
        ar.Transfer(m_password);
        break;
    case 0x01:
        TransferAddress(ar, *this);
        ar.Transfer(m_fanControl[0]);
        ar.Transfer(m_fanControl[1]);
        break;
    case 0x08: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x0E:
    case 0x0F: case 0x12: case 0x1D: case 0x31: case 0x32:
        TransferAddress(ar, *this);
        break;
    case 0x20:
        ar.Transfer(m_text);
        break;
    case 0x87:
        m_room.Serialize(ar);
        break;
    case 0x8B:
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
