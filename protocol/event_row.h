#pragma once
// Writing one event row on a writer's recordset.
#include <cstdint>

#include "protocol/event_types.h"

class CADOMyRecordset;

// Runs the event row statement for kind on recordset and closes it right
// after. Event rows are fire-and-forget: callers may ignore the result.
bool WriteEventRow(CADOMyRecordset &recordset, int buildNum, int floorNum, int roomNum, EventKind kind,
                   int32_t cardSn, int cardId);
