// The other room unit reports and answers: time and parameter answers passed
// on to the workstations waiting for them, heartbeat, identity, device table,
// door-lock records, fan-coil units and meter readings.
#include "protocol/rcu_reports.h"

#include "console/kelvor_dlg.h"
#include "protocol/frame_codes.h"
#include "protocol/frame_header.h"
#include "protocol/statement_forms.h"

#include <cstdio>
#include <cstring>

namespace {

// One report in hand. The dispatcher has zeroed the receive buffer past the
// datagram, so a report shorter than its layout reads its missing bytes as 0.
class RcuReport {
public:
    RcuReport(CKelvorDlg &dlg, CRoom &room, int64_t now) : m_dlg(dlg), m_room(room), m_now(now) {}

    void Heartbeat();
    void Identity();
    void DeviceTable();
    void LockRecord();
    void FanUnit();
    void MeterData();

private:
    uint8_t Byte(size_t offset) const { return m_dlg.m_recvBuf[offset]; }
    int32_t BigEndian32(size_t offset) const
    {
        const uint8_t *p = m_dlg.m_recvBuf + offset;
        return static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]);
    }
    // Formats a statement into the dispatcher's SQL text and runs it.
    void Exec(const char *format, auto... values)
    {
        char *sql = m_dlg.m_dispatchSql;
        const size_t size = sizeof m_dlg.m_dispatchSql;
        const int length = std::snprintf(sql, size, format, values...);
        m_dlg.ExecDispatchSql(length >= 0 && static_cast<size_t>(length) < size ? length : -1);
    }
    void Log(const char *format, auto... values)
    {
        std::snprintf(m_dlg.m_logText, sizeof m_dlg.m_logText, format, m_room.m_buildNum, m_room.m_floorNum,
                      m_room.m_roomNum, values...);
        m_dlg.AddLog(m_dlg.m_logText);
    }
    // Stores value in field when it differs and sets both marks; true then.
    bool CompareFanField(int32_t &field, int32_t value);
    stFanCoilUnit *ChooseFanSlot(int32_t unitId);
    void UpdateUnitType(const stFanCoilUnit &slot);

    CKelvorDlg &m_dlg;
    CRoom &m_room;
    int64_t m_now;
};

void RcuReport::Heartbeat()
{
    m_room.m_lastHeard = m_now;
    if (m_room.m_online == 0) {
        m_room.m_online = 1;
        m_room.m_changed = 1;
    }
}

void RcuReport::Identity()
{
    std::memcpy(m_room.m_rcuIdent, m_dlg.m_recvBuf + 22, sizeof m_room.m_rcuIdent);
    m_room.m_changed = 1;
}

void RcuReport::DeviceTable()
{
    uint8_t *table = m_room.m_deviceTable;
    table[0] = Byte(22);
    for (size_t i = 0; i < 10; ++i) {
        uint8_t *entry = table + 1 + 4 * i;
        const size_t at = 23 + 4 * i;
        // Only a changed first byte counts as the unit being heard.
        if (entry[0] != Byte(at)) {
            entry[0] = Byte(at);
            m_room.m_lastHeard = m_now;
        }
        entry[1] = Byte(at + 1);
        const uint16_t value = frame::GetU16Be(m_dlg.m_recvBuf + at + 2);
        std::memcpy(entry + 2, &value, sizeof value);
    }
    m_room.m_changed = 1;
    Log("%d|%d%02d房间状态改变");
}

void RcuReport::LockRecord()
{
    const auto cardNumber = static_cast<int32_t>(frame::GetU32Le(m_dlg.m_recvBuf + 22));
    const int cardType = Byte(26);
    char time[64];
    std::snprintf(time, sizeof time, "20%02d-%d-%d %d:%d:%d", BcdToBin(Byte(32)), BcdToBin(Byte(33)),
                  BcdToBin(Byte(34)), BcdToBin(Byte(35)), BcdToBin(Byte(36)), BcdToBin(Byte(37)));
    Exec("Insert into lock_log(cardnum, cardtype, time, build, floor, room)"
         "values(%d, %d, '%s',%d, %d, %d)",
         cardNumber, cardType, time, m_room.m_buildNum, m_room.m_floorNum, m_room.m_roomNum);
    Log("%d|%d%02d房间开门 (code:%d)", 100);
}

bool RcuReport::CompareFanField(int32_t &field, int32_t value)
{
    if (field == value)
        return false;
    field = value;
    m_room.m_changed = 1;
    m_room.m_fanCoilChanged = 1;
    return true;
}

// The slot that already holds the unit, else the first free one.
stFanCoilUnit *RcuReport::ChooseFanSlot(int32_t unitId)
{
    stFanCoilUnit *units = m_room.m_fanCoils;
    for (int i = 0; i < CRoom::kFanCoilsInUse; ++i)
        if (units[i].unitId == unitId)
            return &units[i];
    for (int i = 0; i < CRoom::kFanCoilsInUse; ++i)
        if (units[i].unitId == 255)
            return &units[i];
    return nullptr;
}

void RcuReport::FanUnit()
{
    const int32_t unitId = Byte(22);
    stFanCoilUnit *slot = ChooseFanSlot(unitId);
    if (!slot)
        return;
    CompareFanField(slot->curTemp, Byte(26));
    CompareFanField(slot->control, Byte(28));
    CompareFanField(slot->halt, Byte(29));
    CompareFanField(slot->fanSpeed, Byte(27));
    slot->present = 1;
    slot->unitId = unitId;
    slot->tempSensor = 1;
    CompareFanField(slot->seasonMode, Byte(24));
    CompareFanField(slot->setTemp, Byte(25));
    CompareFanField(slot->valveState, Byte(33));
    // Bit 7 of the speed carries the valve state, so the next report's plain
    // speed byte differs from it while the valve is open.
    slot->fanSpeed = slot->valveState != 0 ? slot->fanSpeed | 0x80 : slot->fanSpeed & 0x7F;
    if (CompareFanField(slot->unitType, Byte(31)))
        UpdateUnitType(*slot);
    if (m_room.m_fanCoilChanged == 1) {
        m_room.m_fanCoilChanged = 0;
        m_dlg.ExecDispatchSql(FormatFanCoilUnitRow(m_dlg.m_dispatchSql, sizeof m_dlg.m_dispatchSql,
                                                   m_room.m_buildNum, m_room.m_floorNum, m_room.m_roomNum, *slot,
                                                   m_room.m_online));
    }
}

// The unit's type goes into its tblsystemp row when there is one; none is
// made.
void RcuReport::UpdateUnitType(const stFanCoilUnit &slot)
{
    std::snprintf(m_dlg.m_dispatchSql, sizeof m_dlg.m_dispatchSql,
                  "select * from tblsystemp where bandid =%d and unitband=%d and floorband =%d  and roomband =%d",
                  slot.unitId, m_room.m_buildNum, m_room.m_floorNum, m_room.m_roomNum);
    CADOMyRecordset &recordset = m_dlg.DispatchRecordset();
    const bool rowExists = recordset.Exec(m_dlg.m_dispatchSql) && recordset.GetRecordCount() != 0;
    recordset.Close();
    if (!rowExists)
        return;
    Exec("update tblsystemp set\r\n"
         "typeid =%d\r\n"
         "where bandid =%d and unitband = %d and floorband = %d and roomband =%d\r\n",
         slot.unitType, slot.unitId, m_room.m_buildNum, m_room.m_floorNum, m_room.m_roomNum);
}

void RcuReport::MeterData()
{
    Exec("update tbltemp set\r\n"
         "isstatus =%d, dimhign=%d, dimcentre=%d, dimlow=%d, coldhign=%d, coldcentre=%d, coldlow=%d\r\n"
         "where unitband = %d and floorband = %d and roomband=%d and bandid = %d\r\n",
         3, BigEndian32(24), BigEndian32(28), BigEndian32(32), BigEndian32(36), BigEndian32(40), BigEndian32(44),
         m_room.m_buildNum, m_room.m_floorNum, m_room.m_roomNum, Byte(22));
    Log("%d|%d%02d抄表数据返回");
}

} // namespace

void CKelvorDlg::OnRcuOtherReport(int64_t now, CRoom *room, int code)
{
    RcuReport report(*this, *room, now);
    switch (code) {
    case RCU_TIME_QUERY:
        ForwardRcuAnswer(MSG_TIME_ANSWER);
        break;
    case RCU_READ_PARAMS:
        ForwardRcuAnswer(MSG_PARAMS_ANSWER);
        break;
    case RCU_HEARTBEAT:
        report.Heartbeat();
        break;
    case RCU_DEVICE_TABLE:
        report.DeviceTable();
        break;
    case RCU_IDENT:
        report.Identity();
        break;
    case RCU_LOCK_RECORD:
        report.LockRecord();
        break;
    case RCU_FAN_UNIT:
        report.FanUnit();
        break;
    case RCU_METER_DATA:
        report.MeterData();
        break;
    default:
        break;
    }
}

// The answer is matched to no request: whichever room answers, every online
// client still waiting gets it once, under the tag of its own last request.
void CKelvorDlg::ForwardRcuAnswer(uint16_t replyCode)
{
    for (const std::unique_ptr<COnlineClient> &client : m_clients) {
        CDeviceComCtrl &record = client->m_cmdRecord;
        if (record.m_answerWanted != 1)
            continue;
        record.m_answerWanted = 0;
        CMsg &reply = *GetScratchMsg();
        reply.m_type = replyCode;
        if (replyCode == MSG_TIME_ANSWER) {
            std::memcpy(reply.m_timeAnswer.time, m_recvBuf + 22, sizeof reply.m_timeAnswer.time);
            reply.m_timeAnswer.extra = m_recvBuf[30];
        } else {
            std::memcpy(reply.m_paramBlock, m_recvBuf + 22, sizeof reply.m_paramBlock);
        }
        reply.m_tag = static_cast<int32_t>(record.m_clientTag);
        const uint16_t length = BuildClientFrame(m_sendBuf, reply, false);
        SendUdp(length, client->m_peerPort, client->m_peerAddress.c_str());
    }
}
