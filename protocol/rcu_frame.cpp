// RCU command frames: header, payload by command code, check bytes.
#include "protocol/crc.h"
#include "protocol/device_com_ctrl.h"
#include "protocol/frame_codes.h"
#include "protocol/frame_header.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kOpenDoorKey = 0x5C1E3A97;

// The codes whose payload the command record itself holds. Every other code
// carries the caller's bytes.
struct RecordPayload {
    uint16_t code;
    size_t length;
    void (*write)(const CDeviceComCtrl &, uint8_t *);
};

void WriteU32(uint8_t *out, uint32_t v) { frame::PutU32Le(out, v); }

const RecordPayload kRecordPayloads[] = {
    {RCU_BLOCK26, stBlock26::kWireSize, [](const CDeviceComCtrl &c, uint8_t *p) { c.m_block26.WriteTo(p); }},
    {RCU_ROOM_STATE, CDeviceComCtrl::kRoomStateRecordSize,
     [](const CDeviceComCtrl &c, uint8_t *p) { std::memcpy(p, c.m_roomStateRecord, sizeof c.m_roomStateRecord); }},
    {RCU_FAN_CONTROL, 8,
     [](const CDeviceComCtrl &c, uint8_t *p) {
         WriteU32(p, c.m_fanControl[0]);
         WriteU32(p + 4, c.m_fanControl[1]);
     }},
    {RCU_ENERGY_MODE, kParamBlockSize,
     [](const CDeviceComCtrl &c, uint8_t *p) { std::memcpy(p, c.m_energyBlock, sizeof c.m_energyBlock); }},
    {RCU_FAN_SEASON, 4, [](const CDeviceComCtrl &c, uint8_t *p) { WriteU32(p, c.m_seasonMode); }},
    {RCU_VALVE_MODE, 4, [](const CDeviceComCtrl &c, uint8_t *p) { WriteU32(p, c.m_valveMode); }},
    {RCU_LIGHT_CONTROL, stValueAndByte::kWireSize,
     [](const CDeviceComCtrl &c, uint8_t *p) { c.m_lightControl.WriteTo(p); }},
    {RCU_LIGHT_MODE, 4, [](const CDeviceComCtrl &c, uint8_t *p) { WriteU32(p, c.m_lightMode); }},
    {RCU_PRESET, stPresetBlock::kWireSize, [](const CDeviceComCtrl &c, uint8_t *p) { c.m_preset.WriteTo(p); }},
    {RCU_VALUE_2F, 4, [](const CDeviceComCtrl &c, uint8_t *p) { WriteU32(p, c.m_value2F); }},
    {RCU_OPEN_DOOR, 4, [](const CDeviceComCtrl &, uint8_t *p) { WriteU32(p, kOpenDoorKey); }},
    {RCU_HEAT_MODE, 4, [](const CDeviceComCtrl &c, uint8_t *p) { WriteU32(p, c.m_seasonMode); }},
};

const RecordPayload *FindRecordPayload(uint16_t code)
{
    for (const RecordPayload &entry : kRecordPayloads)
        if (entry.code == code)
            return &entry;
    return nullptr;
}

} // namespace

void CDeviceComCtrl::AddressUnsequenced(uint32_t command, uint32_t build, uint32_t floor, uint32_t room)
{
    m_command = command;
    m_buildNum = build;
    m_floorNum = floor;
    m_roomNum = room;
    m_sequence = 0xFFFFFFFF;
    m_headerWord = 0xFFFFFFFF;
    m_answerWanted = 0;
}

void CDeviceComCtrl::SetRoomStateRecord(uint8_t state)
{
    m_roomStateRecord[0] = kRoomStateRecordSize;
    m_roomStateRecord[1] = state;
    CalcFrameCRC16(m_roomStateRecord);
}

uint16_t CDeviceComCtrl::BuildFrame(uint8_t *frame, size_t size, const uint8_t *data, int length) const
{
    const auto code = static_cast<uint16_t>(m_command);
    const RecordPayload *fromRecord = FindRecordPayload(code);
    size_t payload = 0;
    if (fromRecord)
        payload = fromRecord->length;
    else if (data && length > 0)
        payload = static_cast<size_t>(length);
    const size_t total = frame::kHeaderSize + payload + frame::kRcuCheckSize;
    if (total > std::min(size, frame::kRcuFrameMax))
        return 0;

    frame[frame::kLength] = frame::kRcuStartByte;
    frame[frame::kLength + 1] = static_cast<uint8_t>(total);
    frame::PutMagic(frame);
    frame[frame::kReceiverKind] = frame::kKindRcu;
    frame[frame::kSenderKind] = frame::kKindServer;
    frame::PutU16Le(frame + frame::kTag, static_cast<uint16_t>(m_sequence));
    frame::PutU32Le(frame + frame::kHeaderWord, m_headerWord);
    frame[frame::kControl] = static_cast<uint8_t>(m_control);
    frame::PutU16Be(frame + frame::kCommand, code);
    frame[frame::kAnswerWanted] = static_cast<uint8_t>(m_answerWanted);
    frame[frame::kBuilding] = static_cast<uint8_t>(m_buildNum);
    frame[frame::kFloor] = static_cast<uint8_t>(m_floorNum);
    frame[frame::kRoom] = static_cast<uint8_t>(m_roomNum);
    frame[frame::kByte21] = 1;

    uint8_t *body = frame + frame::kPayload;
    if (fromRecord)
        fromRecord->write(*this, body);
    else if (payload > 0)
        std::memcpy(body, data, payload);

    CalcFrameSum16(frame);
    return static_cast<uint16_t>(total);
}
