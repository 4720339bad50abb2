#pragma once
// The workstation user's record as it travels in the login answer (reply
// 0x82): 173 bytes, filled from user_password and user_group at login.
#include <cstddef>
#include <cstdint>

struct stUserInfo {
    static constexpr size_t kTextSize = 51; // at most 50 characters and the NUL
    static constexpr size_t kRightCount = 12;
    static constexpr size_t kWireSize = 4 + 3 * kTextSize + 4 + kRightCount;

    int32_t USER_ID = 0;
    char userName[kTextSize] = {};
    char password[kTextSize] = {};
    char REG_TIME[kTextSize] = {};
    uint8_t BUILD_NUM = 0;
    uint8_t FLOOR_NUM = 0;
    uint8_t USER_TYPE = 0;
    uint8_t GROUP_ID = 0; // 0 = all rights
    // In the order of kUserRightColumns.
    uint8_t rights[kRightCount] = {};

    // The wire form, kWireSize bytes, USER_ID little-endian.
    void WriteTo(uint8_t *out) const;
};
static_assert(stUserInfo::kWireSize == 173);

// The user_group columns that hold the rights, in record order.
extern const char *const kUserRightColumns[stUserInfo::kRightCount];
