#pragma once
// What the room monitor keeps between its passes: its event and command
// records and its recordset on the main window's connection.
#include "database/ado_recordset.h"
#include "protocol/device_com_ctrl.h"
#include "protocol/my_event.h"

struct RoomMonitorStorage {
    explicit RoomMonitorStorage(CADODatabase *database) : recordset(database) {}
    CMyEvent event;
    CDeviceComCtrl command;
    CADOMyRecordset recordset;
};
