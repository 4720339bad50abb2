#include "protocol/status_report_fields.h"

#include "protocol/frame_header.h"

namespace status_report {
namespace {

// The room's 32-bit fields, signed or not, compared and stored as their bits.
template <auto Member> uint32_t &RoomWord(CRoom &room) { return reinterpret_cast<uint32_t &>(room.*Member); }
template <int Slot, auto Member> uint32_t &UnitWord(CRoom &room)
{
    return reinterpret_cast<uint32_t &>(room.m_fanCoils[Slot].*Member);
}

using Rule = EventField::Rule;
using Column = LiveRoomColumn;
using Kind = StoredField::Kind;

constexpr uint8_t kNone = 0;

// Both forms' event states, in the order their rows are written: the full
// report skips the short form's laundry request, the short report the
// service request, the laundry request and the pick-up.
constexpr EventField kEvents[] = {
    // full, short, rule, room field, change time, active, inactive, has a column, column, code
    {39, 23, Rule::Card, &CRoom::m_cardIn, &CRoom::m_cardTime, EventKind::GuestCardIn, EventKind::CardOut, true,
     Column::CardIn, 1},
    {45, 29, Rule::Call, &CRoom::m_call, &CRoom::m_callTime, EventKind::EmergencyCall,
     EventKind::EmergencyCallCleared, true, Column::Call, 2},
    {46, 30, Rule::Flag, &CRoom::m_cleanRequest, &CRoom::m_cleanTime, EventKind::CleanRequest, EventKind::CleanDone,
     true, Column::Clean, 3},
    {47, 31, Rule::Flag, &CRoom::m_dnd, &CRoom::m_dndTime, EventKind::DndSet, EventKind::DndCleared, true, Column::Dnd,
     4},
    {49, 33, Rule::Flag, &CRoom::m_doorOpen, &CRoom::m_doorTime, EventKind::DoorOpened, EventKind::DoorClosed, true,
     Column::Door, 5},
    {59, 34, Rule::Flag, &CRoom::m_checkoutRequest, &CRoom::m_checkoutTime, EventKind::CheckoutRequest,
     EventKind::CheckoutWithdrawn, true, Column::Checkout, 6},
    {60, kNone, Rule::Flag, &CRoom::m_serviceRequest, &CRoom::m_serviceTime, EventKind::ServiceRequest,
     EventKind::ServiceDone, true, Column::Service, 7},
    {kNone, 36, Rule::Flag, &CRoom::m_laundryShort, &CRoom::m_serviceTime, EventKind::LaundryShortRequest,
     EventKind::LaundryShortDone, true, Column::Service, 7},
    {77, kNone, Rule::Flag, &CRoom::m_laundryRequest, &CRoom::m_laundryTime, EventKind::LaundryRequest,
     EventKind::LaundryDone, true, Column::Service, 7},
    {78, kNone, Rule::Flag, &CRoom::m_laundryPickup, &CRoom::m_pickupTime, EventKind::PickupReady,
     EventKind::PickupDone, true, Column::Service, 7},
    {62, 37, Rule::Flag, &CRoom::m_safeOpen, &CRoom::m_safeTime, EventKind::SafeOpened, EventKind::SafeClosed, false,
     Column::Call, 8},
};

template <auto Member> constexpr StoredField Plain(uint8_t offset, uint8_t width = 1)
{
    return {offset, width, Kind::Plain, -1, &RoomWord<Member>};
}
template <int Slot, auto Member> constexpr StoredField Unit(uint8_t offset, Kind kind = Kind::FanCoil)
{
    return {offset, 1, kind, Slot, &UnitWord<Slot, Member>};
}

// In the order the full report compares them: a unit's present byte comes
// before its sensor byte, so a unit that appears gets its sensor from this
// same report.
constexpr StoredField kFullStored[] = {
    Plain<&CRoom::m_cardNumber>(41, 4),
    Unit<0, &stFanCoilUnit::curTemp>(36),
    Unit<1, &stFanCoilUnit::curTemp>(68),
    Unit<0, &stFanCoilUnit::control>(33),
    Unit<1, &stFanCoilUnit::control>(65),
    Unit<0, &stFanCoilUnit::halt>(34),
    Unit<1, &stFanCoilUnit::halt>(66),
    Unit<0, &stFanCoilUnit::fanSpeed>(31),
    Unit<1, &stFanCoilUnit::fanSpeed>(64),
    Unit<0, &stFanCoilUnit::present>(30, Kind::Presence),
    Unit<1, &stFanCoilUnit::present>(63, Kind::Presence),
    Plain<&CRoom::m_reportByte40>(40),
    Plain<&CRoom::m_reportDword>(26, 4),
    Plain<&CRoom::m_cardType>(38),
    Plain<&CRoom::m_rcuStatus>(22),
    Plain<&CRoom::m_runTime>(24, 2),
    Unit<0, &stFanCoilUnit::seasonMode>(32),
    Unit<1, &stFanCoilUnit::seasonMode>(76),
    Unit<0, &stFanCoilUnit::valveState>(75),
    Unit<0, &stFanCoilUnit::setTemp>(37),
    Unit<1, &stFanCoilUnit::setTemp>(69),
    Plain<&CRoom::m_reportWord>(70, 4),
    Plain<&CRoom::m_reportByte23>(23),
    Unit<0, &stFanCoilUnit::tempSensor>(35),
    Unit<1, &stFanCoilUnit::tempSensor>(67),
    Plain<&CRoom::m_reportByte50>(50),
    Plain<&CRoom::m_reportByte51>(51),
    Plain<&CRoom::m_reportByte53>(53),
    Plain<&CRoom::m_reportByte55>(55),
    Plain<&CRoom::m_reportByte57>(57),
};

constexpr StoredField kShortStored[] = {
    Plain<&CRoom::m_reportByte40>(24),
    Plain<&CRoom::m_cardType>(22),
    Plain<&CRoom::m_rcuStatus>(38),
    Plain<&CRoom::m_runTime>(40, 2),
    Plain<&CRoom::m_reportByte23>(39),
    Plain<&CRoom::m_reportWord>(45, 4),
};

constexpr FanCoilUnit kFullUnits[] = {
    {0, 30, 36, 3},
    {1, 63, 68, 4},
};

const ReportLayout kFull{true, 38, 41, kFullStored, kFullUnits};
const ReportLayout kShort{false, 22, 25, kShortStored, {}};

} // namespace

const ReportLayout &FullReport() { return kFull; }
const ReportLayout &ShortReport() { return kShort; }

std::span<const EventField> EventFields() { return kEvents; }

int EventField::Offset(const ReportLayout &layout) const { return layout.full ? fullOffset : shortOffset; }

bool IsActive(const EventField &field, const ReportLayout &layout, uint8_t byte)
{
    return field.rule == Rule::Call && layout.full ? byte != 0 : byte == 1;
}

EventKind EventFor(const EventField &field, const ReportLayout &layout, uint8_t byte, uint8_t cardType)
{
    if (!IsActive(field, layout, byte))
        return field.whenInactive;
    return field.rule == Rule::Card ? CardInEvent(cardType) : field.whenActive;
}

int ColumnValue(const EventField &field, const ReportLayout &layout, uint8_t byte, uint8_t cardType)
{
    if (!IsActive(field, layout, byte))
        return 0;
    return field.rule == Rule::Card ? cardType : 1;
}

uint32_t ReadField(const uint8_t *p, uint8_t width)
{
    switch (width) {
    case 2:
        return frame::GetU16Le(p);
    case 4:
        return frame::GetU32Le(p);
    default:
        return p[0];
    }
}

} // namespace status_report
