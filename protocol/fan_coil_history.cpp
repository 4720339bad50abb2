#include "protocol/fan_coil_history.h"

#include "database/ado_recordset.h"

#include <cstdio>
#include <string_view>

int FormatFanCoilHistoryRow(char *out, size_t size, const FanCoilHistoryRow &row)
{
    const int length = std::snprintf(
        out, size,
        "Insert into fengji_his(build_num, floor_num, room_num, fengji_halt, fengji_ctrl, fengji_speed, "
        "temp_sensor, set_temp, cur_temp, value_state, comm_state, season_mode, fengji_id)"
        "values(%d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d)",
        row.build, row.floor, row.room, row.halt, row.control, row.fanSpeed, row.tempSensor, row.setTemp,
        row.curTemp, row.valveState, row.commState, row.seasonMode, row.unitId);
    return length < 0 || static_cast<size_t>(length) >= size ? -1 : length;
}

bool WriteFanCoilHistoryRow(CADOMyRecordset &recordset, const FanCoilHistoryRow &row)
{
    char sql[512];
    const int length = FormatFanCoilHistoryRow(sql, sizeof sql, row);
    if (length < 0)
        return false;
    const bool ok = recordset.Exec(std::string_view(sql, static_cast<size_t>(length)));
    recordset.Close();
    return ok;
}
