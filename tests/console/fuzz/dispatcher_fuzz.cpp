// Arbitrary datagrams through the dispatcher of a server whose hotel is built
// and whose embedded database is open (a copy of the seed in a temp folder),
// with the PMS XML form tried first. No sockets: the bytes go straight into
// the receive buffer, as a socket read would leave them.
#include "tests/support/fuzz_server.h"

#include <cstdint>
#include <cstring>

namespace {

CKelvorDlg *g_server = nullptr;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!g_server) {
        g_server = StartFuzzServer("[Layout]\nitem1=1 2 10 0\nitem2=2 1 3\nitem3=1 3 100\n");
        g_server->m_pmsType = kPmsFoxhis;
    }
    const size_t length = size < kFrameBufferSize ? size : kFrameBufferSize;
    std::memcpy(g_server->m_recvBuf, data, length);
    g_server->HandleDatagram(static_cast<int>(length), 0x7F000001, 40001);
    return 0;
}
