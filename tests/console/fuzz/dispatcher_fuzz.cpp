// Arbitrary datagrams through the dispatcher of a server whose hotel is built
// and whose embedded database is open (a copy of the seed in a temp folder),
// with the PMS XML form tried first. No sockets: the bytes go straight into
// the receive buffer, as a socket read would leave them, and a reply is left
// in the send buffer. After each input the invariants must hold; the probe is
// a workstation's online list request, answered with reply 0x8E.
#include "protocol/frame_codes.h"
#include "protocol/frame_header.h"
#include "tests/support/fuzz_server.h"

#include <cstdint>
#include <cstring>
#include <memory>

namespace {

CKelvorDlg *g_server = nullptr;
std::unique_ptr<FuzzInvariants> g_invariants;

bool AnswersOnlineListRequest()
{
    uint8_t request[frame::kHeaderSize] = {0, frame::kHeaderSize, 'Z', 'O', 'L', 'P', frame::kKindServer,
                                           frame::kKindClient};
    frame::PutU16Le(request + frame::kCommand, MSG_ONLINE_LIST);
    request[frame::kBuilding] = 1;
    request[frame::kFloor] = 2;
    request[frame::kRoom] = 3;
    std::memset(g_server->m_sendBuf, 0, frame::kHeaderSize);
    std::memcpy(g_server->m_recvBuf, request, sizeof request);
    g_server->HandleDatagram(sizeof request, 0x7F000001, 40001);
    const uint8_t *reply = g_server->m_sendBuf;
    return std::memcmp(reply + frame::kMagic, frame::kMagicText, sizeof frame::kMagicText) == 0
           && frame::GetU16Le(reply + frame::kCommand) == MSG_ONLINE_LIST_ANSWER;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!g_server) {
        g_server = StartFuzzServer("[Layout]\nitem1=1 2 10 0\nitem2=2 1 3\nitem3=1 3 100\n");
        g_server->m_pmsType = kPmsFoxhis;
        g_invariants = std::make_unique<FuzzInvariants>(*g_server, AnswersOnlineListRequest);
        g_invariants->Check();
    }
    const size_t length = size < kFrameBufferSize ? size : kFrameBufferSize;
    std::memcpy(g_server->m_recvBuf, data, length);
    g_server->HandleDatagram(static_cast<int>(length), 0x7F000001, 40001);
    g_invariants->Check();
    return 0;
}
