#include "model/room.h"

#include "model/text_writer.h"
#include "platform/archive.h"
#include "platform/gbk.h"

#include <cstdio>
#include <cstring>

namespace {

// The 24 status words in their fixed order, for the copy and the text form.
template <class Room, class F> void ForEachStatusWord(Room &r, F f)
{
    f(r.m_cardType);
    f(r.m_cardIn);
    f(r.m_reportByte40);
    f(r.m_cardNumber);
    f(r.m_call);
    f(r.m_cleanRequest);
    f(r.m_dnd);
    f(r.m_spare6);
    f(r.m_doorOpen);
    f(r.m_reportByte50);
    f(r.m_reportByte51);
    f(r.m_spare7);
    f(r.m_reportByte53);
    f(r.m_spare8);
    f(r.m_reportByte55);
    f(r.m_spare9);
    f(r.m_reportByte57);
    f(r.m_spare10);
    f(r.m_checkoutRequest);
    f(r.m_laundryShort);
    f(r.m_serviceRequest);
    f(r.m_safeOpen);
    f(r.m_laundryRequest);
    f(r.m_laundryPickup);
}

// The eleven times in the order of the text form.
template <class Room, class F> void ForEachTextTime(Room &r, F f)
{
    f(r.m_lastHeard);
    f(r.m_doorTime);
    f(r.m_callTime);
    f(r.m_cleanTime);
    f(r.m_dndTime);
    f(r.m_checkoutTime);
    f(r.m_serviceTime);
    f(r.m_safeTime);
    f(r.m_cardTime);
    f(r.m_laundryTime);
    f(r.m_pickupTime);
}

// The fields of the archive form, in its order; the same walk stores and loads.
template <class Room> void TransferArchiveFields(platform::CArchive &ar, Room &r)
{
    ar.Transfer(r.m_buildNum);
    ar.Transfer(r.m_floorNum);
    ar.Transfer(r.m_roomNum);
    ar.Transfer(r.m_spare1);
    ar.Transfer(r.m_inService);
    ar.Transfer(r.m_spare2);
    ar.Transfer(r.m_rcuStatus);
    ar.Transfer(r.m_pmsState);
    ar.Transfer(r.m_spare3);
    ar.Transfer(r.m_changed);
    ar.Transfer(r.m_rcuIp);
    ar.Transfer(r.m_online);
    ar.Transfer(r.m_rangeAlarm);
    ar.Transfer(r.m_doorAlarm);
    ForEachTextTime(r, [&](int64_t &t) { ar.Transfer(t); });
}

std::string DottedQuad(uint32_t ip)
{
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", ip >> 24, (ip >> 16) & 0xFF, (ip >> 8) & 0xFF, ip & 0xFF);
    return text;
}

} // namespace

CRoom::CRoom(int32_t build, int32_t floor, int32_t room) : m_buildNum(build), m_floorNum(floor), m_roomNum(room) {}

CRoom::CRoom(const CRoom &other) : CRoom(0, 0, 0) { *this = other; }

CRoom &CRoom::operator=(const CRoom &other)
{
    if (this == &other)
        return *this;
    m_buildNum = other.m_buildNum;
    m_floorNum = other.m_floorNum;
    m_roomNum = other.m_roomNum;
    m_spare1 = other.m_spare1;
    m_inService = other.m_inService;
    m_spare2 = other.m_spare2;
    m_rcuStatus = other.m_rcuStatus;
    m_pmsState = other.m_pmsState;
    m_spare3 = other.m_spare3;
    std::memcpy(m_name, other.m_name, sizeof m_name);
    m_changed = other.m_changed;
    m_doorTime = other.m_doorTime;
    m_callTime = other.m_callTime;
    m_cleanTime = other.m_cleanTime;
    m_dndTime = other.m_dndTime;
    m_checkoutTime = other.m_checkoutTime;
    m_serviceTime = other.m_serviceTime;
    m_safeTime = other.m_safeTime;
    m_cardTime = other.m_cardTime;
    m_lastHeard = other.m_lastHeard;
    m_laundryTime = other.m_laundryTime;
    m_pickupTime = other.m_pickupTime;
    m_rcuIp = other.m_rcuIp;
    m_online = other.m_online;
    m_rangeAlarm = other.m_rangeAlarm;
    m_doorAlarm = other.m_doorAlarm;
    m_reportWord = other.m_reportWord;
    m_spare4 = other.m_spare4;
    m_reportByte23 = other.m_reportByte23;
    m_runTime = other.m_runTime;
    m_reportDword = other.m_reportDword;
    m_spare5 = other.m_spare5;
    for (int i = 0; i < kFanCoilsInUse; ++i)
        m_fanCoils[i] = other.m_fanCoils[i];
    std::memcpy(m_rcuIdent, other.m_rcuIdent, sizeof m_rcuIdent);
    m_cardType = other.m_cardType;
    m_cardIn = other.m_cardIn;
    m_reportByte40 = other.m_reportByte40;
    m_cardNumber = other.m_cardNumber;
    m_call = other.m_call;
    m_cleanRequest = other.m_cleanRequest;
    m_dnd = other.m_dnd;
    m_spare6 = other.m_spare6;
    m_doorOpen = other.m_doorOpen;
    m_reportByte50 = other.m_reportByte50;
    m_reportByte51 = other.m_reportByte51;
    m_spare7 = other.m_spare7;
    m_reportByte53 = other.m_reportByte53;
    m_spare8 = other.m_spare8;
    m_reportByte55 = other.m_reportByte55;
    m_spare9 = other.m_spare9;
    m_reportByte57 = other.m_reportByte57;
    m_spare10 = other.m_spare10;
    m_checkoutRequest = other.m_checkoutRequest;
    m_laundryShort = other.m_laundryShort;
    m_serviceRequest = other.m_serviceRequest;
    m_safeOpen = other.m_safeOpen;
    m_laundryRequest = other.m_laundryRequest;
    m_laundryPickup = other.m_laundryPickup;
    std::memcpy(m_deviceTable, other.m_deviceTable, sizeof m_deviceTable);
    return *this;
}

int32_t CRoom::FormatText(char *buf) const { return FormatText(buf, kMaxTextSize); }

int32_t CRoom::FormatText(char *buf, size_t size) const
{
    TextWriter out(buf, size);
    out.Line(m_buildNum);
    out.Line(m_floorNum);
    out.Line(m_roomNum);
    out.Line(m_spare1);
    out.Line(m_inService);
    out.Line(m_spare2);
    out.Line(m_rcuStatus);
    out.Line(m_pmsState);
    out.LineUnsigned(m_spare3);
    out.Line(m_changed);
    // Printed as signed 32-bit values, as the workstations expect them.
    out.Line(static_cast<int32_t>(m_rcuIp));
    out.Line(m_online);
    out.Line(m_rangeAlarm);
    out.Line(m_doorAlarm);
    out.Line(m_spare4);
    out.Line(static_cast<int32_t>(m_reportWord));
    out.Line(m_reportByte23);
    out.Line(m_runTime);
    out.Line(static_cast<int32_t>(m_reportDword));
    out.Line(m_spare5);
    ForEachStatusWord(*this, [&](auto v) { out.Line(static_cast<int32_t>(v)); });
    for (int i = 0; i < kFanCoilsInUse; ++i) {
        const stFanCoilUnit &f = m_fanCoils[i];
        for (int32_t v : {f.present, f.fanSpeed, f.control, f.halt, f.tempSensor, f.curTemp, f.setTemp, f.valveState,
                          f.seasonMode, f.unitId, f.unitType})
            out.Int32LE(v);
    }
    out.Bytes(m_deviceTable, sizeof m_deviceTable);
    ForEachTextTime(*this, [&](int64_t t) { out.Line(t); });
    out.Bytes(m_name, sizeof m_name);
    out.Bytes(m_rcuIdent, sizeof m_rcuIdent);
    return out.Overflowed() ? -1 : static_cast<int32_t>(out.Length());
}

void CRoom::Serialize(platform::CArchive &ar)
{
    if (ar.IsStoring()) {
        TransferArchiveFields(ar, *this);
        return;
    }
    // Load into a copy first so that a short archive leaves no half-new room.
    CRoom loaded(*this);
    TransferArchiveFields(ar, loaded);
    if (ar.Ok())
        *this = loaded;
}

std::string CRoom::GetIPString() const { return DottedQuad(m_rcuIp); }

std::string CRoom::GetGatewayIPString() const { return DottedQuad(m_gatewayIp); }

std::string CRoom::GetDisplayName() const
{
    if (m_name[0] != 0)
        return std::string(platform::FieldText(m_name, sizeof m_name));
    char text[32];
    std::snprintf(text, sizeof text, "%d%02d", m_floorNum, m_roomNum);
    return text;
}

void CRoom::StorePolledPmsState(int32_t state)
{
    m_polledPmsState.store(state, std::memory_order_relaxed);
    m_pmsChangeMark.store(2, std::memory_order_release);
}

bool CRoom::TakePolledPmsChange(int32_t &state)
{
    if (m_pmsChangeMark.load(std::memory_order_acquire) == 0)
        return false;
    m_pmsChangeMark.exchange(0, std::memory_order_acquire);
    state = m_polledPmsState.load(std::memory_order_relaxed);
    return true;
}
