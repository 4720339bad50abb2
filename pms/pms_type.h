#pragma once
// The PMS interface types, as the settings store them ("HMS INTERFACE") and
// as the parameters dialog lists them. A stored value outside the list means
// no PMS on every path.

enum PmsType : int {
    kPmsNone = 0,
    kPmsFoxhis = 1,     // XML over TCP and UDP
    kPmsZhongruan = 2,  // polled from the live-room table
    kPmsQianlima = 3,   // polled from the live-room table
    kPmsNehops = 4,     // XML over TCP
    kPmsTypeCount = 5,
};

// The two types served by the room-state poller rather than by commands.
inline bool IsPolledPmsType(int type) { return type == kPmsZhongruan || type == kPmsQianlima; }
