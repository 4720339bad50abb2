// Replies and room commands built from parsed requests: whatever the request
// held, no builder writes past its buffer and every length it returns lies
// within it.
#include "protocol/client_frame_build.h"
#include "protocol/client_frame_parse.h"
#include "protocol/device_com_ctrl.h"
#include "protocol/frame_codes.h"
#include "protocol/frame_header.h"
#include "protocol/msg.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const uint16_t kReplyCodes[] = {MSG_BLOCK26,    MSG_HOTEL_INFO, MSG_LOGIN_OK,      MSG_LOGIN_FAIL,
                                MSG_KEEPALIVE_ACK, MSG_ROOM_STATE, MSG_TIME_ANSWER, MSG_EVENT,
                                MSG_PARAMS_ANSWER, MSG_ONLINE_LIST_ANSWER, MSG_BUILD_INFO, 0x99};

class Clients : public OnlineClientList {
public:
    std::vector<std::string> names;
    size_t Count() const override { return names.size(); }
    OnlineClientEntry At(size_t i) const override { return {names[i], "192.168.100.200"}; }
};

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    // Byte 0 picks the reply, byte 1 scales the buffer; the rest is a request.
    const uint16_t replyCode = kReplyCodes[data[0] % (sizeof kReplyCodes / sizeof kReplyCodes[0])];
    const size_t capacity = data[1] < 0xF0 ? frame::kSendBufferSize : data[1] % 64;
    const uint8_t *request = data + 2;
    const size_t requestSize = size - 2;

    static CMsg msg;
    ParseClientFrame(request, requestSize, msg);

    // Feed what the request carried into the reply's variable parts.
    msg.m_event.m_title = msg.m_user;
    msg.m_event.m_note.assign(reinterpret_cast<const char *>(request), requestSize);
    msg.m_event.m_msgIndex = msg.m_fanControl[0] | (uint64_t(msg.m_fanControl[1]) << 32);
    msg.m_layout.clear();
    for (size_t i = 0; i + 3 < requestSize; i += 4)
        msg.m_layout.emplace_back(request[i], request[i + 1], request[i + 2],
                                  std::vector<uint32_t>(request[i + 3], request[i]));
    msg.m_room = CRoom(static_cast<int32_t>(msg.m_fanControl[0]), static_cast<int32_t>(msg.m_fanControl[1]),
                       static_cast<int32_t>(msg.m_roomState));
    Clients clients;
    for (size_t i = 0; i < requestSize; ++i)
        clients.names.push_back(msg.m_user + std::string(request[i] % 51, 'u'));
    msg.m_type = replyCode;

    const auto buffer = std::make_unique<uint8_t[]>(capacity ? capacity : 1);
    const ClientFrameContext context{&clients};
    const uint16_t total = BuildClientFrame(buffer.get(), capacity, msg, false, context);
    Check(total <= capacity);
    if (total) {
        const size_t lengthField = frame::GetU16Be(buffer.get());
        Check(lengthField <= frame::kClientSplitLength && lengthField <= total);
    }
    if (total > frame::kClientSplitLength) {
        Check(BuildClientFrame(buffer.get(), capacity, msg, true, context) == total);
        if (replyCode == MSG_HOTEL_INFO)
            Check(frame::GetU16Be(buffer.get()) <= frame::kClientSplitLength);
    }

    // The request's payload fields into a room command, with the request's
    // bytes as the caller's payload.
    CDeviceComCtrl command;
    command.m_command = msg.m_seasonMode;
    command.m_fanControl[0] = msg.m_fanControl[0];
    command.m_lightControl = msg.m_lightControl;
    std::memcpy(command.m_energyBlock, msg.m_paramBlock, sizeof command.m_energyBlock);
    command.m_preset = msg.m_preset;
    const size_t rcuCapacity = capacity < frame::kRcuFrameMax ? capacity : frame::kRcuFrameMax;
    const auto rcu = std::make_unique<uint8_t[]>(rcuCapacity ? rcuCapacity : 1);
    const uint16_t rcuLength =
        command.BuildFrame(rcu.get(), rcuCapacity, request, static_cast<int>(requestSize));
    Check(rcuLength <= rcuCapacity);
    if (rcuLength)
        Check(rcu[1] == rcuLength);
    return 0;
}
