// The event log's bound of 500 lines and its selection rules, and the status
// texts of the window.
#include "console/kelvor_dlg.h"
#include "platform/gbk.h"

#include <gtest/gtest.h>
#include <ctime>

namespace {

class EventLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // 1700000000 is 2023-11-14 22:13:20 UTC; the stamp is local time.
        m_server.m_clock = [] { return int64_t{1700000000}; };
    }

    int Selected()
    {
        const QModelIndexList rows = m_server.LogSelection().selectedRows();
        return rows.isEmpty() ? -1 : rows.first().row();
    }
    void Select(int row)
    {
        m_server.LogSelection().setCurrentIndex(m_server.LogModel().index(row), QItemSelectionModel::ClearAndSelect);
    }
    void AddLines(int count)
    {
        for (int i = 0; i < count; ++i)
            m_server.AddLog(("line " + std::to_string(m_added++)).c_str());
    }
    QString Line(int row) { return m_server.LogModel().stringList().at(row); }

    CKelvorDlg m_server;
    int m_added = 0;
};

TEST_F(EventLogTest, LinesCarryTheLocalTimeAndTwoBlanks)
{
    m_server.AddLog("1|205 *错误报文*");
    const time_t now = 1700000000;
    struct tm local {};
    ASSERT_TRUE(localtime_r(&now, &local));
    char stamp[16];
    std::snprintf(stamp, sizeof stamp, "[%02d:%02d]  ", local.tm_hour, local.tm_min);
    EXPECT_EQ(Line(0), QString::fromLatin1(stamp) + platform::QStringFromGbk("1|205 *错误报文*"));
}

TEST_F(EventLogTest, KeepsTheLast500Lines)
{
    AddLines(501);
    ASSERT_EQ(m_server.LogModel().rowCount(), 500);
    EXPECT_TRUE(Line(0).endsWith(QLatin1String("line 1")));
    EXPECT_TRUE(Line(499).endsWith(QLatin1String("line 500")));
}

TEST_F(EventLogTest, SelectionOnTheLastLineFollowsNewLines)
{
    AddLines(1);
    EXPECT_EQ(Selected(), 0); // the first line of an empty log is selected
    AddLines(3);
    EXPECT_EQ(Selected(), 3);
    AddLines(600); // also when full
    EXPECT_EQ(Selected(), 499);
    EXPECT_TRUE(Line(499).endsWith(QLatin1String("line 603")));
}

TEST_F(EventLogTest, SelectionOnAnOlderLineStays)
{
    AddLines(10);
    Select(4);
    AddLines(5);
    EXPECT_EQ(Selected(), 4);
    EXPECT_TRUE(Line(4).endsWith(QLatin1String("line 4")));
    // Full: the selected line moves up with the list, its text kept.
    AddLines(500 - 15 + 2);
    EXPECT_EQ(Selected(), 2);
    EXPECT_TRUE(Line(2).endsWith(QLatin1String("line 4")));
}

TEST_F(EventLogTest, SelectionOnLineZeroOfAFullLogMovesToTheNextLine)
{
    AddLines(500);
    Select(0);
    AddLines(1);
    // Line 1 became line 0 and keeps the selection.
    EXPECT_EQ(Selected(), 0);
    EXPECT_TRUE(Line(0).endsWith(QLatin1String("line 1")));
}

TEST_F(EventLogTest, WithoutSelectionNewLinesStayUnselected)
{
    AddLines(3);
    m_server.LogSelection().clearSelection();
    AddLines(2);
    EXPECT_EQ(Selected(), -1);
}

// Without a display stderr is the log: the local date and time, then the
// line in UTF-8. With one (the default) stderr gets nothing.
TEST_F(EventLogTest, WithoutADisplayEachLineAlsoGoesToStderrInUtf8)
{
    const time_t now = 1700000000;
    struct tm local {};
    ASSERT_TRUE(localtime_r(&now, &local));
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S  ", &local);

    for (const bool headless : {false, true}) {
        m_server.m_logToStderr = headless;
        testing::internal::CaptureStderr();
        m_server.AddLog("1|205 *错误报文*");
        const std::string err = testing::internal::GetCapturedStderr();
        const std::string expected =
            headless ? std::string(stamp) + reinterpret_cast<const char *>(u8"1|205 *错误报文*") + "\n" : "";
        EXPECT_EQ(err, expected) << headless;
    }
}

TEST(StatusTextsTest, ClosedDatabaseShowsTheConnectionString)
{
    CKelvorDlg server;
    server.m_rcuRecvCount = 7;
    const StatusTexts t = server.GetStatusTexts();
    EXPECT_FALSE(t.dbOpen);
    EXPECT_EQ(t.dbState, std::string("服务器未连接!") + "  <连接>");
    EXPECT_TRUE(t.rcuRecv.empty()); // the counters keep their last text
    EXPECT_EQ(t.roomCount, std::string("房间数:0"));
    EXPECT_EQ(t.totalRooms, std::string("总房间数0"));
}

TEST(SendUdpTest, WithoutASocketNothingIsSentOrCounted)
{
    CKelvorDlg server;
    EXPECT_EQ(server.SendUdp(24, 3341, "127.0.0.1"), 0);
    EXPECT_EQ(server.SendUdp(22, 5000, "127.0.0.1"), 0);
    EXPECT_EQ(server.m_rcuSendCount, 0);
    EXPECT_EQ(server.m_clientSendCount, 0);
}

} // namespace
