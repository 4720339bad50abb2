#include "protocol/client_frame_build.h"

#include "protocol/frame_codes.h"
#include "protocol/frame_header.h"
#include "protocol/msg.h"
#include "model/text_writer.h"

#include <algorithm>
#include <cstring>

namespace {

// Writes a reply payload of at most capacity bytes at out; returns its
// length, or -1 when it cannot be written within capacity.
using PayloadWriter = int (*)(const CMsg &, const ClientFrameContext &, uint8_t *out, size_t capacity);

int WriteNothing(const CMsg &, const ClientFrameContext &, uint8_t *, size_t) { return 0; }

// A fixed-size block of the message, written as it is on the wire.
template <typename Block, Block CMsg::*field>
int WriteBlock(const CMsg &msg, const ClientFrameContext &, uint8_t *out, size_t capacity)
{
    if (Block::kWireSize > capacity)
        return -1;
    (msg.*field).WriteTo(out);
    return static_cast<int>(Block::kWireSize);
}

int WriteParamBlock(const CMsg &msg, const ClientFrameContext &, uint8_t *out, size_t capacity)
{
    if (sizeof msg.m_paramBlock > capacity)
        return -1;
    std::memcpy(out, msg.m_paramBlock, sizeof msg.m_paramBlock);
    return static_cast<int>(sizeof msg.m_paramBlock);
}

int WriteEvent(const CMsg &msg, const ClientFrameContext &, uint8_t *out, size_t capacity)
{
    return msg.m_event.FormatText(reinterpret_cast<char *>(out), capacity);
}

int WriteRoom(const CMsg &msg, const ClientFrameContext &, uint8_t *out, size_t capacity)
{
    return msg.m_room.FormatText(reinterpret_cast<char *>(out), capacity);
}

int WriteBuild(const CMsg &msg, const ClientFrameContext &, uint8_t *out, size_t capacity)
{
    return msg.m_build.FormatText(reinterpret_cast<char *>(out), capacity);
}

int WriteLayout(const CMsg &msg, const ClientFrameContext &, uint8_t *out, size_t capacity)
{
    const int32_t n = FormatLayoutText(msg.m_layout, reinterpret_cast<char *>(out), capacity);
    return n > 0 ? n : -1;
}

// "%d\n" with the number of clients, then each one's name and address lines;
// cut after the last client that fits, the count line saying how many follow.
int WriteOnlineList(const CMsg &, const ClientFrameContext &context, uint8_t *out, size_t capacity)
{
    const OnlineClientList *clients = context.clients;
    const size_t count = clients ? clients->Count() : 0;
    size_t fitting = 0;
    size_t itemBytes = 0;
    for (; fitting < count; ++fitting) {
        const OnlineClientEntry entry = clients->At(fitting);
        const size_t next = itemBytes + entry.userName.size() + 1 + entry.peerAddress.size() + 1;
        if (DecimalLineLength(static_cast<int64_t>(fitting + 1)) + next > capacity)
            break;
        itemBytes = next;
    }
    TextWriter text(reinterpret_cast<char *>(out), capacity);
    text.Line(static_cast<int32_t>(fitting));
    for (size_t i = 0; i < fitting; ++i) {
        const OnlineClientEntry entry = clients->At(i);
        text.Bytes(entry.userName.data(), entry.userName.size());
        text.Bytes("\n", 1);
        text.Bytes(entry.peerAddress.data(), entry.peerAddress.size());
        text.Bytes("\n", 1);
    }
    return text.Overflowed() ? -1 : static_cast<int>(text.Length());
}

struct Reply {
    uint16_t code;
    size_t maxTotal; // 0: as much as the buffer holds
    PayloadWriter write;
};

// Reply 0x81 may span two datagrams; every other reply is one datagram of as
// much as the buffer holds, its length field saying at most 1450.
const Reply kReplies[] = {
    {MSG_BLOCK26, 0, WriteBlock<stBlock26, &CMsg::m_block26>},
    {MSG_HOTEL_INFO, frame::kClientSplitMax, WriteLayout},
    {MSG_LOGIN_OK, 0, WriteBlock<stUserInfo, &CMsg::m_userInfo>},
    {MSG_LOGIN_FAIL, 0, WriteNothing},
    {MSG_KEEPALIVE_ACK, 0, WriteNothing},
    {MSG_ROOM_STATE, 0, WriteRoom},
    {MSG_TIME_ANSWER, 0, WriteBlock<stTimeAnswer, &CMsg::m_timeAnswer>},
    {MSG_EVENT, 0, WriteEvent},
    {MSG_PARAMS_ANSWER, 0, WriteParamBlock},
    {MSG_ONLINE_LIST_ANSWER, 0, WriteOnlineList},
    {MSG_BUILD_INFO, 0, WriteBuild},
};

const Reply *FindReply(uint16_t code)
{
    for (const Reply &entry : kReplies)
        if (entry.code == code)
            return &entry;
    return nullptr;
}

void WriteReplyHeader(uint8_t *frame, const CMsg &msg, uint16_t code)
{
    frame::PutMagic(frame);
    frame[frame::kReceiverKind] = frame::kKindClient;
    frame[frame::kSenderKind] = frame::kKindServer;
    frame::PutU16Le(frame + frame::kTag, static_cast<uint16_t>(msg.m_tag));
    frame::PutU32Le(frame + frame::kHeaderWord, 0);
    frame[frame::kControl] = 0;
    frame::PutU16Le(frame + frame::kCommand, code);
    frame[frame::kAnswerWanted] = static_cast<uint8_t>(msg.m_answerWanted);
}

} // namespace

uint16_t BuildClientFrame(uint8_t *frame, size_t size, const CMsg &msg, bool secondPart,
                          const ClientFrameContext &context)
{
    size = std::min(size, frame::kSendBufferSize);
    if (size < frame::kHeaderSize)
        return 0;
    const auto code = static_cast<uint16_t>(msg.m_type);
    const Reply *reply = FindReply(code);
    size_t limit = size;
    if (reply && reply->maxTotal)
        limit = std::min(limit, reply->maxTotal);

    WriteReplyHeader(frame, msg, code);
    int payload = 0;
    if (reply)
        payload = reply->write(msg, context, frame + frame::kPayload, limit - frame::kHeaderSize);
    if (payload < 0)
        return 0;
    const size_t total = frame::kHeaderSize + static_cast<size_t>(payload);

    if (secondPart && total > frame::kClientSplitLength) {
        const size_t rest = total - frame::kClientSplitLength;
        std::memmove(frame + frame::kPayload, frame + frame::kClientSplitLength, rest);
        frame::PutU16Be(frame + frame::kLength, static_cast<uint16_t>(frame::kHeaderSize + rest));
    } else {
        frame::PutU16Be(frame + frame::kLength, static_cast<uint16_t>(std::min(total, frame::kClientSplitLength)));
        if (code == MSG_HOTEL_INFO && total > frame::kClientSplitLength)
            frame[frame::kControl] = 1;
    }
    return static_cast<uint16_t>(total);
}
