#include "model/room.h"

#include "model/text_writer.h"
#include "platform/archive.h"
#include "platform/gbk.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// The 24 status words in their fixed order, for the copy and the text form:
// f(a's word, b's word) for each.
template <class A, class B, class F> void ForEachStatusWord(A &a, B &b, F f)
{
    f(a.m_cardType, b.m_cardType);
    f(a.m_cardIn, b.m_cardIn);
    f(a.m_reportByte40, b.m_reportByte40);
    f(a.m_cardNumber, b.m_cardNumber);
    f(a.m_call, b.m_call);
    f(a.m_cleanRequest, b.m_cleanRequest);
    f(a.m_dnd, b.m_dnd);
    f(a.m_spare6, b.m_spare6);
    f(a.m_doorOpen, b.m_doorOpen);
    f(a.m_reportByte50, b.m_reportByte50);
    f(a.m_reportByte51, b.m_reportByte51);
    f(a.m_spare7, b.m_spare7);
    f(a.m_reportByte53, b.m_reportByte53);
    f(a.m_spare8, b.m_spare8);
    f(a.m_reportByte55, b.m_reportByte55);
    f(a.m_spare9, b.m_spare9);
    f(a.m_reportByte57, b.m_reportByte57);
    f(a.m_spare10, b.m_spare10);
    f(a.m_checkoutRequest, b.m_checkoutRequest);
    f(a.m_laundryShort, b.m_laundryShort);
    f(a.m_serviceRequest, b.m_serviceRequest);
    f(a.m_safeOpen, b.m_safeOpen);
    f(a.m_laundryRequest, b.m_laundryRequest);
    f(a.m_laundryPickup, b.m_laundryPickup);
}

// The eleven times in the order of the text form, pairwise as above.
template <class A, class B, class F> void ForEachTextTime(A &a, B &b, F f)
{
    f(a.m_lastHeard, b.m_lastHeard);
    f(a.m_doorTime, b.m_doorTime);
    f(a.m_callTime, b.m_callTime);
    f(a.m_cleanTime, b.m_cleanTime);
    f(a.m_dndTime, b.m_dndTime);
    f(a.m_checkoutTime, b.m_checkoutTime);
    f(a.m_serviceTime, b.m_serviceTime);
    f(a.m_safeTime, b.m_safeTime);
    f(a.m_cardTime, b.m_cardTime);
    f(a.m_laundryTime, b.m_laundryTime);
    f(a.m_pickupTime, b.m_pickupTime);
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
    ForEachTextTime(r, r, [&](int64_t &t, int64_t &) { ar.Transfer(t); });
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
    ForEachTextTime(*this, other, [](int64_t &to, int64_t from) { to = from; });
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
    ForEachStatusWord(*this, other, [](auto &to, auto from) { to = from; });
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
    ForEachStatusWord(*this, *this, [&](auto v, auto) { out.Line(static_cast<int32_t>(v)); });
    for (int i = 0; i < kFanCoilsInUse; ++i) {
        const stFanCoilUnit &f = m_fanCoils[i];
        for (int32_t v : {f.present, f.fanSpeed, f.control, f.halt, f.tempSensor, f.curTemp, f.setTemp, f.valveState,
                          f.seasonMode, f.unitId, f.unitType})
            out.Int32LE(v);
    }
    out.Bytes(m_deviceTable, sizeof m_deviceTable);
    ForEachTextTime(*this, *this, [&](int64_t t, int64_t) { out.Line(t); });
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

bool FanCoilSlots::AnyPresentOutside(int32_t low, int32_t high) const
{
    if (!m_boundsKnown) {
        m_anyPresent = false;
        for (int slot = 0; slot < kInUse; ++slot) {
            const stFanCoilUnit &unit = m_units[slot];
            if (unit.present != 1)
                continue;
            m_lowest = m_anyPresent ? std::min(m_lowest, unit.curTemp) : unit.curTemp;
            m_highest = m_anyPresent ? std::max(m_highest, unit.curTemp) : unit.curTemp;
            m_anyPresent = true;
        }
        m_boundsKnown = true;
    }
    return m_anyPresent && (m_lowest < low || m_highest > high);
}
