#pragma once
// The function table of the foxhis and nehops commands.
#include "protocol/event_types.h"

#include <string_view>

struct PmsFunction {
    enum Kind { CheckIn, CheckOut, RoomChange, RoomClean, RepairSet, RepairCleared, StateSync, Unknown };
    Kind kind;
    const char *name;        // compared exactly
    const char *description; // GBK, for the log line
    int rcuState;            // state byte of the one room-state frame, -1: none
    bool writesEvent;
    EventKind foxhisEvent;
    EventKind nehopsEvent;
    int newPmsState;         // CRoom::m_pmsState afterwards, -1: unchanged
};

// The entry of the name, or the "unknown" entry (message code 3).
const PmsFunction &FindPmsFunction(std::string_view name);

// GSTSYN: the room state that a state code stands for.
int PmsStateOfCode(std::string_view sta);
