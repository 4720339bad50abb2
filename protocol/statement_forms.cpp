#include "protocol/statement_forms.h"

#include "model/room.h"

#include "protocol/statement_writer.h"

namespace {

// In LiveRoomColumn order.
constexpr const char *kColumnNames[] = {"CARDIN", "CALL", "CLEAN", "DND", "DOOR", "CHECKOUT", "SERVICE", "RMSTATE"};
static_assert(sizeof kColumnNames / sizeof kColumnNames[0] == static_cast<size_t>(LiveRoomColumn::RmState) + 1);

const char *ColumnName(LiveRoomColumn column)
{
    const auto index = static_cast<size_t>(column);
    return index < sizeof kColumnNames / sizeof kColumnNames[0] ? kColumnNames[index] : nullptr;
}

int FormatFanCoilRow(char *out, size_t size, int buildNum, int floorNum, int roomNum, const stFanCoilUnit &unit,
                     int valueState, int online, int fengjiId)
{
    return StatementWriter(out, size)
        .Text("Insert into fengji_his(build_num, floor_num, room_num, fengji_halt, fengji_ctrl, fengji_speed, "
              "temp_sensor, set_temp, cur_temp, value_state, comm_state, season_mode, fengji_id)values(")
        .Int(buildNum).Text(", ").Int(floorNum).Text(", ").Int(roomNum).Text(", ").Int(unit.halt)
        .Text(", ").Int(unit.control).Text(", ").Int(unit.fanSpeed).Text(", ").Int(unit.tempSensor)
        .Text(", ").Int(unit.setTemp).Text(", ").Int(unit.curTemp).Text(", ").Int(valueState)
        .Text(", ").Int(online).Text(", ").Int(unit.seasonMode).Text(", ").Int(fengjiId).Text(")")
        .Finish();
}

} // namespace

int FormatLiveRoomUpdate(char *out, size_t size, LiveRoomColumn column, int value, int buildNum, int floorNum,
                         int roomNum)
{
    const char *name = ColumnName(column);
    if (!name)
        return -1;
    return StatementWriter(out, size)
        .Text("update ##REALTIMEROOM set\r\n").Text(name).Text(" =").Int(value)
        .Text("\r\nwhere build = ").Int(buildNum).Text(" and floor = ").Int(floorNum).Text(" and roomnum =")
        .Int(roomNum).Text("\r\n")
        .Finish();
}

int FormatFanCoilHistoryRow(char *out, size_t size, int buildNum, int floorNum, int roomNum,
                            const stFanCoilUnit &unit, int online, int fengjiId)
{
    return FormatFanCoilRow(out, size, buildNum, floorNum, roomNum, unit, 1, online, fengjiId);
}

int FormatFanCoilUnitRow(char *out, size_t size, int buildNum, int floorNum, int roomNum, const stFanCoilUnit &unit,
                         int online)
{
    return FormatFanCoilRow(out, size, buildNum, floorNum, roomNum, unit, unit.valveState, online, unit.unitId);
}
