#pragma once
// Workstation request frame -> CMsg.
#include <cstddef>
#include <cstdint>

class CMsg;

// Reads the request of length bytes at frame into msg. The header fields
// (code, tag, answer-wanted flag, building, floor, room) are copied in every
// case; the payload only for an accepted code, whose fields the code names
// (the others keep what msg held). Bytes a field needs beyond the datagram
// read as 0. Returns whether the code is one the server accepts.
bool ParseClientFrame(const uint8_t *frame, size_t length, CMsg &msg);

// Whether ParseClientFrame accepts the request code.
bool IsAcceptedClientRequest(uint16_t code);
