#include "protocol/client_frame_parse.h"

#include "protocol/frame_codes.h"
#include "protocol/frame_header.h"
#include "protocol/msg.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kLoginTextMax = 50;

// The datagram as it arrived: reads beyond its end give 0, never what an
// earlier datagram left in the receive buffer.
class Datagram {
public:
    Datagram(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}

    uint8_t Byte(size_t at) const { return at < m_size ? m_data[at] : 0; }

    void Copy(size_t at, uint8_t *out, size_t n) const
    {
        const size_t have = at < m_size ? std::min(n, m_size - at) : 0;
        if (have)
            std::memcpy(out, m_data + at, have);
        std::memset(out + have, 0, n - have);
    }

    uint32_t U32(size_t at) const
    {
        uint8_t b[4];
        Copy(at, b, sizeof b);
        return frame::GetU32Le(b);
    }

    // Text from at up to the first NUL or line feed, at most max bytes, never
    // past the end of the datagram.
    void ScanLine(size_t at, size_t max, std::string &out) const
    {
        out.clear();
        for (size_t i = at; i < m_size && out.size() < max; ++i) {
            const char c = static_cast<char>(m_data[i]);
            if (c == '\0' || c == '\n')
                break;
            out.push_back(c);
        }
    }

private:
    const uint8_t *m_data;
    size_t m_size;
};

enum class Payload {
    None,
    Login,
    FanControl,   // u32 at 22, u32 at 26
    SeasonMode,   // u32 at 22
    RoomState,    // u32 at 22
    LightControl, // u32 at 22, u8 at 26
    ParamBlock,   // 40 bytes at 22
    ValveMode,    // u32 at 22
    LightMode,    // u32 at 22
    Preset,       // 40 bytes at 22, u8 at 62
    LightScene,   // u32 at 22, u8 at 26
};

struct AcceptedRequest {
    uint16_t code;
    Payload payload;
};

const AcceptedRequest kAcceptedRequests[] = {
    {MSG_FAN_CONTROL, Payload::FanControl},
    {MSG_LOGIN, Payload::Login},
    {MSG_FAN_SEASON, Payload::SeasonMode},
    {MSG_KEEPALIVE, Payload::None},
    {MSG_TIME_QUERY, Payload::None},
    {MSG_LOGOUT, Payload::None},
    {MSG_CANCEL_CLEAN, Payload::None},
    {MSG_CANCEL_DND, Payload::None},
    {MSG_CANCEL_LAUNDRY, Payload::None},
    {MSG_CANCEL_CHECKOUT, Payload::None},
    {MSG_ROOM_STATE_CTRL, Payload::RoomState},
    {MSG_QUERY_DEVICE, Payload::None},
    {MSG_RESET_DEVICE, Payload::None},
    {MSG_ONLINE_LIST, Payload::None},
    {MSG_CANCEL_CALL, Payload::None},
    {MSG_LIGHT_CONTROL, Payload::LightControl},
    {MSG_POWER_CONTROL, Payload::None},
    {MSG_UNHANDLED_1E, Payload::None},
    {MSG_ROOM_QUERY, Payload::None},
    {MSG_READ_PARAMS, Payload::None},
    {MSG_ENERGY_MODE, Payload::ParamBlock},
    {MSG_VALVE_MODE, Payload::ValveMode},
    {MSG_LIGHT_MODE, Payload::LightMode},
    {MSG_PRESET, Payload::Preset},
    {MSG_OPEN_DOOR, Payload::None},
    {MSG_VALVE_ENABLE, Payload::None},
    {MSG_VALVE_DISABLE, Payload::None},
    {MSG_LIGHT_SCENE, Payload::LightScene},
    {MSG_BUILD_QUERY, Payload::None},
    {MSG_HEAT_MODE, Payload::SeasonMode},
};

const AcceptedRequest *FindAccepted(uint16_t code)
{
    for (const AcceptedRequest &entry : kAcceptedRequests)
        if (entry.code == code)
            return &entry;
    return nullptr;
}

void ReadValueAndByte(const Datagram &d, stValueAndByte &out)
{
    uint8_t b[stValueAndByte::kWireSize];
    d.Copy(frame::kPayload, b, sizeof b);
    out.ReadFrom(b);
}

void ReadPayload(Payload kind, const Datagram &d, CMsg &msg)
{
    constexpr size_t at = frame::kPayload;
    switch (kind) {
    case Payload::None:
        break;
    case Payload::Login:
        d.ScanLine(at, kLoginTextMax, msg.m_user);
        // The password starts right after the NUL that ends the name.
        d.ScanLine(at + msg.m_user.size() + 1, kLoginTextMax, msg.m_password);
        break;
    case Payload::FanControl:
        msg.m_fanControl[0] = d.U32(at);
        msg.m_fanControl[1] = d.U32(at + 4);
        break;
    case Payload::SeasonMode:
        msg.m_seasonMode = d.U32(at);
        break;
    case Payload::RoomState:
        msg.m_roomState = d.U32(at);
        break;
    case Payload::LightControl:
        ReadValueAndByte(d, msg.m_lightControl);
        break;
    case Payload::ParamBlock:
        d.Copy(at, msg.m_paramBlock, sizeof msg.m_paramBlock);
        break;
    case Payload::ValveMode:
        msg.m_valveMode = d.U32(at);
        break;
    case Payload::LightMode:
        msg.m_lightMode = d.U32(at);
        break;
    case Payload::Preset: {
        uint8_t b[stPresetBlock::kWireSize];
        d.Copy(at, b, sizeof b);
        msg.m_preset.ReadFrom(b);
        break;
    }
    case Payload::LightScene:
        ReadValueAndByte(d, msg.m_lightScene);
        break;
    }
}

} // namespace

bool IsAcceptedClientRequest(uint16_t code) { return FindAccepted(code) != nullptr; }

bool ParseClientFrame(const uint8_t *frame, size_t length, CMsg &msg)
{
    const Datagram d(frame, length);
    const auto code = static_cast<uint16_t>(d.Byte(frame::kCommand) | (d.Byte(frame::kCommand + 1) << 8));
    msg.m_type = code;
    msg.m_tag = static_cast<int32_t>(d.Byte(frame::kTag) | (d.Byte(frame::kTag + 1) << 8));
    msg.m_answerWanted = d.Byte(frame::kAnswerWanted);
    msg.m_buildNum = d.Byte(frame::kBuilding);
    msg.m_floorNum = d.Byte(frame::kFloor);
    msg.m_roomNum = d.Byte(frame::kRoom);

    const AcceptedRequest *accepted = FindAccepted(code);
    if (!accepted)
        return false;
    ReadPayload(accepted->payload, d, msg);
    return true;
}
