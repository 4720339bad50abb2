#pragma once
// The codes of the room unit reports.
#include <cstdint>

enum RcuReportCode : uint16_t {
    RCU_STATUS_SHORT = 0x0081,
    RCU_STATUS_FULL = 0x0084,
    // The answers to RCU_TIME_QUERY (0x0007) and RCU_READ_PARAMS (0x001E)
    // come back under the command's own code.
    RCU_HEARTBEAT = 0x0082,
    RCU_DEVICE_TABLE = 0x0083,
    RCU_IDENT = 0x008A,
    RCU_LOCK_RECORD = 0x0090,
    RCU_FAN_UNIT = 0x0606,
    RCU_METER_DATA = 0x0616, // also the code of the meter-test command
};
