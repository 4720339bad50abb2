#pragma once
// Check values of RCU frames: the CRC-16/MODBUS that closes each sub-record
// of a command payload, and the 16-bit sum that closes the whole frame.
#include <cstddef>
#include <cstdint>

// CRC-16/MODBUS: reflected polynomial 0xA001, initial value 0xFFFF, no final XOR.
uint16_t Crc16Modbus(const uint8_t *data, size_t size);

// Fills in the last two bytes (CRC low byte first) of the sub-record that
// starts at record, whose byte 0 holds its own length N. A length below 3
// leaves no room for data and CRC; such a record is left as it is.
void CalcFrameCRC16(uint8_t *record);

// Fills in the check bytes (sum low byte first) at L-2 and L-1 of the RCU
// frame whose byte 1 holds its total length L. A length below 3 has no room
// for a summed byte and check bytes; such a frame is left as it is.
void CalcFrameSum16(uint8_t *frame);
