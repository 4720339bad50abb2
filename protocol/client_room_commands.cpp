// Workstation room commands: every online client at the request's address
// and port turns it into one RCU frame for the named room, or for all rooms.
#include "protocol/client_room_commands.h"

#include "console/kelvor_dlg.h"
#include "protocol/frame_codes.h"
#include "protocol/frame_header.h"
#include "protocol/udp_socket.h"

#include <cstdio>
#include <cstring>

namespace {

using enum CmdRoom;
using enum CmdField;
using enum CmdPayload;

constexpr bool kStoreTag = true, kKeepTag = false;
constexpr bool kBroadcast = true, kRoomOnly = false;

const RoomCommand kRoomCommands[] = {
    {MSG_FAN_CONTROL, RCU_FAN_CONTROL, Named, One, Request, kKeepTag, FanControl, kRoomOnly,
     "用户%s向%d|%d%02d房间发送风机控制命令", nullptr},
    {MSG_FAN_SEASON, RCU_FAN_SEASON, AllRooms, Zero, FF, kKeepTag, SeasonMode, kBroadcast,
     "用户%s向%d|%d%02d房间发送风机季节模式命令", "用户%s向所有房间发送风机季节模式命令"},
    {MSG_TIME_QUERY, RCU_TIME_QUERY, Named, Request, Kept, kStoreTag, None, kRoomOnly,
     "用户%s向%d|%d%02d房间发送时间查询命令", nullptr},
    {MSG_CANCEL_CLEAN, RCU_CANCEL_CLEAN, Named, Kept, FF, kKeepTag, None, kRoomOnly,
     "用户%s向%d|%d%02d房间发送取消清理命令", nullptr},
    {MSG_CANCEL_DND, RCU_CANCEL_DND, Named, Kept, FF, kKeepTag, None, kRoomOnly,
     "用户%s向%d|%d%02d房间发送取消勿扰命令", nullptr},
    {MSG_CANCEL_LAUNDRY, RCU_CANCEL_LAUNDRY, Named, Kept, FF, kKeepTag, None, kRoomOnly,
     "用户%s向%d|%d%02d房间发送取消洗衣命令", nullptr},
    {MSG_CANCEL_CHECKOUT, RCU_CANCEL_CHECKOUT, Named, Kept, FF, kKeepTag, None, kRoomOnly,
     "用户%s向%d|%d%02d房间发送取消退房命令", nullptr},
    {MSG_ROOM_STATE_CTRL, RCU_ROOM_STATE, Named, Request, Kept, kKeepTag, RoomState, kRoomOnly,
     "用户%s向%d|%d%02d房间发送房态控制命令", nullptr},
    {MSG_QUERY_DEVICE, RCU_QUERY_DEVICE, Named, Request, Kept, kKeepTag, None, kRoomOnly,
     "用户%s向%d|%d%02d房间发送查询设备命令", nullptr},
    {MSG_RESET_DEVICE, RCU_RESET_DEVICE, Named, Request, Kept, kKeepTag, None, kRoomOnly,
     "用户%s向%d|%d%02d房间发送复位设备命令", nullptr},
    {MSG_CANCEL_CALL, RCU_CANCEL_CALL, Named, Kept, FF, kKeepTag, None, kRoomOnly,
     "用户%s向%d|%d%02d房间发送取消紧急呼叫命令", nullptr},
    {MSG_LIGHT_CONTROL, RCU_LIGHT_CONTROL, Named, Zero, FF, kKeepTag, LightControl, kRoomOnly,
     "用户%s向%d|%d%02d房间发送灯光控制命令", nullptr},
    {MSG_POWER_CONTROL, RCU_POWER_CONTROL, Named, One, Kept, kKeepTag, None, kRoomOnly,
     "用户%s向%d|%d%02d房间发送电源控制命令", nullptr},
    {MSG_READ_PARAMS, RCU_READ_PARAMS, Named, Request, Kept, kStoreTag, None, kRoomOnly, nullptr,
     nullptr},
    {MSG_ENERGY_MODE, RCU_ENERGY_MODE, Named, Request, Kept, kStoreTag, EnergyBlock, kRoomOnly,
     "用户%s向%d|%d%02d房间发送节能模式命令", nullptr},
    {MSG_VALVE_MODE, RCU_VALVE_MODE, AllRooms, Zero, FF, kKeepTag, ValveMode, kBroadcast,
     "用户%s向%d|%d%02d房间发送水阀模式命令", "用户%s向所有房间发送水阀模式命令"},
    {MSG_LIGHT_MODE, RCU_LIGHT_MODE, AllRooms, Zero, FF, kKeepTag, LightMode, kBroadcast,
     "用户%s向%d|%d%02d房间发送灯光模式命令", "用户%s向所有房间发送灯光模式命令"},
    {MSG_PRESET, RCU_PRESET, Named, Request, Kept, kStoreTag, Preset, kRoomOnly,
     "用户%s向%d|%d%02d房间发送预置命令", nullptr},
    {MSG_OPEN_DOOR, RCU_OPEN_DOOR, Named, One, Kept, kKeepTag, None, kRoomOnly,
     "用户%s向%d|%d%02d房间发送开门控制命令", nullptr},
    {MSG_VALVE_ENABLE, RCU_VALVE_ENABLE, Named, Kept, FF, kKeepTag, None, kRoomOnly,
     "用户%s向%d|%d%02d房间启用电磁阀命令", nullptr},
    {MSG_VALVE_DISABLE, RCU_VALVE_DISABLE, Named, Kept, FF, kKeepTag, None, kRoomOnly,
     "用户%s向%d|%d%02d房间发送停用电磁阀命令", nullptr},
    {MSG_LIGHT_SCENE, RCU_LIGHT_SCENE, AllRooms, Zero, FF, kKeepTag, LightScene, kRoomOnly,
     "用户%s向%d|%d%02d房间发送灯光场景控制命令", nullptr},
    {MSG_HEAT_MODE, RCU_HEAT_MODE, AllRooms, Zero, FF, kKeepTag, SeasonMode, kBroadcast,
     "用户%s向%d|%d%02d房间发送制热模式命令", "用户%s向所有房间发送制热模式命令"},
};

constexpr int kLightSceneSize = 3;

uint32_t FieldValue(CmdField field, uint32_t kept, uint32_t fromRequest)
{
    switch (field) {
    case Zero:
        return 0;
    case One:
        return 1;
    case FF:
        return 0xFF;
    case Request:
        return fromRequest;
    case Kept:
        break;
    }
    return kept;
}

// The record's payload field for the command, or the light scene's own
// bytes (which the frame builder takes as the caller's).
void CopyPayload(CmdPayload payload, const CMsg &request, CDeviceComCtrl &record, uint8_t *scene)
{
    switch (payload) {
    case FanControl:
        record.m_fanControl[0] = request.m_fanControl[0];
        record.m_fanControl[1] = request.m_fanControl[1];
        break;
    case SeasonMode:
        record.m_seasonMode = request.m_seasonMode;
        break;
    case RoomState:
        frame::PutU32Le(record.m_roomStateRecord, request.m_roomState);
        break;
    case LightControl:
        record.m_lightControl = request.m_lightControl;
        break;
    case EnergyBlock:
        std::memcpy(record.m_energyBlock, request.m_paramBlock, sizeof record.m_energyBlock);
        break;
    case ValveMode:
        record.m_valveMode = request.m_valveMode;
        break;
    case LightMode:
        record.m_lightMode = request.m_lightMode;
        break;
    case Preset:
        record.m_preset = request.m_preset;
        break;
    case LightScene:
        // Request bytes 23..24, a little-endian u16, go high byte first.
        scene[0] = static_cast<uint8_t>(request.m_lightScene.value >> 16);
        scene[1] = static_cast<uint8_t>(request.m_lightScene.value >> 8);
        scene[2] = 0;
        break;
    case None:
        break;
    }
}

} // namespace

const RoomCommand *FindRoomCommand(uint32_t requestCode)
{
    for (const RoomCommand &command : kRoomCommands)
        if (command.request == requestCode)
            return &command;
    return nullptr;
}

void CKelvorDlg::OnClientRoomCommand(int64_t now)
{
    const RoomCommand *command = FindRoomCommand(m_request.m_type);
    if (!command)
        return;
    const CMsg &request = m_request;
    const int b = static_cast<int>(request.m_buildNum);
    const int f = static_cast<int>(request.m_floorNum);
    const int r = static_cast<int>(request.m_roomNum);
    const bool allRoomsFrame = command->room == AllRooms;
    // Request byte 27: the second byte of the fan command's second value.
    const uint32_t requestControl = (request.m_fanControl[1] >> 8) & 0xFF;

    for (const std::unique_ptr<COnlineClient> &client : m_clients) {
        if (!client->Matches(m_senderPort, m_senderAddr))
            continue;
        CDeviceComCtrl &record = client->m_cmdRecord;
        record.m_command = command->rcuCommand;
        record.m_time = now;
        record.m_answerWanted = FieldValue(command->answerWanted, record.m_answerWanted, request.m_answerWanted);
        record.m_control = FieldValue(command->control, record.m_control, requestControl);
        if (command->storeTag)
            record.m_clientTag = static_cast<uint32_t>(request.m_tag);
        record.m_sequence = static_cast<uint32_t>(static_cast<int32_t>(m_cmdSeq));
        ++m_cmdSeq; // wraps from 32767 to -32768: 0x0000..0xFFFF on the wire
        record.m_headerWord = 0xFFFFFFFF;
        record.m_buildNum = allRoomsFrame ? 255 : static_cast<uint32_t>(b);
        record.m_floorNum = allRoomsFrame ? 255 : static_cast<uint32_t>(f);
        record.m_roomNum = allRoomsFrame ? 255 : static_cast<uint32_t>(r);
        uint8_t scene[kLightSceneSize];
        CopyPayload(command->payload, request, record, scene);
        const bool ownBytes = command->payload == LightScene;
        const uint16_t length =
            record.BuildFrame(m_sendBuf, sizeof m_sendBuf, ownBytes ? scene : nullptr, ownBytes ? kLightSceneSize : 0);

        const char *userName = client->m_userInfo.userName;
        char address[16];
        if (CRoom *room = m_hotel.FindRoom(b, f, r)) {
            FormatIPv4(room->m_rcuIp, address);
            SendUdp(length, room->m_rcuPort, address);
            if (command->logText) {
                std::snprintf(m_logText, sizeof m_logText, command->logText, userName, b, f, r);
                AddLog(m_logText);
            }
        } else if (command->allRoomsWhenMissing) {
            SendToRcuBroadcast(length);
            std::snprintf(m_logText, sizeof m_logText, command->allRoomsLogText, userName);
            AddLog(m_logText);
        }
    }
}
