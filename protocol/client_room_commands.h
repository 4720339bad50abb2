#pragma once
// The workstation room commands: what each request turns into on its way to
// a room unit. One row per request code.
#include <cstdint>

// Header bytes 18..20 of the frame.
enum class CmdRoom : uint8_t {
    Named,    // the request's building, floor and room
    AllRooms, // 255, 255, 255
};

// A field of the online client's command record: written with a fixed
// value, taken from the request, or kept as the client's previous command
// left it.
enum class CmdField : uint8_t { Kept, Zero, One, FF, Request };

// Where the frame's payload comes from.
enum class CmdPayload : uint8_t {
    None,        // none, or fixed by the frame builder (open door)
    FanControl,  // request bytes 22..29
    SeasonMode,  // request bytes 22..25
    RoomState,   // request bytes 22..25
    LightControl, // request bytes 22..26
    EnergyBlock, // request bytes 22..61
    ValveMode,   // request bytes 22..25
    LightMode,   // request bytes 22..25
    Preset,      // request bytes 22..62
    LightScene,  // request bytes 24, 23, then 0
};

struct RoomCommand {
    uint16_t request;
    uint16_t rcuCommand;
    CmdRoom room;
    CmdField answerWanted; // Kept, Zero, One or Request (byte 17)
    CmdField control;      // Kept, FF, or Request: request byte 27 (fan control)
    bool storeTag;         // the request's tag becomes the tag of a forwarded answer
    CmdPayload payload;
    bool allRoomsWhenMissing; // broadcast when the named room does not exist
    const char *logText;      // user, building, floor, room; null: no line
    const char *allRoomsLogText; // user only
};

// The row of a request code; null when the code is no room command.
const RoomCommand *FindRoomCommand(uint32_t requestCode);
