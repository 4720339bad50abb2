#pragma once
// One workstation message: a request as ParseClientFrame decodes it, or a
// reply as BuildClientFrame writes it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/build.h"
#include "model/hotel.h"
#include "model/object.h"
#include "model/room.h"
#include "protocol/my_event.h"
#include "protocol/payload_blocks.h"
#include "protocol/user_info.h"

class CMsg : public CObject {
public:
    CMsg() { Reset(); }
    CMsg(const CMsg &) = default;
    CMsg &operator=(const CMsg &) = default;

    int32_t m_tag = -1;          // request tag (frame bytes 8..9, zero-extended)
    uint32_t m_type = 0;         // request or reply code (frame bytes 15..16)
    uint32_t m_answerWanted = 0; // frame byte 17
    std::string m_user;          // login name
    std::string m_password;      // login password
    uint32_t m_archiveWord = 0;  // 16 bits at the head of the archive form
    CRoom m_room;                // reply 0x87
    CBuild m_build;              // reply 0x8F
    uint32_t m_buildNum = 0;     // frame byte 18
    uint32_t m_floorNum = 0;     // frame byte 19
    uint32_t m_roomNum = 0;      // frame byte 20
    std::string m_text;          // carried by the archive form of code 0x20
    std::vector<stRoomAssignItem> m_layout; // the message's own copy, reply 0x81
    stUserInfo m_userInfo;       // reply 0x82
    uint32_t m_fanControl[2] = {}; // request 0x01
    uint8_t m_paramBlock[kParamBlockSize] = {}; // request 0x23, reply 0x8D
    stTimeAnswer m_timeAnswer;   // reply 0x88
    CMyEvent m_event;            // reply 0x8B
    uint32_t m_seasonMode = 0;   // requests 0x03 and 0x43
    uint32_t m_valveMode = 0;    // request 0x24
    uint32_t m_lightMode = 0;    // request 0x25
    stValueAndByte m_lightControl; // request 0x13
    uint32_t m_roomState = 0;    // request 0x0E
    stBlock26 m_block26;         // reply 0x03
    stValueAndByte m_lightScene; // request 0x40
    stPresetBlock m_preset;      // request 0x2F

    // Clears the header fields and the login texts; the payload fields and
    // the copies keep what they hold.
    void Reset();

    // Archive form: u16 archive word, u32 type, then a body chosen by the type.
    void Serialize(platform::CArchive &ar) override;

    // Creatable by its class name "CMsg" (schema number 0xFFFF): the factory
    // makes a new, reset message.
    static const CRuntimeClass classCMsg;
    static CObject *CreateObject();
    const CRuntimeClass *GetRuntimeClass() const override;
};

// The one reply message of the process, reset on every call: a reply must be
// built and sent before the next call.
CMsg *GetScratchMsg();
