#pragma once
// The writes of the room address table dialog: the five values per room the
// server keeps in room_ip_list and build_name, each a select of the row's key
// followed by an update or an insert, committed at once. A failing statement
// is told on standard error only, a failed commit in the event log; the
// caller has already changed memory.
#include <string_view>

class CADODatabase;
class CBuild;
class CRoom;

// Column 5 (the unit's address, ip_addr) or 6 (the gateway, ip_addr2).
void SaveRoomAddress(CADODatabase &db, const CRoom &room, int column);
// Nothing is written when room_ip_list has no RMNAME (and so no ADDR) column.
void SaveRoomName(CADODatabase &db, const CRoom &room);
void SaveUnitCode(CADODatabase &db, const CRoom &room);
// False, with nothing written, when build_name has no BDNAME column.
bool SaveBuildingName(CADODatabase &db, const CBuild &build);
