#include "storm_reports.h"

#include "database/sqlite_dialect.h"
#include "model/room.h"
#include "platform/gbk.h"
#include "protocol/event_types.h"
#include "protocol/frame_header.h"
#include "protocol/statement_forms.h"

#include <array>
#include <cstring>

namespace {

constexpr int kEventOffsets[] = {39, 45, 46, 47, 49, 59, 60, 77, 78, 62};

// A unit's bytes: present, speed, season, control, halt, sensor, current and
// set temperature.
using UnitBytes = std::array<uint8_t, 8>;
// Where each unit's bytes sit in the full report, in that order.
constexpr uint8_t kUnitOffsets[2][8] = {{30, 31, 32, 33, 34, 35, 36, 37}, {63, 64, 76, 65, 66, 67, 68, 69}};
// Switched on: unit 0 too hot, unit 1 in range; switched back: both in range.
constexpr UnitBytes kUnitsOn[2] = {{{1, 2, 1, 1, 0, 1, 35, 24}}, {{1, 3, 1, 1, 0, 1, 20, 21}}};
constexpr UnitBytes kUnitsOff[2] = {{{1, 1, 0, 0, 1, 1, 23, 23}}, {{1, 1, 0, 0, 1, 1, 22, 23}}};

stFanCoilUnit UnitSwitchedOn(int unit)
{
    const UnitBytes &b = kUnitsOn[unit];
    stFanCoilUnit u;
    u.present = b[0];
    u.fanSpeed = b[1];
    u.seasonMode = b[2];
    u.control = b[3];
    u.halt = b[4];
    u.tempSensor = b[5];
    u.curTemp = b[6];
    u.setTemp = b[7];
    return u;
}

} // namespace

void BuildReport(uint8_t *f, int floor, int room, bool on)
{
    std::memset(f, 0, kReportLength);
    f[0] = 0xFF;
    f[1] = kReportLength;
    std::memcpy(f + 2, "ZOLP", 4);
    f[6] = 1;
    frame::PutU16Be(f + 15, 0x0084);
    f[18] = kBuild;
    f[19] = static_cast<uint8_t>(floor);
    f[20] = static_cast<uint8_t>(room);
    f[38] = 1; // guest card
    frame::PutU32Le(f + 41, 1000u + static_cast<uint32_t>(room));
    for (int offset : kEventOffsets)
        f[offset] = on ? 1 : 0;
    for (int unit = 0; unit < 2; ++unit) {
        const UnitBytes &bytes = on ? kUnitsOn[unit] : kUnitsOff[unit];
        for (size_t i = 0; i < bytes.size(); ++i)
            f[kUnitOffsets[unit][i]] = bytes[i];
    }
    f[75] = 1; // unit 0's valve
}

void AllChangedStatements(int floor, int room, std::vector<std::string> &out)
{
    char sql[kStatementSize];
    auto add = [&](int n) {
        const QString text = platform::QStringFromGbk(std::string_view(sql, static_cast<size_t>(n)));
        out.push_back(database::SqliteDialect::Translate(text).sql.toStdString());
    };
    const int32_t card = 1000 + room;
    struct Change {
        EventKind kind;
        bool hasColumn;
        LiveRoomColumn column;
    };
    const Change changes[] = {
        {EventKind::GuestCardIn, true, LiveRoomColumn::CardIn},   {EventKind::EmergencyCall, true, LiveRoomColumn::Call},
        {EventKind::CleanRequest, true, LiveRoomColumn::Clean},   {EventKind::DndSet, true, LiveRoomColumn::Dnd},
        {EventKind::DoorOpened, true, LiveRoomColumn::Door},      {EventKind::CheckoutRequest, true, LiveRoomColumn::Checkout},
        {EventKind::ServiceRequest, true, LiveRoomColumn::Service}, {EventKind::LaundryRequest, true, LiveRoomColumn::Service},
        {EventKind::PickupReady, true, LiveRoomColumn::Service},  {EventKind::SafeOpened, false, LiveRoomColumn::Call},
    };
    for (const Change &c : changes) {
        add(FormatEventRow(sql, sizeof sql, kBuild, floor, room, c.kind, card, 1));
        if (c.hasColumn)
            add(FormatLiveRoomUpdate(sql, sizeof sql, c.column, 1, kBuild, floor, room));
    }
    add(FormatEventRow(sql, sizeof sql, kBuild, floor, room, EventKind::TemperatureAlarm, card, 1));
    add(FormatFanCoilHistoryRow(sql, sizeof sql, kBuild, floor, room, UnitSwitchedOn(0), 1, 3));
    add(FormatFanCoilHistoryRow(sql, sizeof sql, kBuild, floor, room, UnitSwitchedOn(1), 1, 4));
}

