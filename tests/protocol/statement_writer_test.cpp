// The statement writer gives the handlers' texts byte for byte as snprintf
// with %s and %d did, and refuses a text that does not fit with its NUL.
#include "protocol/event_types.h"
#include "protocol/statement_forms.h"
#include "protocol/statement_writer.h"
#include "model/room.h"

#include <climits>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>

TEST(StatementWriterTest, NumbersAndTextsAsPrintfWritesThem)
{
    for (const int value : {0, 1, -1, 9, 10, -10, 99, 255, 65535, 1000000, INT_MAX, INT_MIN, INT_MIN + 1}) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "a%d'%s'%d)", value, "\xC7\xEB\xC7\xF3", ~value);
        char out[64];
        const int n = StatementWriter(out, sizeof out).Text("a").Int(value).Text("'").Text("\xC7\xEB\xC7\xF3")
                          .Text("'").Int(~value).Text(")").Finish();
        ASSERT_EQ(n, static_cast<int>(std::string(expected).size())) << value;
        EXPECT_STREQ(out, expected) << value;
    }
}

TEST(StatementWriterTest, TextFitsOnlyWithItsNul)
{
    char out[6];
    EXPECT_EQ(StatementWriter(out, sizeof out).Text("ab").Int(-12).Finish(), 5);
    EXPECT_STREQ(out, "ab-12");
    EXPECT_EQ(StatementWriter(out, sizeof out).Text("ab").Int(-123).Finish(), -1);
    EXPECT_STREQ(out, "ab-12") << "cut as snprintf cuts it";
    EXPECT_EQ(StatementWriter(out, sizeof out).Text("abcdefgh").Text("ij").Finish(), -1);
    EXPECT_STREQ(out, "abcde");
    EXPECT_EQ(StatementWriter(out, 0).Finish(), -1);
}

// Every form against the format it replaced, with values at the ends of the
// range (a unit's fields come from the report as they are).
TEST(StatementWriterTest, FormsMatchTheirFormats)
{
    for (const int v : {0, 7, -3, INT_MAX, INT_MIN}) {
        char expected[kStatementSize], sql[kStatementSize];
        const EventType &type = EventTypeOf(EventKind::DoorAlarm);
        std::snprintf(expected, sizeof expected,
                      "Insert into event_msg_list(build_num, floor_num, room_num, msg_type, msg_title, "
                      "card_sn, card_id)values(%d, %d, %d, %d, '%s', %d, %d)",
                      v, 2, v, type.msgType, type.title, v, ~v);
        ASSERT_GT(FormatEventRow(sql, sizeof sql, v, 2, v, EventKind::DoorAlarm, v, ~v), 0);
        EXPECT_STREQ(sql, expected);

        std::snprintf(expected, sizeof expected,
                      "update ##REALTIMEROOM set\r\n%s =%d\r\nwhere build = %d and floor = %d and roomnum =%d\r\n",
                      "DND", v, 1, v, ~v);
        ASSERT_GT(FormatLiveRoomUpdate(sql, sizeof sql, LiveRoomColumn::Dnd, v, 1, v, ~v), 0);
        EXPECT_STREQ(sql, expected);

        stFanCoilUnit unit;
        unit.halt = v;
        unit.control = ~v;
        unit.fanSpeed = 3;
        unit.tempSensor = v;
        unit.setTemp = 26;
        unit.curTemp = ~v;
        unit.valveState = 5;
        unit.seasonMode = v;
        unit.unitId = 9;
        std::snprintf(expected, sizeof expected,
                      "Insert into fengji_his(build_num, floor_num, room_num, fengji_halt, fengji_ctrl, "
                      "fengji_speed, temp_sensor, set_temp, cur_temp, value_state, comm_state, season_mode, "
                      "fengji_id)values(%d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d)",
                      1, 2, v, unit.halt, unit.control, unit.fanSpeed, unit.tempSensor, unit.setTemp, unit.curTemp,
                      5, v, unit.seasonMode, unit.unitId);
        ASSERT_GT(FormatFanCoilUnitRow(sql, sizeof sql, 1, 2, v, unit, v), 0);
        EXPECT_STREQ(sql, expected);
    }
}
