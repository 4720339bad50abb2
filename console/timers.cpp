// The four timers of the main window: once a second the online clients and
// alarm options, the room-unit poll, the time broadcast and the rewind of the
// hotel's room walk.
#include "console/kelvor_dlg.h"

#include "platform/decimal_text.h"
#include "protocol/device_com_ctrl.h"
#include "protocol/crc.h"
#include "protocol/frame_codes.h"
#include "protocol/udp_socket.h"

#include <ctime>

void CKelvorDlg::OnTimer(int id)
{
    switch (id) {
    case 0:
        ReportKernelDrops();
        ExpireOnlineClients(Now());
        LoadAlarmOptions();
        emit StatusChanged();
        break;
    case 1:
        BroadcastPoll();
        break;
    case 2:
        BroadcastTime();
        break;
    case 3:
        m_hotel.GetFirstRoom();
        break;
    default:
        break;
    }
}

void CKelvorDlg::LoadAlarmOptions()
{
    if (!m_db.IsOpen())
        return;
    m_rangeLow = platform::LeadingDecimal(GetSysOption14(nullptr));
    m_rangeHigh = platform::LeadingDecimal(GetSysOption15(nullptr));
    m_doorAlarmDelay = platform::LeadingDecimal(GetSysOption13(nullptr));
}

namespace {

// A command for every room unit (building, floor and room 255).
CDeviceComCtrl BroadcastCommand(uint32_t command)
{
    CDeviceComCtrl cmd;
    cmd.AddressUnsequenced(command, 255, 255, 255);
    return cmd;
}

} // namespace

void CKelvorDlg::BroadcastPoll()
{
    const CDeviceComCtrl cmd = BroadcastCommand(RCU_POLL);
    SendToRcuBroadcast(cmd.BuildFrame(m_sendBuf, sizeof m_sendBuf));
}

void CKelvorDlg::BroadcastTime()
{
    uint8_t record[12] = {12};
    const time_t now = static_cast<time_t>(Now());
    struct tm local {};
    if (localtime_r(&now, &local)) {
        record[1] = static_cast<uint8_t>(local.tm_sec);
        record[2] = static_cast<uint8_t>(local.tm_min);
        record[3] = static_cast<uint8_t>(local.tm_hour);
        record[4] = static_cast<uint8_t>(local.tm_mday);
        record[6] = static_cast<uint8_t>(local.tm_mon + 1);
        record[7] = static_cast<uint8_t>(local.tm_year + 1900 - 2000);
    } else {
        record[1] = record[2] = record[3] = 0xFF;
        record[7] = 0x30;
    }
    CalcFrameCRC16(record);
    const CDeviceComCtrl cmd = BroadcastCommand(RCU_SET_TIME);
    SendToRcuBroadcast(cmd.BuildFrame(m_sendBuf, sizeof m_sendBuf, record, sizeof record));
}
