#include "protocol/event_types.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

TEST(EventTypes, CardTypeGivesTheTitleOfTheCardInEvent)
{
    struct Case {
        uint8_t cardType;
        const char *title;
    };
    const Case cases[] = {
        {1, "客人进入房间"},         {2, "服务员进入房间"},     {0xF0, "服务员进入房间"},
        {0xF7, "服务员进入房间"},     {0xFF, "服务员进入房间"},   {3, "经理进入房间"},
        {0, "未知身份人员进入房间"}, {4, "未知身份人员进入房间"}, {0xE1, "未知身份人员进入房间"},
        {0x13, "未知身份人员进入房间"},
    };
    for (const Case &c : cases) {
        const EventType &type = EventTypeOf(CardInEvent(c.cardType));
        EXPECT_EQ(type.msgType, 5);
        EXPECT_STREQ(type.title, c.title) << int(c.cardType);
    }
}

TEST(EventTypes, TableIsInKindOrderAndNeverUsesTypes13_14_23)
{
    std::set<int> types;
    for (int i = 0; i < static_cast<int>(EventKind::Count); ++i) {
        const EventType &type = EventTypeOf(static_cast<EventKind>(i));
        EXPECT_EQ(static_cast<int>(type.kind), i);
        EXPECT_NE(type.title[0], '\0');
        types.insert(type.msgType);
    }
    std::set<int> expected;
    for (int t = 1; t <= 27; ++t)
        if (t != 13 && t != 14 && t != 23)
            expected.insert(t);
    EXPECT_EQ(types, expected);
}

TEST(EventTypes, RowStatementText)
{
    char sql[kEventRowSize];
    const int n = FormatEventRow(sql, sizeof sql, 1, 2, 5, EventKind::DoorAlarm, 0, 0);
    const std::string expected = "Insert into event_msg_list(build_num, floor_num, room_num, msg_type, msg_title, "
                                 "card_sn, card_id)values(1, 2, 5, 18, '房门未关报警', 0, 0)";
    EXPECT_EQ(std::string(sql), expected);
    EXPECT_EQ(n, static_cast<int>(expected.size()));

    // Card numbers print as signed 32-bit numbers.
    FormatEventRow(sql, sizeof sql, 1, 2, 5, EventKind::CardOut, static_cast<int32_t>(0xFFFFFFFE), 2);
    EXPECT_NE(std::string(sql).find("'拔卡断电离开房间', -2, 2)"), std::string::npos);
}

TEST(EventTypes, RowStatementFitsItsBufferOrIsRefused)
{
    char sql[kEventRowSize];
    // The widest row: every number at its widest, the longest title.
    EXPECT_GT(FormatEventRow(sql, sizeof sql, INT32_MIN, INT32_MIN, INT32_MIN, EventKind::UnknownCardIn, INT32_MIN,
                             INT32_MIN),
              0);
    char tiny[40];
    EXPECT_EQ(FormatEventRow(tiny, sizeof tiny, 1, 2, 3, EventKind::DoorAlarm, 0, 0), -1);
    EXPECT_EQ(tiny[sizeof tiny - 1], '\0');
}
