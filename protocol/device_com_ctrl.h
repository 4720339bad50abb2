#pragma once
// One command to a room control unit; BuildFrame writes it as an RCU frame.
#include <cstddef>
#include <cstdint>

#include "model/object.h"
#include "protocol/payload_blocks.h"

// Its archive form is the empty one of CObject.
class CDeviceComCtrl : public CObject {
public:
    CDeviceComCtrl() = default;
    CDeviceComCtrl(const CDeviceComCtrl &) = default;
    CDeviceComCtrl &operator=(const CDeviceComCtrl &) = default;

    static constexpr size_t kRoomStateRecordSize = 4;

    uint32_t m_command = 0;      // RCU command code; the low 16 bits go into the frame
    uint32_t m_answerWanted = 0; // frame byte 17; on an online client also "an answer is awaited"
    int64_t m_time = 0;          // when the command was issued; not sent
    uint32_t m_clientTag = 0;    // tag of the workstation request behind the command
    uint32_t m_sequence = 0;     // frame bytes 8..9
    uint32_t m_headerWord = 0;   // frame bytes 10..13; every sender sets 0xFFFFFFFF
    uint32_t m_buildNum = 0;     // frame byte 18; 255 = all
    uint32_t m_floorNum = 0;     // frame byte 19; 255 = all
    uint32_t m_roomNum = 0;      // frame byte 20; 255 = all
    uint32_t m_control = 0;      // frame byte 14
    uint32_t m_fanControl[2] = {};
    uint8_t m_energyBlock[kParamBlockSize] = {};
    uint32_t m_seasonMode = 0;
    uint32_t m_valveMode = 0;
    uint32_t m_lightMode = 0;
    stValueAndByte m_lightControl;
    uint8_t m_roomStateRecord[kRoomStateRecordSize] = {};
    stBlock26 m_block26;
    uint32_t m_value2F = 0;
    stPresetBlock m_preset;

    // A command of the server's own, outside the workstations' numbering:
    // sequence and header word 0xFFFFFFFF, no answer awaited.
    void AddressUnsequenced(uint32_t command, uint32_t build, uint32_t floor, uint32_t room);

    // The room-state sub-record [4, state, CRC low, CRC high].
    void SetRoomStateRecord(uint8_t state);

    // Writes the RCU frame for m_command into frame (size bytes) and returns
    // its total length. Codes whose payload comes from this record ignore
    // data and length; every other code sends the length bytes at data (none
    // when length <= 0). A frame that would not fit in size bytes or in the
    // one length byte (255) is not written: the result is then 0.
    uint16_t BuildFrame(uint8_t *frame, size_t size, const uint8_t *data = nullptr, int length = 0) const;
};
