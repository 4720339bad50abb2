#include "protocol/event_row.h"

#include "database/ado_recordset.h"

#include <string_view>

bool WriteEventRow(CADOMyRecordset &recordset, int buildNum, int floorNum, int roomNum, EventKind kind,
                   int32_t cardSn, int cardId)
{
    char sql[kEventRowSize];
    const int length = FormatEventRow(sql, sizeof sql, buildNum, floorNum, roomNum, kind, cardSn, cardId);
    if (length < 0)
        return false;
    const bool ok = recordset.Exec(std::string_view(sql, static_cast<size_t>(length)));
    recordset.Close();
    return ok;
}
