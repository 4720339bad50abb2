// Room unit status reports: the full form (0x84) and the short form (0x81).
// Both compare the report with the room record field by field, from the
// tables of status_report_fields.cpp; every changed event state writes its
// event row and live-room column, and the room is marked for the monitor.
#include "console/kelvor_dlg.h"

#include "protocol/frame_header.h"
#include "protocol/rcu_reports.h"
#include "protocol/status_report_fields.h"

using status_report::EventField;
using status_report::ReportLayout;
using status_report::StoredField;

namespace {

// What the temperatures of the present units say of the allowed range.
enum class UnitReading { Absent, InRange, OutOfRange };

} // namespace

void CKelvorDlg::OnRcuStatusReport(int64_t now, CRoom *room, int code)
{
    const ReportLayout &layout = code == RCU_STATUS_SHORT ? status_report::ShortReport() : status_report::FullReport();
    // The dispatcher zeroes the buffer past the datagram, so a report
    // shorter than its layout reads its missing bytes as 0.
    if (!room)
        return;
    const uint8_t *report = m_recvBuf;
    const uint8_t cardType = report[layout.cardTypeOffset];
    const auto cardNumber = static_cast<int32_t>(frame::GetU32Le(report + layout.cardNumberOffset));
    const int build = room->m_buildNum, floor = room->m_floorNum, roomNum = room->m_roomNum;

    int changeCode = 0;
    if (!room->m_online) {
        room->m_online = 1;
        // A short report alone does not push the room; the full one does.
        if (code != RCU_STATUS_SHORT)
            room->m_changed = 1;
    }

    for (const EventField &field : status_report::EventFields()) {
        const int offset = field.Offset(layout);
        if (offset == 0)
            continue;
        const uint8_t byte = report[offset];
        if (room->*field.value == byte)
            continue;
        ExecDispatchSql(FormatEventRow(m_dispatchSql, sizeof m_dispatchSql, build, floor, roomNum,
                                       status_report::EventFor(field, layout, byte, cardType), cardNumber, cardType));
        if (field.hasColumn)
            ExecDispatchSql(FormatLiveRoomUpdate(m_dispatchSql, sizeof m_dispatchSql, field.column,
                                                 status_report::ColumnValue(field, layout, byte, cardType), build,
                                                 floor, roomNum));
        m_newEvent = 1;
        room->*field.value = byte;
        room->*field.changeTime = now;
        changeCode = field.changeCode;
        room->m_changed = 1;
    }

    // One latch for both units: it holds while any present unit is out of
    // range, so a second unit in range does not clear what the first raised.
    UnitReading reading = UnitReading::Absent;
    for (const auto &unit : layout.units) {
        if (report[unit.presentOffset] != 1)
            continue;
        const int temp = report[unit.tempOffset];
        if (temp < m_rangeLow || temp > m_rangeHigh)
            reading = UnitReading::OutOfRange;
        else if (reading == UnitReading::Absent)
            reading = UnitReading::InRange;
    }
    if (reading == UnitReading::InRange && room->m_rangeAlarm == 1) {
        room->m_rangeAlarm = 0;
        room->m_changed = 1;
    } else if (reading == UnitReading::OutOfRange && room->m_rangeAlarm == 0) {
        ExecDispatchSql(FormatEventRow(m_dispatchSql, sizeof m_dispatchSql, build, floor, roomNum,
                                       EventKind::TemperatureAlarm, cardNumber, cardType));
        m_newEvent = 1;
        room->m_rangeAlarm = 1;
        room->m_changed = 1;
    }

    bool unitChanged[2] = {false, false};
    for (const StoredField &field : layout.stored) {
        const uint32_t value = status_report::ReadField(report + field.offset, field.width);
        uint32_t &stored = field.field(*room);
        if (stored == value)
            continue;
        stored = value;
        room->m_changed = 1;
        if (field.kind == StoredField::Kind::Plain)
            continue;
        unitChanged[field.slot] = true;
        room->m_fanCoilChanged = 1;
        if (field.kind == StoredField::Kind::Presence && value == 1) {
            stFanCoilUnit &slot = room->m_fanCoils[field.slot];
            slot.unitId = layout.units[static_cast<size_t>(field.slot)].fengjiId;
            slot.tempSensor = 1;
        }
    }

    room->m_lastHeard = now;
    if (room->m_changed == 1)
        LogRoomChanged(build, floor, roomNum, changeCode);

    for (const auto &unit : layout.units) {
        if (!unitChanged[unit.slot])
            continue;
        ExecDispatchSql(FormatFanCoilHistoryRow(m_dispatchSql, sizeof m_dispatchSql, build, floor, roomNum,
                                                room->m_fanCoils[unit.slot], room->m_online, unit.fengjiId));
    }
}
