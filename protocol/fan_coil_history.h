#pragma once
// One row of the fan-coil history table fengji_his.
#include <cstddef>

class CADOMyRecordset;

struct FanCoilHistoryRow {
    int build, floor, room;
    int halt, control, fanSpeed, tempSensor, setTemp, curTemp, valveState;
    int commState; // the room's online flag
    int seasonMode, unitId;
};

// The insert statement into out (size bytes); its length, or -1 when it does
// not fit.
int FormatFanCoilHistoryRow(char *out, size_t size, const FanCoilHistoryRow &row);

// Runs the insert on recordset and closes it right after. History rows are
// fire-and-forget: callers may ignore the result.
bool WriteFanCoilHistoryRow(CADOMyRecordset &recordset, const FanCoilHistoryRow &row);
