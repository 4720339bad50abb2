#include "console/room_address_table.h"

#include "database/ado_recordset.h"
#include "database/sql_quote.h"
#include "model/build.h"
#include "model/room.h"
#include "platform/gbk.h"

#include <cstdio>
#include <string>

namespace {

// The operator's edit stays in memory and on screen whatever the save says;
// a statement that failed is told on standard error. The edit shows as saved,
// so it is committed at once: a lost batch is told in the event log now.
void RunSave(CADODatabase &db, CADOMyRecordset &rs, const std::string &sql)
{
    if (rs.ExecOrTell(sql, "room or building name table not saved"))
        db.CommitBatch();
}

// The probe gives NULL for a column the table does not have.
bool HasColumn(CADODatabase &db, const char *probe)
{
    CADOMyRecordset rs(&db);
    return rs.Exec(probe) && rs.GetRecordCount() > 0 && !rs.IsFieldNull(0);
}

bool RowExists(CADOMyRecordset &rs, const char *select)
{
    const bool found = rs.Exec(select) && rs.GetRecordCount() != 0;
    rs.Close();
    return found;
}

// "Select * ..." of the room's row: the first step of the address and code saves.
bool RoomRowExists(CADOMyRecordset &rs, const CRoom &room)
{
    char sql[160];
    std::snprintf(sql, sizeof sql,
                  "Select * from room_ip_list\r\nwhere\r\nbuild_num = %d and floor_num = %d and room_num =%d",
                  room.m_buildNum, room.m_floorNum, room.m_roomNum);
    return RowExists(rs, sql);
}

std::string Name(const char *field, size_t size) { return database::SqlQuote(platform::FieldText(field, size)); }

} // namespace

void SaveRoomAddress(CADODatabase &db, const CRoom &room, int column)
{
    const bool gateway = column == 6;
    const int b = room.m_buildNum, f = room.m_floorNum, r = room.m_roomNum;
    const int address = static_cast<int>(gateway ? room.m_gatewayIp : room.m_rcuIp);
    CADOMyRecordset rs(&db);
    char sql[256];
    if (RoomRowExists(rs, room))
        std::snprintf(sql, sizeof sql,
                      "update room_ip_list set\r\n%s =%d\r\nwhere build_num = %d and floor_num = %d and room_num =%d\r\n",
                      gateway ? "ip_addr2" : "ip_addr", address, b, f, r);
    else if (gateway)
        std::snprintf(sql, sizeof sql,
                      "Insert into room_ip_list(build_num, floor_num, room_num, ip_addr2, ip_addr)\r\n"
                      "values(%d, %d,%d,%d,%d)\r\n",
                      b, f, r, address, 0);
    else
        std::snprintf(sql, sizeof sql,
                      "Insert into room_ip_list(build_num, floor_num, room_num, ip_addr)\r\nvalues(%d, %d,%d,%d)\r\n",
                      b, f, r, address);
    RunSave(db, rs, sql);
}

void SaveRoomName(CADODatabase &db, const CRoom &room)
{
    if (!HasColumn(db, "select col_length('room_ip_list', 'RMNAME')"))
        return;
    const int b = room.m_buildNum, f = room.m_floorNum, r = room.m_roomNum;
    const std::string name = Name(room.m_name, sizeof room.m_name);
    CADOMyRecordset rs(&db);
    char key[128];
    char sql[256];
    std::snprintf(key, sizeof key, "build_num = %d and floor_num = %d and room_num =%d", b, f, r);
    std::snprintf(sql, sizeof sql, "Select RMNAME from room_ip_list\r\nwhere\r\n%s", key);
    if (RowExists(rs, sql)) {
        RunSave(db, rs, "update room_ip_list set\r\nrmname ='" + name + "'\r\nwhere " + key + "\r\n");
    } else {
        std::snprintf(sql, sizeof sql, "Insert into room_ip_list(build_num, floor_num, room_num, rmname, ip_addr)\r\n"
                                       "values(%d, %d,%d,'", b, f, r);
        RunSave(db, rs, sql + name + "', 0)\r\n");
    }
}

// The code column is there exactly when the name column is.
void SaveUnitCode(CADODatabase &db, const CRoom &room)
{
    if (!HasColumn(db, "select col_length('room_ip_list', 'RMNAME')"))
        return;
    const int b = room.m_buildNum, f = room.m_floorNum, r = room.m_roomNum;
    CADOMyRecordset rs(&db);
    char sql[256];
    if (RoomRowExists(rs, room))
        std::snprintf(sql, sizeof sql,
                      "update room_ip_list set\r\naddr =%d\r\nwhere build_num = %d and floor_num = %d and room_num =%d\r\n",
                      room.m_unitCode, b, f, r);
    else
        std::snprintf(sql, sizeof sql,
                      "Insert into room_ip_list(build_num, floor_num, room_num, addr, ip_addr)\r\n"
                      "values(%d, %d,%d,%d, %d)\r\n",
                      b, f, r, room.m_unitCode, 0);
    RunSave(db, rs, sql);
}

bool SaveBuildingName(CADODatabase &db, const CBuild &build)
{
    if (!HasColumn(db, "select col_length('build_name', 'BDNAME')"))
        return false;
    const std::string name = Name(build.m_name, sizeof build.m_name);
    const std::string number = std::to_string(build.m_buildNum);
    CADOMyRecordset rs(&db);
    if (RowExists(rs, ("Select BDNAME from build_name\r\nwhere\r\nbuild_num = " + number).c_str()))
        RunSave(db, rs, "update build_name set\r\nBDNAME ='" + name + "'\r\nwhere build_num = " + number + "\r\n");
    else
        RunSave(db, rs, "Insert into build_name(build_num, BDNAME)\r\nvalues(" + number + ", '" + name + "')\r\n");
    return true;
}
