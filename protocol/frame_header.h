#pragma once
// The 22-byte header that starts every binary datagram on the server's UDP
// port, for room units, the floor call panel and the workstations alike, and
// the little helpers that read and write its fields.
#include <cstddef>
#include <cstdint>

namespace frame {

constexpr size_t kHeaderSize = 22;
// Every frame is built in the main window's send buffer.
constexpr size_t kSendBufferSize = 3000;
// RCU frames carry their length in one byte.
constexpr size_t kRcuFrameMax = 255;
constexpr size_t kRcuCheckSize = 2;
// Workstation replies longer than this go out in two datagrams (reply 0x81)
// or with this value in the length field (every other code).
constexpr size_t kClientSplitLength = 1450;
// The second datagram of a split reply repeats the header, so the longest
// reply that still splits into two datagrams of at most 1450 bytes.
constexpr size_t kClientSplitMax = 2 * kClientSplitLength - kHeaderSize;

// Byte offsets from the start of the datagram.
enum Offset : size_t {
    kLength = 0,        // workstation: big-endian u16; RCU: 0xFF, then the length byte
    kMagic = 2,         // "ZOLP"
    kReceiverKind = 6,
    kSenderKind = 7,
    kTag = 8,           // u16 little-endian: request tag or command sequence
    kHeaderWord = 10,   // u32 little-endian
    kControl = 14,
    kCommand = 15,      // u16: little-endian from workstations, big-endian for RCUs and panels
    kAnswerWanted = 17,
    kBuilding = 18,
    kFloor = 19,
    kRoom = 20,
    kByte21 = 21,
    kPayload = 22,
};

enum Kind : uint8_t {
    kKindRcu = 0,
    kKindServer = 1,
    kKindClient = 2,
    kKindPanel = 6,
};

constexpr uint8_t kRcuStartByte = 0xFF;
constexpr char kMagicText[4] = {'Z', 'O', 'L', 'P'};

inline void PutU16Le(uint8_t *p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline void PutU16Be(uint8_t *p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

inline void PutU32Le(uint8_t *p, uint32_t v)
{
    PutU16Le(p, static_cast<uint16_t>(v));
    PutU16Le(p + 2, static_cast<uint16_t>(v >> 16));
}

inline void PutU64Le(uint8_t *p, uint64_t v)
{
    PutU32Le(p, static_cast<uint32_t>(v));
    PutU32Le(p + 4, static_cast<uint32_t>(v >> 32));
}

inline uint16_t GetU16Le(const uint8_t *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint16_t GetU16Be(const uint8_t *p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t GetU32Le(const uint8_t *p) { return GetU16Le(p) | (static_cast<uint32_t>(GetU16Le(p + 2)) << 16); }
inline uint64_t GetU64Le(const uint8_t *p) { return GetU32Le(p) | (static_cast<uint64_t>(GetU32Le(p + 4)) << 32); }

inline void PutMagic(uint8_t *frame)
{
    for (size_t i = 0; i < sizeof kMagicText; ++i)
        frame[kMagic + i] = static_cast<uint8_t>(kMagicText[i]);
}

} // namespace frame

// One BCD byte to binary: high nibble times ten plus low nibble. Nibbles above
// 9 are not rejected (0xFF gives 165), as the door-lock records expect.
inline uint8_t BcdToBin(uint8_t v) { return static_cast<uint8_t>((v >> 4) * 10 + (v & 0x0F)); }
