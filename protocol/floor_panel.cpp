// Call masks of the floor call panels: one bit per room 1..32 of a floor, a
// set bit an active emergency call. Each room whose call state changed gets
// its event row and live-room column and is marked for the monitor.
#include "console/kelvor_dlg.h"

#include "protocol/event_types.h"
#include "protocol/frame_codes.h"
#include "protocol/frame_header.h"

namespace {

constexpr size_t kMaskOffset = 26;
constexpr int kPanelRooms = 32;
constexpr int kCallChangeCode = 2;

} // namespace

void CKelvorDlg::OnPanelCallMask(int64_t now, int build, int floor, int, int code)
{
    if (code != PANEL_CALL_MASK && code != PANEL_CALL_MASK_2)
        return;
    // Mask bytes past a short datagram read as 0 (the dispatcher zeroes them).
    const uint32_t mask = frame::GetU32Le(m_recvBuf + kMaskOffset);
    for (int roomNum = 1; roomNum <= kPanelRooms; ++roomNum) {
        CRoom *room = m_hotel.FindRoom(build, floor, roomNum);
        if (!room)
            continue;
        const int call = (mask >> (roomNum - 1)) & 1;
        if (!room->m_online)
            room->m_online = 1;
        // The panel has no card: its rows carry card number and type 0.
        int changeCode = 0;
        if (room->m_call != call) {
            ExecDispatchSql(FormatEventRow(m_dispatchSql, sizeof m_dispatchSql, build, floor, roomNum,
                                           call ? EventKind::EmergencyCall : EventKind::EmergencyCallCleared, 0, 0));
            ExecDispatchSql(FormatLiveRoomUpdate(m_dispatchSql, sizeof m_dispatchSql, LiveRoomColumn::Call, call,
                                                 build, floor, roomNum));
            m_newEvent = 1;
            room->m_call = call;
            room->m_callTime = now;
            room->m_changed = 1;
            changeCode = kCallChangeCode;
        }
        room->m_lastHeard = now;
        // A room still marked from before logs code 0: nothing changed in it now.
        if (room->m_changed == 1) {
            LogRoomChanged(build, floor, roomNum, changeCode);
        }
    }
}
