// Writes that come all at once in one transaction, on the server's own
// connection with group commit: the live-room writes among them too.
#include "database_fixture.h"

#include "database/db_connection.h"

#include <sqlite3.h>

namespace {

class TransactionTest : public DatabaseTest {
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        InstallSeed();
        ASSERT_TRUE(OpenServer());
        CreateLiveRoomTable();
        m_db.EnableGroupCommit({}, {});
    }
    // What another program sees in tempdb.db.
    int OutsideRows()
    {
        sqlite3 *pms = nullptr;
        sqlite3_open_v2(PathStd("tempdb.db").c_str(), &pms, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt *count = nullptr;
        int rows = -1;
        if (sqlite3_prepare_v2(pms, "select count(*) from REALTIMEROOM", -1, &count, nullptr) == SQLITE_OK &&
            sqlite3_step(count) == SQLITE_ROW)
            rows = sqlite3_column_int(count, 0);
        sqlite3_finalize(count);
        sqlite3_close(pms);
        return rows;
    }
    void InsertRoom(int room)
    {
        MustExec("insert into ##REALTIMEROOM(BUILD, FLOOR, ROOMNUM, RMSTATE)values(1, 2, " + std::to_string(room) +
                 ", 1)");
    }
};

TEST_F(TransactionTest, TheWritesCommitTogetherAndGroupCommitResumes)
{
    InsertRoom(0);
    EXPECT_EQ(OutsideRows(), 1) << "a live-room write commits by itself";

    ASSERT_TRUE(m_db.BeginTransaction()) << m_db.GetErrorDescription();
    EXPECT_FALSE(m_db.BeginTransaction()) << "one at a time";
    for (int room = 1; room < 50; ++room)
        InsertRoom(room);
    CADOMyRecordset rs(&m_db);
    EXPECT_FALSE(rs.Exec("insert into ##REALTIMEROOM(BUILD, FLOOR, ROOMNUM, RMSTATE)values(1, 2, 99, NULL)"))
        << "a failing write fails alone";
    EXPECT_EQ(QueryField("select count(*) as N from ##REALTIMEROOM", "N"), "50") << "its own writes";
    EXPECT_EQ(OutsideRows(), 1) << "nothing seen before the commit";
    ASSERT_TRUE(m_db.CommitTransaction()) << m_db.GetErrorDescription();
    EXPECT_EQ(OutsideRows(), 50);
    EXPECT_TRUE(m_db.CommitTransaction()) << "none open: nothing to do";

    MustExec("Insert into event_msg_list(build_num, floor_num, room_num, msg_type, msg_title, card_sn, card_id)"
             "values(1, 2, 7, 11, 'door', 0, 0)");
    EXPECT_TRUE(m_db.GetActiveConnection()->BatchOpen()) << "group commit is back";
    InsertRoom(50);
    EXPECT_EQ(OutsideRows(), 51);
}

TEST_F(TransactionTest, CloseCommitsAnOpenOneAndAClosedConnectionRefuses)
{
    ASSERT_TRUE(m_db.BeginTransaction());
    InsertRoom(1);
    m_db.Close();
    EXPECT_EQ(OutsideRows(), 1);
    EXPECT_FALSE(m_db.BeginTransaction());
    EXPECT_EQ(m_db.GetErrorDescription(), "the connection is closed");
}

} // namespace
