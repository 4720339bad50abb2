// A read prepared once and run with other numbers, and the count of commits
// to the global temporary tables, on real SQLite files.
#include "database_fixture.h"

#include "database/db_connection.h"
#include "database/prepared_read.h"
#include "database/temporary_table_commits.h"

#include "support/outside_program.h"

namespace {

constexpr const char *kRoomQuery = "select RMSTATE from ##REALTIMEROOM where BUILD=%d and FLOOR =%d  and ROOMNUM =%d";

class PreparedReadTest : public DatabaseTest {
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        InstallSeed();
        ASSERT_TRUE(OpenServer());
    }
    void CreateLiveRooms()
    {
        CreateLiveRoomTable();
        for (int room = 0; room < 4; ++room)
            MustExec("insert into ##REALTIMEROOM(BUILD, FLOOR, ROOMNUM, RMSTATE)values(1, 2, " + std::to_string(room) +
                     ", " + std::to_string(room + 10) + ")");
    }
    // The PMS software: another program writing tempdb.db.
    void WriteAsOutsideProgram(const std::string &sql) { ExecAsOutsideProgram(PathStd("tempdb.db"), sql); }
    int32_t ReadRoom(database::PreparedRead &read, int room)
    {
        EXPECT_TRUE(read.Exec({1, 2, room})) << read.GetLastErrorText();
        return read.HasRow() ? read.FieldInteger("RMSTATE") : -1;
    }
};

TEST_F(PreparedReadTest, EachRunBindsItsNumbersAndReadsAsTheRecordsetDoes)
{
    CreateLiveRooms();
    CADODatabase db;
    ASSERT_TRUE(db.OpenSibling(m_db));
    database::PreparedRead read(&db, kRoomQuery);
    for (int room : {2, 0, 3, 1})
        EXPECT_EQ(ReadRoom(read, room), room + 10) << room;
    EXPECT_EQ(ReadRoom(read, 7), -1) << "no row";
    EXPECT_EQ(read.FieldInteger("RMSTATE"), 0);

    // SQLite keeps what does not fit the column's affinity; the text form
    // leads, as GetFieldString gives it.
    WriteAsOutsideProgram("update REALTIMEROOM set RMSTATE='7 rooms' where ROOMNUM=0;"
                          "update REALTIMEROOM set RMSTATE=2.75 where ROOMNUM=1;"
                          "update REALTIMEROOM set RMSTATE=9876543210 where ROOMNUM=2");
    EXPECT_EQ(ReadRoom(read, 0), 7);
    EXPECT_EQ(ReadRoom(read, 1), 2);
    EXPECT_EQ(ReadRoom(read, 2), 2147483647);
    EXPECT_TRUE(read.Exec({1, 2, 3}));
    EXPECT_EQ(read.FieldInteger("NOSUCH"), 0);
    EXPECT_EQ(read.FieldInteger("RMSTATE"), 13);

    // Closed, the read fails; reopened, it is prepared again on the new
    // connection.
    db.Close();
    EXPECT_FALSE(read.Exec({1, 2, 3}));
    ASSERT_TRUE(db.OpenSibling(m_db));
    EXPECT_EQ(ReadRoom(read, 3), 13);
}

TEST_F(PreparedReadTest, AFailureIsToldAndTheNextRunTriesAgain)
{
    CADODatabase db;
    ASSERT_TRUE(db.OpenSibling(m_db));
    database::PreparedRead read(&db, kRoomQuery);
    EXPECT_FALSE(read.Exec({1, 2, 3}));
    EXPECT_NE(read.GetLastErrorText().find("no such table"), std::string::npos) << read.GetLastErrorText();
    EXPECT_EQ(read.GetLastErrorText().rfind("Query = select RMSTATE from ##REALTIMEROOM where BUILD=?", 0), 0u)
        << read.GetLastErrorText();
    EXPECT_FALSE(read.Exec({1, 2})) << "one value short";
    CreateLiveRooms();
    EXPECT_EQ(ReadRoom(read, 3), 13);
}

// The server's own connection groups its writes: a read there runs as any
// recordset's, formatted, so the batch's rules hold for it.
TEST_F(PreparedReadTest, AConnectionWithGroupCommitReadsThroughItsRecordset)
{
    CreateLiveRooms();
    m_db.EnableGroupCommit({}, {});
    MustExec("update ##REALTIMEROOM set RMSTATE=4 where BUILD=1 and FLOOR=2 and ROOMNUM=1");
    database::PreparedRead read(&m_db, kRoomQuery);
    EXPECT_EQ(ReadRoom(read, 1), 4);
    EXPECT_EQ(ReadRoom(read, 9), -1);
}

// Commits of another connection count, whether of this process (the server's
// live-room writes) or of another program; the reader's own, and commits to
// velto.db alone, do not.
TEST_F(PreparedReadTest, CommitsToTheTemporaryTablesAreSeenByTheNextLook)
{
    CreateLiveRooms();
    CADODatabase db;
    ASSERT_TRUE(db.OpenSibling(m_db));
    database::TemporaryTableCommits commits(&db);
    EXPECT_TRUE(commits.SinceLastLook()) << "the first look";
    EXPECT_FALSE(commits.SinceLastLook());

    MustExec("update ##REALTIMEROOM set RMSTATE=5 where ROOMNUM=1");
    EXPECT_TRUE(commits.SinceLastLook()) << "the server's connection";
    EXPECT_FALSE(commits.SinceLastLook());

    m_db.EnableGroupCommit({}, {});
    MustExec("update ##REALTIMEROOM set RMSTATE=6 where ROOMNUM=1");
    EXPECT_TRUE(commits.SinceLastLook()) << "the server's live-room handle";

    WriteAsOutsideProgram("update REALTIMEROOM set RMSTATE=7 where ROOMNUM=1");
    EXPECT_TRUE(commits.SinceLastLook()) << "another program";
    EXPECT_FALSE(commits.SinceLastLook());

    MustExec("Insert into event_msg_list(build_num, floor_num, room_num, msg_type, msg_title, card_sn, card_id)"
             "values(1, 2, 7, 11, 'door', 0, 0)");
    m_db.CommitBatch();
    EXPECT_FALSE(commits.SinceLastLook()) << "velto.db alone";

    CADOMyRecordset own(&db);
    ASSERT_TRUE(own.Exec("update ##REALTIMEROOM set RMSTATE=8 where ROOMNUM=1"));
    EXPECT_FALSE(commits.SinceLastLook()) << "its own";

    db.Close();
    EXPECT_TRUE(commits.SinceLastLook()) << "closed: nothing can be told";
    ASSERT_TRUE(db.OpenSibling(m_db));
    EXPECT_TRUE(commits.SinceLastLook()) << "a new connection starts afresh";
    EXPECT_FALSE(commits.SinceLastLook());
}

} // namespace
