#pragma once
// The two statements besides the event row that the datagram handlers and the
// PMS link write: a room's column of the live-room table and a fan-coil
// history row. Only numbers go into them, so no outside text can reach SQL.
#include <cstddef>
#include <cstdint>

struct stFanCoilUnit;

// The columns of ##REALTIMEROOM that change while the server runs.
enum class LiveRoomColumn { CardIn, Call, Clean, Dnd, Door, Checkout, Service, RmState };

// Enough for every statement of this file and for the event row.
constexpr size_t kStatementSize = 384;

// "update ##REALTIMEROOM set" for one column of one room into out (size
// bytes, NUL-terminated). Returns the length, or -1 when it does not fit.
int FormatLiveRoomUpdate(char *out, size_t size, LiveRoomColumn column, int value, int buildNum, int floorNum,
                         int roomNum);

// A fengji_his row for one fan-coil unit: the unit's halt, control, fan
// speed, sensor, set and current temperature and season mode, valve state 1,
// the room's online flag as the communication state, and the unit's id.
int FormatFanCoilHistoryRow(char *out, size_t size, int buildNum, int floorNum, int roomNum,
                            const stFanCoilUnit &unit, int online, int fengjiId);

// The row the fan-coil unit report writes: the same columns with the unit's
// own valve state and id.
int FormatFanCoilUnitRow(char *out, size_t size, int buildNum, int floorNum, int roomNum, const stFanCoilUnit &unit,
                         int online);
