#pragma once
// The values of the parameters dialog and where its OK puts them: the
// server's live members, the profile and system options 16 to 19.
#include <cstdint>

class CKelvorDlg;

struct ParameterValues {
    uint32_t rcuBroadcastIp = 0;
    int broadcastInterval = 0; // 3 .. 2000, checked by the dialog
    int pmsType = -1;          // the list's index; -1 with nothing selected
    int hmsPort = 0;
    uint32_t hmsIp = 0;
    int hmsIpAuto = 0;
    // The switches of options 16 (emergency call clear), 18 (service
    // request clear), 17 (checkout clear) and 19 (power control), 1 = on.
    int optionSwitches[4] = {};
};

// The option codes of ParameterValues::optionSwitches, in writing order.
inline constexpr int kParameterOptionCodes[4] = {16, 18, 17, 19};

// The members and profile first, then the four options, each of which
// reports its own failure to the operator.
void ApplyParameters(CKelvorDlg &server, const ParameterValues &values);
