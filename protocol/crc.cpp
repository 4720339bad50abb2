#include "protocol/crc.h"

uint16_t Crc16Modbus(const uint8_t *data, size_t size)
{
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    }
    return crc;
}

void CalcFrameCRC16(uint8_t *record)
{
    const size_t length = record[0];
    if (length < 3)
        return;
    const size_t n = length - 2;
    const uint16_t crc = Crc16Modbus(record, n);
    record[n] = static_cast<uint8_t>(crc);
    record[n + 1] = static_cast<uint8_t>(crc >> 8);
}

void CalcFrameSum16(uint8_t *frame)
{
    const size_t length = frame[1];
    if (length < 3)
        return;
    uint16_t sum = 0;
    for (size_t i = 0; i < length - 2; ++i)
        sum = static_cast<uint16_t>(sum + frame[i]);
    frame[length - 2] = static_cast<uint8_t>(sum);
    frame[length - 1] = static_cast<uint8_t>(sum >> 8);
}
