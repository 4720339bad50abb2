#pragma once
// Server -> workstation reply frames, written from a CMsg.
#include <cstddef>
#include <cstdint>
#include <string_view>

class CMsg;

// What reply 0x8E lists: the online clients in list order, each with its user
// name and its dotted IPv4 address.
struct OnlineClientEntry {
    std::string_view userName;
    std::string_view peerAddress;
};

class OnlineClientList {
public:
    virtual ~OnlineClientList() = default;
    virtual size_t Count() const = 0;
    virtual OnlineClientEntry At(size_t index) const = 0;
};

// What the builder reads outside the message.
struct ClientFrameContext {
    const OnlineClientList *clients = nullptr; // none: an empty list
};

// Writes the reply for msg.m_type into frame (size bytes) and returns the
// total length of the whole reply, header and complete payload, also when
// the length field says less:
// - every code but 0x81: the length field holds at most 1450; the caller
//   sends the returned length;
// - 0x81 longer than 1450: the first call (secondPart false) gives the 1450
//   bytes of the first datagram with byte 14 = 1; the second call (secondPart
//   true) gives the continuation, the first (result - 1428) bytes.
// Bytes 18..21 are left as the buffer holds them. A layout list (0x81) is cut
// after the last item that fits in two datagrams and an online list (0x8E)
// after the last client that fits the buffer, the count line saying how
// many follow. A reply that does not fit otherwise is not built: the result
// is then 0 and nothing is to be sent.
uint16_t BuildClientFrame(uint8_t *frame, size_t size, const CMsg &msg, bool secondPart,
                          const ClientFrameContext &context = {});
