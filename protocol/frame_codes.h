#pragma once
// Command codes of the frames: workstation requests and replies, the
// commands the server sends to room units and the floor call panels' mask.
#include <cstdint>

enum ClientRequestCode : uint16_t {
    MSG_FAN_CONTROL = 0x01,
    MSG_LOGIN = 0x02,
    MSG_FAN_SEASON = 0x03,
    MSG_KEEPALIVE = 0x04,
    MSG_TIME_QUERY = 0x08,
    MSG_LOGOUT = 0x09,
    MSG_CANCEL_CLEAN = 0x0A,
    MSG_CANCEL_DND = 0x0B,
    MSG_CANCEL_LAUNDRY = 0x0C,
    MSG_CANCEL_CHECKOUT = 0x0D,
    MSG_ROOM_STATE_CTRL = 0x0E,
    MSG_QUERY_DEVICE = 0x0F,
    MSG_RESET_DEVICE = 0x10,
    MSG_ONLINE_LIST = 0x11,
    MSG_CANCEL_CALL = 0x12,
    MSG_LIGHT_CONTROL = 0x13,
    MSG_POWER_CONTROL = 0x14,
    MSG_UNHANDLED_1E = 0x1E, // accepted, then ignored
    MSG_ROOM_QUERY = 0x21,
    MSG_READ_PARAMS = 0x22,
    MSG_ENERGY_MODE = 0x23,
    MSG_VALVE_MODE = 0x24,
    MSG_LIGHT_MODE = 0x25,
    MSG_PRESET = 0x2F,
    MSG_OPEN_DOOR = 0x30,
    MSG_VALVE_ENABLE = 0x31,
    MSG_VALVE_DISABLE = 0x32,
    MSG_LIGHT_SCENE = 0x40,
    MSG_BUILD_QUERY = 0x41,
    MSG_HEAT_MODE = 0x43,
};

enum ClientReplyCode : uint16_t {
    MSG_BLOCK26 = 0x03, // no operation of the server sends it
    MSG_HOTEL_INFO = 0x81,
    MSG_LOGIN_OK = 0x82,
    MSG_LOGIN_FAIL = 0x83,
    MSG_KEEPALIVE_ACK = 0x85,
    MSG_ROOM_STATE = 0x87,
    MSG_TIME_ANSWER = 0x88,
    MSG_EVENT = 0x8B,
    MSG_PARAMS_ANSWER = 0x8D,
    MSG_ONLINE_LIST_ANSWER = 0x8E,
    MSG_BUILD_INFO = 0x8F,
};

enum RcuCommandCode : uint16_t {
    RCU_REFRESH = 0x0001,
    RCU_BLOCK26 = 0x0003, // no operation of the server sends it
    RCU_SET_TIME = 0x0004,
    RCU_TIME_QUERY = 0x0007,
    RCU_ROOM_STATE = 0x000C,
    RCU_CANCEL_CLEAN = 0x0010,
    RCU_CANCEL_DND = 0x0011,
    RCU_CANCEL_CHECKOUT = 0x0012,
    RCU_FAN_CONTROL = 0x0014,
    RCU_CANCEL_LAUNDRY = 0x0015,
    RCU_CANCEL_CALL = 0x0019,
    RCU_ROOM_STATE_QUERY = 0x001B,
    RCU_QUERY_DEVICE = 0x001C,
    RCU_RESET_DEVICE = 0x001D,
    RCU_READ_PARAMS = 0x001E,
    RCU_ENERGY_MODE = 0x001F,
    RCU_FAN_SEASON = 0x0020,
    RCU_POLL = 0x0021,
    RCU_VALVE_MODE = 0x0023,
    RCU_LIGHT_CONTROL = 0x0025,
    RCU_LIGHT_MODE = 0x0026,
    RCU_POWER_CONTROL = 0x002A,
    RCU_PRESET = 0x002D,
    RCU_VALUE_2F = 0x002F, // no operation of the server sends it
    RCU_OPEN_DOOR = 0x0040,
    RCU_HEAT_MODE = 0x0043,
    RCU_STB_COMMAND = 0x0050,
    RCU_METER_TEST = 0x0616,
    RCU_VALVE_ENABLE = 0x0617,
    RCU_VALVE_DISABLE = 0x0619,
    RCU_LIGHT_SCENE = 0x8101,
};

enum PanelCode : uint16_t {
    // The panels send their call mask under either code; both mean the same.
    PANEL_CALL_MASK = 0x0091,
    PANEL_CALL_MASK_2 = 0x0092,
};
