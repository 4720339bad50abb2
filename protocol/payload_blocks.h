#pragma once
// The small fixed payloads that messages and command records carry between a
// workstation frame and an RCU frame. On the wire each is its fields in order,
// little-endian, with no gaps.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "protocol/frame_header.h"

// A u32 then one byte (light control, light scene): 5 bytes.
struct stValueAndByte {
    static constexpr size_t kWireSize = 5;
    uint32_t value = 0;
    uint8_t extra = 0;

    void WriteTo(uint8_t *out) const
    {
        frame::PutU32Le(out, value);
        out[4] = extra;
    }
    void ReadFrom(const uint8_t *in)
    {
        value = frame::GetU32Le(in);
        extra = in[4];
    }
};

// 40 bytes then one byte (preset): 41 bytes.
struct stPresetBlock {
    static constexpr size_t kBlockSize = 40;
    static constexpr size_t kWireSize = kBlockSize + 1;
    uint8_t block[kBlockSize] = {};
    uint8_t extra = 0;

    void WriteTo(uint8_t *out) const
    {
        std::memcpy(out, block, kBlockSize);
        out[kBlockSize] = extra;
    }
    void ReadFrom(const uint8_t *in)
    {
        std::memcpy(block, in, kBlockSize);
        extra = in[kBlockSize];
    }
};

// 8 bytes then one byte (the room unit's time answer, reply 0x88): 9 bytes.
struct stTimeAnswer {
    static constexpr size_t kWireSize = 9;
    uint8_t time[8] = {};
    uint8_t extra = 0;

    void WriteTo(uint8_t *out) const
    {
        std::memcpy(out, time, sizeof time);
        out[8] = extra;
    }
};

// Three 8-byte values then a u16: 26 bytes (code 0x03 both ways; no operation
// of the server sends it).
struct stBlock26 {
    static constexpr size_t kWireSize = 26;
    uint64_t values[3] = {};
    uint16_t tail = 0;

    void WriteTo(uint8_t *out) const
    {
        for (int i = 0; i < 3; ++i)
            frame::PutU64Le(out + 8 * i, values[i]);
        frame::PutU16Le(out + 24, tail);
    }
};

constexpr size_t kParamBlockSize = 40;
