// The live-room update and the fan-coil history row as the database gets them.
#include "model/room.h"
#include "protocol/statement_forms.h"

#include <gtest/gtest.h>
#include <string>

TEST(StatementFormsTest, LiveRoomUpdateNamesOneColumnOfOneRoom)
{
    struct Case {
        LiveRoomColumn column;
        const char *line;
    };
    const Case cases[] = {
        {LiveRoomColumn::CardIn, "CARDIN =242\r\n"}, {LiveRoomColumn::Call, "CALL =242\r\n"},
        {LiveRoomColumn::Clean, "CLEAN =242\r\n"},   {LiveRoomColumn::Dnd, "DND =242\r\n"},
        {LiveRoomColumn::Door, "DOOR =242\r\n"},     {LiveRoomColumn::Checkout, "CHECKOUT =242\r\n"},
        {LiveRoomColumn::Service, "SERVICE =242\r\n"}, {LiveRoomColumn::RmState, "RMSTATE =242\r\n"},
    };
    for (const Case &c : cases) {
        char sql[kStatementSize];
        const int n = FormatLiveRoomUpdate(sql, sizeof sql, c.column, 242, 1, 2, 5);
        EXPECT_EQ(std::string(sql, static_cast<size_t>(n)),
                  std::string("update ##REALTIMEROOM set\r\n") + c.line + "where build = 1 and floor = 2 and roomnum =5\r\n");
    }
}

TEST(StatementFormsTest, FanCoilHistoryRowTakesTheUnitsFields)
{
    stFanCoilUnit unit;
    unit.halt = 1;
    unit.control = 2;
    unit.fanSpeed = 3;
    unit.tempSensor = 4;
    unit.setTemp = 26;
    unit.curTemp = 24;
    unit.seasonMode = 7;
    char sql[kStatementSize];
    const int n = FormatFanCoilHistoryRow(sql, sizeof sql, 1, 2, 5, unit, 1, 4);
    EXPECT_EQ(std::string(sql, static_cast<size_t>(n)),
              "Insert into fengji_his(build_num, floor_num, room_num, fengji_halt, fengji_ctrl, fengji_speed, "
              "temp_sensor, set_temp, cur_temp, value_state, comm_state, season_mode, fengji_id)"
              "values(1, 2, 5, 1, 2, 3, 4, 26, 24, 1, 1, 7, 4)");
}

TEST(StatementFormsTest, StatementThatDoesNotFitIsRefused)
{
    char sql[40];
    EXPECT_EQ(FormatLiveRoomUpdate(sql, sizeof sql, LiveRoomColumn::Call, 1, 1, 2, 5), -1);
    EXPECT_EQ(FormatFanCoilHistoryRow(sql, sizeof sql, 1, 2, 5, stFanCoilUnit{}, 1, 3), -1);
}
