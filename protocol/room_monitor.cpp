// The room monitor, run from the idle hook while the database is open. The
// reports only change room records and write event rows; this pass turns
// those changes into pushes to the logged-in workstations, and watches the
// time: silent room units, doors left open, the temperature range and the
// room states the PMS poller found.
#include "console/kelvor_dlg.h"

#include "platform/decimal_text.h"
#include "protocol/event_row.h"
#include "protocol/frame_codes.h"
#include "protocol/room_monitor.h"

#include <algorithm>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int64_t kOfflineAfter = 2000; // seconds without a datagram

// The event of a polled PMS state; false for a state that writes no row.
bool PmsStateEvent(int pmsType, int32_t state, EventKind &kind)
{
    static constexpr EventKind kZhongruan[] = {EventKind::ZhongruanCheckOut, EventKind::ZhongruanCheckIn,
                                               EventKind::ZhongruanReserved, EventKind::ZhongruanRepair};
    static constexpr EventKind kQianlima[] = {EventKind::QianlimaCheckOut, EventKind::QianlimaCheckIn,
                                              EventKind::QianlimaReserved, EventKind::QianlimaRepair};
    if (state < 0 || state > 3)
        return false;
    kind = (pmsType == kPmsZhongruan ? kZhongruan : kQianlima)[state];
    return true;
}

} // namespace

void CKelvorDlg::PushToLoggedInClients(const CMsg &msg)
{
    // A hotel whose workstations are all away builds no frames for a storm.
    if (std::none_of(m_clients.begin(), m_clients.end(), [](const auto &client) { return client->m_loggedIn == 1; }))
        return;
    const int length = BuildClientFrame(m_sendBuf, msg, false);
    if (length <= 0)
        return;
    for (const auto &client : m_clients)
        if (client->m_loggedIn == 1)
            SendUdp(length, client->m_peerPort, client->m_peerAddress.c_str());
}

// Every pass looks at every room: offline, PMS change, temperature range
// and door. Changed rooms are pushed as the pace allows, the walk starting
// at the room after the last one pushed, so none waits behind the others;
// a room changed by its own checks is pushed in a later pass.
void CKelvorDlg::ScanRooms()
{
    if (!m_monitor)
        m_monitor = std::make_unique<RoomMonitorStorage>(&m_db);
    // A pass that comes before start-up has built the hotel finds no rooms.
    if (m_monitor->rooms.empty()) {
        CHotel::RoomWalker walk(m_hotel);
        for (CRoom *room = walk.First(); room; room = walk.Next())
            m_monitor->rooms.push_back(room);
    }
    const int64_t now = Now();
    const std::vector<CRoom *> &rooms = m_monitor->rooms;
    const size_t count = rooms.size();
    const bool polledPms = IsPolledPmsType(m_pmsType);
    const int allowance = m_monitor->pace.Allowance(RoomPushPace::Clock::now());
    int pushes = 0;
    size_t lastPushed = 0;
    bool stillChanged = false;
    for (size_t step = 0, at = m_monitor->walkStart; step < count; ++step, at = at + 1 == count ? 0 : at + 1) {
        CRoom &room = *rooms[at];
        if (room.m_changed == 1 && pushes < allowance) {
            room.m_changed = 0;
            CMsg &msg = *GetScratchMsg();
            msg.m_type = MSG_ROOM_STATE;
            msg.m_room = room;
            PushToLoggedInClients(msg);
            ++pushes;
            lastPushed = at;
        }
        if (room.m_online == 1 && now - room.m_lastHeard > kOfflineAfter) {
            room.m_online = 0;
            room.m_changed = 1;
        }
        if (polledPms)
            HandlePolledPmsChange(room);
        const bool outOfRange = room.m_fanCoils.AnyPresentOutside(m_rangeLow, m_rangeHigh);
        if (outOfRange ? room.m_rangeAlarm == 0 : room.m_rangeAlarm == 1) {
            room.m_rangeAlarm = outOfRange ? 1 : 0;
            room.m_changed = 1;
        }
        CheckDoorAlarm(room, now);
        stillChanged = stillChanged || room.m_changed == 1;
    }
    if (pushes > 0) {
        m_monitor->pace.Spend(pushes);
        m_monitor->walkStart = lastPushed + 1 == count ? 0 : lastPushed + 1;
    }
    PushNewEvents();
    if (stillChanged && !m_monitorPassTimer.isActive())
        m_monitorPassTimer.start();
}

// Event rows of the PMS step do not set the new-event flag: they reach the
// workstations with the next push another event triggers.
void CKelvorDlg::HandlePolledPmsChange(CRoom &room)
{
    int32_t state = 0;
    if (!room.TakePolledPmsChange(state))
        return;
    std::snprintf(m_logText, sizeof m_logText,
                  m_pmsType == kPmsZhongruan ? "<中软> 客房状态改变 ROOM:%d|%s (%d->%d)" : "<千里马> 客房状态改变 ROOM:%d|%s (%d->%d)",
                  room.m_buildNum, room.GetDisplayName().c_str(), room.m_rcuStatus, state);
    AddLog(m_logText);
    EventKind kind;
    if (PmsStateEvent(m_pmsType, state, kind) &&
        !WriteEventRow(m_monitor->recordset, room.m_buildNum, room.m_floorNum, room.m_roomNum, kind, 0, 1))
        ReportFailedStatement(m_monitor->recordset);

    CDeviceComCtrl &command = m_monitor->command;
    command.AddressUnsequenced(RCU_ROOM_STATE, static_cast<uint32_t>(room.m_buildNum),
                               static_cast<uint32_t>(room.m_floorNum), static_cast<uint32_t>(room.m_roomNum));
    command.SetRoomStateRecord(static_cast<uint8_t>(state));
    const int length = command.BuildFrame(m_sendBuf, sizeof m_sendBuf);
    if (length > 0)
        SendUdp(length, RcuPort(), room.GetIPString().c_str());
}

void CKelvorDlg::CheckDoorAlarm(CRoom &room, int64_t now)
{
    if (room.m_doorOpen != 0) {
        if (now - room.m_doorTime > m_doorAlarmDelay && room.m_doorAlarm == 0) {
            room.m_doorAlarm = 1;
            room.m_changed = 1;
            if (!WriteEventRow(m_monitor->recordset, room.m_buildNum, room.m_floorNum, room.m_roomNum,
                               EventKind::DoorAlarm, 0, 0))
                ReportFailedStatement(m_monitor->recordset);
            m_newEvent = 1;
        }
    } else if (room.m_doorAlarm == 1) {
        room.m_doorAlarm = 0;
        room.m_changed = 1;
    }
}

// The rows above the last index pushed, in the order the database returns
// them. A failing query means the connection is gone: it is closed, and the
// server handles nothing more until the operator opens it again.
void CKelvorDlg::PushNewEvents()
{
    if (m_newEvent != 1)
        return;
    m_newEvent = 0;
    // Workstations hear only of rows that are committed: the open batch holds
    // the rows of this pass, and a lost one takes them with it (the loss
    // reporter has put the last index back).
    if (!m_db.CommitBatch())
        return;
    CADOMyRecordset &rs = m_monitor->recordset;
    char sql[96];
    std::snprintf(sql, sizeof sql, "select * from event_msg_list\r\nwhere\r\nMSG_INDEX > %" PRIu64, m_lastEventIndex);
    if (!rs.Exec(sql)) {
        rs.Close();
        m_db.Close();
        return;
    }
    CMyEvent &event = m_monitor->event;
    while (m_db.IsOpen() && rs.IsOpen() && !rs.IsEof()) {
        event.m_msgType = platform::LeadingDecimal(rs.GetFieldString("MSG_TYPE"));
        event.m_note = rs.GetFieldString("MSG_NOTE");
        event.m_title = rs.GetFieldString("MSG_TITLE");
        event.m_buildNum = platform::LeadingDecimal(rs.GetFieldString("BUILD_NUM"));
        event.m_floorNum = platform::LeadingDecimal(rs.GetFieldString("FLOOR_NUM"));
        event.m_roomNum = platform::LeadingDecimal(rs.GetFieldString("ROOM_NUM"));
        event.m_unitNum = platform::LeadingDecimal(rs.GetFieldString("UNIT_NUM"));
        event.m_msgIndex = std::strtoull(rs.GetFieldString("MSG_INDEX").c_str(), nullptr, 10);
        m_lastEventIndex = event.m_msgIndex;
        event.m_time = Now();
        CMsg &msg = *GetScratchMsg();
        msg.m_type = MSG_EVENT;
        msg.m_event = event;
        PushToLoggedInClients(msg);
        rs.MoveNext();
    }
    rs.Close();
}
