#include "protocol/crc.h"
#include "protocol/device_com_ctrl.h"
#include "protocol/frame_header.h"

#include <gtest/gtest.h>

#include <vector>

TEST(FrameCrc, IsCrc16Modbus)
{
    const char check[] = "123456789";
    EXPECT_EQ(Crc16Modbus(reinterpret_cast<const uint8_t *>(check), 9), 0x4B37);
    EXPECT_EQ(Crc16Modbus(nullptr, 0), 0xFFFF);
}

TEST(FrameCrc, RoomStateSubRecords)
{
    struct Case {
        uint8_t state;
        std::vector<uint8_t> record;
    };
    const Case cases[] = {
        {2, {0x04, 0x02, 0x82, 0xB1}},
        {0, {0x04, 0x00, 0x03, 0x70}},
    };
    for (const Case &c : cases) {
        uint8_t record[4] = {4, c.state, 0xEE, 0xEE};
        CalcFrameCRC16(record);
        EXPECT_EQ(std::vector<uint8_t>(record, record + 4), c.record) << int(c.state);

        CDeviceComCtrl command;
        command.SetRoomStateRecord(c.state);
        EXPECT_EQ(std::vector<uint8_t>(command.m_roomStateRecord, command.m_roomStateRecord + 4), c.record);
    }
}

TEST(FrameCrc, CoversBytesBeforeTheCrcOnly)
{
    // The 8-byte set-top-box record: bytes 0..5 are summed into bytes 6..7,
    // the byte after the record is not touched.
    uint8_t record[9] = {8, 0xFF, 3, 0, 0, 7, 0, 0, 0x5A};
    CalcFrameCRC16(record);
    const uint16_t crc = Crc16Modbus(record, 6);
    EXPECT_EQ(record[6], crc & 0xFF);
    EXPECT_EQ(record[7], crc >> 8);
    EXPECT_EQ(record[8], 0x5A);
}

TEST(FrameCrc, TooShortRecordsAndFramesAreLeftAlone)
{
    for (uint8_t length : {0, 1, 2}) {
        uint8_t bytes[4] = {length, length, 0x11, 0x22};
        CalcFrameCRC16(bytes);
        CalcFrameSum16(bytes);
        EXPECT_EQ(bytes[0], length);
        EXPECT_EQ(bytes[1], length);
        EXPECT_EQ(bytes[2], 0x11);
        EXPECT_EQ(bytes[3], 0x22);
    }
}

TEST(FrameSum, SumsEveryByteBeforeTheCheckBytesModulo65536)
{
    std::vector<uint8_t> frame(255, 0xFF);
    frame[1] = 255;
    CalcFrameSum16(frame.data());
    // 253 bytes: 252 x 0xFF plus the length byte 0xFF.
    const unsigned sum = (253u * 0xFF) & 0xFFFF;
    EXPECT_EQ(frame[253], sum & 0xFF);
    EXPECT_EQ(frame[254], sum >> 8);
}

TEST(Bcd, HighNibbleTimesTenPlusLowNibble)
{
    const std::pair<uint8_t, uint8_t> cases[] = {{0x00, 0}, {0x09, 9}, {0x10, 10}, {0x59, 59}, {0x99, 99}, {0xFF, 165}};
    for (const auto &[bcd, value] : cases)
        EXPECT_EQ(BcdToBin(bcd), value) << int(bcd);
}
