// A workstation datagram of any content into the dispatcher's one reused
// request message.
#include "protocol/client_frame_parse.h"
#include "protocol/msg.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static CMsg request;
    const bool accepted = ParseClientFrame(data, size, request);
    if (request.m_user.size() > 50 || request.m_password.size() > 50)
        std::abort();
    if (accepted != IsAcceptedClientRequest(static_cast<uint16_t>(request.m_type)))
        std::abort();
    return 0;
}
