#include "protocol/crc.h"
#include "protocol/device_com_ctrl.h"
#include "protocol/frame_codes.h"
#include "protocol/frame_header.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace {

CDeviceComCtrl Command(uint32_t code)
{
    CDeviceComCtrl c;
    c.m_command = code;
    c.m_sequence = 0x12345;
    c.m_headerWord = 0xFFFFFFFF;
    c.m_buildNum = 1;
    c.m_floorNum = 2;
    c.m_roomNum = 5;
    return c;
}

// Fills every payload field of the record with recognisable bytes.
void FillPayloadFields(CDeviceComCtrl &c)
{
    c.m_fanControl[0] = 0x04030201;
    c.m_fanControl[1] = 0x08070605;
    for (size_t i = 0; i < sizeof c.m_energyBlock; ++i)
        c.m_energyBlock[i] = static_cast<uint8_t>(0x40 + i);
    c.m_seasonMode = 0x20202020;
    c.m_valveMode = 0x23232323;
    c.m_lightMode = 0x26262626;
    c.m_lightControl = {0x25252525, 0x99};
    c.SetRoomStateRecord(2);
    c.m_block26.values[0] = 0x0102030405060708ULL;
    c.m_block26.tail = 0xBEEF;
    c.m_value2F = 0x2F2F2F2F;
    for (size_t i = 0; i < sizeof c.m_preset.block; ++i)
        c.m_preset.block[i] = static_cast<uint8_t>(0x80 + i);
    c.m_preset.extra = 0x77;
}

std::vector<uint8_t> LittleEndian(uint32_t v)
{
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

} // namespace

TEST(RcuFrame, CommandWithoutPayloadIs24BytesWithHeaderAndCheckBytes)
{
    CDeviceComCtrl c = Command(RCU_CANCEL_CLEAN);
    c.m_control = 0x1FF;
    c.m_answerWanted = 1;
    uint8_t frame[frame::kSendBufferSize];
    ASSERT_EQ(c.BuildFrame(frame, sizeof frame), 24);

    const std::vector<uint8_t> header = {0xFF, 0x18, 'Z', 'O', 'L', 'P', 0, 1, 0x45, 0x23, 0xFF, 0xFF, 0xFF,
                                         0xFF, 0xFF, 0x00, 0x10, 1,   1,   2,   5,   1};
    EXPECT_EQ(std::vector<uint8_t>(frame, frame + 22), header);
    const unsigned sum = std::accumulate(frame, frame + 22, 0u) & 0xFFFF;
    EXPECT_EQ(frame[22], sum & 0xFF);
    EXPECT_EQ(frame[23], sum >> 8);
}

TEST(RcuFrame, EveryCommandCodeWithItsPayloadLengthAndSource)
{
    CDeviceComCtrl c = Command(0);
    FillPayloadFields(c);
    const std::vector<uint8_t> timeRecord(12, 0x04);
    const std::vector<uint8_t> stbRecord(8, 0x50);
    const std::vector<uint8_t> scene = {0x12, 0x34, 0x00};
    const std::vector<uint8_t> none;

    std::vector<uint8_t> fan = LittleEndian(c.m_fanControl[0]);
    const std::vector<uint8_t> fan2 = LittleEndian(c.m_fanControl[1]);
    fan.insert(fan.end(), fan2.begin(), fan2.end());
    std::vector<uint8_t> light = LittleEndian(c.m_lightControl.value);
    light.push_back(c.m_lightControl.extra);
    std::vector<uint8_t> preset(c.m_preset.block, c.m_preset.block + 40);
    preset.push_back(c.m_preset.extra);
    std::vector<uint8_t> block26 = {8, 7, 6, 5, 4, 3, 2, 1};
    block26.resize(24, 0);
    block26.push_back(0xEF);
    block26.push_back(0xBE);

    struct Case {
        uint16_t code;
        const std::vector<uint8_t> *callerBytes; // what the sending code passes
        std::vector<uint8_t> payload;            // what the frame carries
    };
    const Case cases[] = {
        {RCU_REFRESH, &none, {}},
        {RCU_BLOCK26, &none, block26},
        {RCU_SET_TIME, &timeRecord, timeRecord},
        {RCU_TIME_QUERY, &none, {}},
        {RCU_ROOM_STATE, &none, {0x04, 0x02, 0x82, 0xB1}},
        {RCU_CANCEL_CLEAN, &none, {}},
        {RCU_CANCEL_DND, &none, {}},
        {RCU_CANCEL_CHECKOUT, &none, {}},
        {RCU_FAN_CONTROL, &none, fan},
        {RCU_CANCEL_LAUNDRY, &none, {}},
        {RCU_CANCEL_CALL, &none, {}},
        {RCU_ROOM_STATE_QUERY, &none, {}},
        {RCU_QUERY_DEVICE, &none, {}},
        {RCU_RESET_DEVICE, &none, {}},
        {RCU_READ_PARAMS, &none, {}},
        {RCU_ENERGY_MODE, &none, std::vector<uint8_t>(c.m_energyBlock, c.m_energyBlock + 40)},
        {RCU_FAN_SEASON, &none, LittleEndian(c.m_seasonMode)},
        {RCU_POLL, &none, {}},
        {RCU_VALVE_MODE, &none, LittleEndian(c.m_valveMode)},
        {RCU_LIGHT_CONTROL, &none, light},
        {RCU_LIGHT_MODE, &none, LittleEndian(c.m_lightMode)},
        {RCU_POWER_CONTROL, &none, {}},
        {RCU_PRESET, &none, preset},
        {RCU_VALUE_2F, &none, LittleEndian(c.m_value2F)},
        {RCU_OPEN_DOOR, &none, {0x97, 0x3A, 0x1E, 0x5C}},
        {RCU_HEAT_MODE, &none, LittleEndian(c.m_seasonMode)},
        {RCU_STB_COMMAND, &stbRecord, stbRecord},
        {RCU_METER_TEST, &none, {}},
        {RCU_VALVE_ENABLE, &none, {}},
        {RCU_VALVE_DISABLE, &none, {}},
        {RCU_LIGHT_SCENE, &scene, scene},
    };
    for (const Case &k : cases) {
        c.m_command = k.code;
        uint8_t frame[frame::kSendBufferSize];
        const auto *data = k.callerBytes->empty() ? nullptr : k.callerBytes->data();
        const uint16_t length = c.BuildFrame(frame, sizeof frame, data, static_cast<int>(k.callerBytes->size()));
        ASSERT_EQ(length, 22 + k.payload.size() + 2) << std::hex << k.code;
        EXPECT_EQ(frame[1], length);
        EXPECT_EQ(frame::GetU16Be(frame + 15), k.code);
        EXPECT_EQ(std::vector<uint8_t>(frame + 22, frame + 22 + k.payload.size()), k.payload) << std::hex << k.code;
        const unsigned sum = std::accumulate(frame, frame + length - 2, 0u) & 0xFFFF;
        EXPECT_EQ(frame::GetU16Le(frame + length - 2), sum) << std::hex << k.code;
    }
}

TEST(RcuFrame, RecordPayloadsIgnoreTheCallersBytes)
{
    CDeviceComCtrl c = Command(RCU_OPEN_DOOR);
    const uint8_t junk[40] = {1, 2, 3};
    uint8_t frame[frame::kSendBufferSize];
    EXPECT_EQ(c.BuildFrame(frame, sizeof frame, junk, sizeof junk), 28);
    EXPECT_EQ(frame::GetU32Le(frame + 22), 0x5C1E3A97u);
    // Codes outside the fixed set with a negative length carry nothing.
    c.m_command = RCU_LIGHT_SCENE;
    EXPECT_EQ(c.BuildFrame(frame, sizeof frame, junk, -5), 24);
}

TEST(RcuFrame, NeverWritesPastTheBufferOrThe255ByteLimit)
{
    CDeviceComCtrl c = Command(RCU_LIGHT_SCENE);
    std::vector<uint8_t> data(300, 0xAB);
    std::vector<uint8_t> frame(frame::kSendBufferSize, 0x5A);

    EXPECT_EQ(c.BuildFrame(frame.data(), frame.size(), data.data(), 231), 255);
    EXPECT_EQ(frame[254 + 1], 0x5A);
    std::fill(frame.begin(), frame.end(), 0x5A);
    EXPECT_EQ(c.BuildFrame(frame.data(), frame.size(), data.data(), 232), 0);
    EXPECT_EQ(frame[0], 0x5A) << "a refused frame is not written";

    // A buffer smaller than the frame: refused, nothing written.
    c.m_command = RCU_PRESET;
    EXPECT_EQ(c.BuildFrame(frame.data(), 64), 0);
    EXPECT_EQ(c.BuildFrame(frame.data(), 65), 65);
}

TEST(RcuFrame, SequenceAndCommandKeepTheirLow16Bits)
{
    CDeviceComCtrl c = Command(0x10616);
    c.m_sequence = 0xFFFFFFFF;
    uint8_t frame[frame::kSendBufferSize];
    ASSERT_EQ(c.BuildFrame(frame, sizeof frame), 24);
    EXPECT_EQ(frame::GetU16Le(frame + 8), 0xFFFF);
    EXPECT_EQ(frame::GetU16Be(frame + 15), 0x0616);
}
