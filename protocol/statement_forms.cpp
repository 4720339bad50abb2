#include "protocol/statement_forms.h"

#include "model/room.h"

#include <cstdio>

namespace {

const char *ColumnName(LiveRoomColumn column)
{
    switch (column) {
    case LiveRoomColumn::CardIn:
        return "CARDIN";
    case LiveRoomColumn::Call:
        return "CALL";
    case LiveRoomColumn::Clean:
        return "CLEAN";
    case LiveRoomColumn::Dnd:
        return "DND";
    case LiveRoomColumn::Door:
        return "DOOR";
    case LiveRoomColumn::Checkout:
        return "CHECKOUT";
    case LiveRoomColumn::Service:
        return "SERVICE";
    case LiveRoomColumn::RmState:
        return "RMSTATE";
    }
    return nullptr;
}

int Fitted(int n, size_t size) { return n >= 0 && static_cast<size_t>(n) < size ? n : -1; }

int FormatFanCoilRow(char *out, size_t size, int buildNum, int floorNum, int roomNum, const stFanCoilUnit &unit,
                     int valueState, int online, int fengjiId)
{
    return Fitted(std::snprintf(out, size,
                                "Insert into fengji_his(build_num, floor_num, room_num, fengji_halt, fengji_ctrl, "
                                "fengji_speed, temp_sensor, set_temp, cur_temp, value_state, comm_state, season_mode, "
                                "fengji_id)values(%d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d)",
                                buildNum, floorNum, roomNum, unit.halt, unit.control, unit.fanSpeed, unit.tempSensor,
                                unit.setTemp, unit.curTemp, valueState, online, unit.seasonMode, fengjiId),
                  size);
}

} // namespace

int FormatLiveRoomUpdate(char *out, size_t size, LiveRoomColumn column, int value, int buildNum, int floorNum,
                         int roomNum)
{
    const char *name = ColumnName(column);
    if (!name)
        return -1;
    return Fitted(std::snprintf(out, size,
                                "update ##REALTIMEROOM set\r\n%s =%d\r\nwhere build = %d and floor = %d and roomnum =%d\r\n",
                                name, value, buildNum, floorNum, roomNum),
                  size);
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
