// Every SQL Server form the program sends, through the compatibility step and
// against a real SQLite file.
#include "database_fixture.h"

#include "database/sqlite_dialect.h"
#include "platform/gbk.h"

#include <QFile>
#include <sqlite3.h>

namespace {

using database::SqliteDialect;
using database::SqliteStatement;
using Kind = SqliteStatement::Kind;

const char kCreateLiveRooms[] =
    "CREATE TABLE ##REALTIMEROOM ([INDEX] [int] IDENTITY (1, 1) NOT NULL ,[BUILD] [tinyint] NOT NULL ,[FLOOR] [tinyint] NOT NULL ,"
    "[ROOMNUM] [tinyint] NOT NULL ,[CLEAN] [tinyint] NOT NULL ,[DND] [tinyint] NOT NULL ,[RMSTATE] [tinyint] NOT NULL,"
    "[CHECKOUT] [tinyint] NOT NULL,[SERVICE] [tinyint] NOT NULL,[CALL] [tinyint] NOT NULL,[CARDIN] [tinyint] NOT NULL,"
    "[DOOR] [tinyint] NOT NULL) ON [PRIMARY]";

const char kInsertLiveRoom[] =
    "insert into ##REALTIMEROOM(BUILD, FLOOR, ROOMNUM, CLEAN, DND, RMSTATE, CHECKOUT, SERVICE,CALL, CARDIN, DOOR)"
    "values(1, 2, 3, 0, 0, 1, 0, 0, 0, 0, 0)";

TEST(SqliteDialectTranslate, RewritesOnlyOutsideLiterals)
{
    struct Case {
        const char *in;
        const char *out;
    };
    const Case cases[] = {
        {"select RMSTATE from ##REALTIMEROOM where BUILD=1", "select RMSTATE from tempdb.REALTIMEROOM where BUILD=1"},
        {"insert into t(a) values('##REALTIMEROOM')", "insert into t(a) values('##REALTIMEROOM')"},
        {"insert into t(a) values('it''s ##X') -- ##Y", "insert into t(a) values('it''s ##X') -- tempdb.Y"},
        {"update ##T set a='##', b='x''##'##U where c=##V", "update tempdb.T set a='##', b='x''##'tempdb.U where c=tempdb.V"},
        {"update ##T set a='#'#", "update tempdb.T set a='#'#"},
        {"update ##T set a='open ##X", "update tempdb.T set a='open ##X"},
        {"update ##a set b=##b,c=##c,d=##d,e=##e,f=##f,g=##g,h=##h,i=##i,j='##'",
         "update tempdb.a set b=tempdb.b,c=tempdb.c,d=tempdb.d,e=tempdb.e,f=tempdb.f,g=tempdb.g,h=tempdb.h,i=tempdb.i,j='##'"},
        {"CREATE TABLE ##T ([I] [int] IDENTITY (1, 1) NOT NULL ,[B] [tinyint] NOT NULL) ON [PRIMARY]",
         "CREATE TABLE tempdb.T ([I] INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL ,[B] [tinyint] NOT NULL)"},
        {"CREATE INDEX IX_R ON ##REALTIMEROOM (BUILD, FLOOR, ROOMNUM)",
         "CREATE INDEX tempdb.IX_R ON REALTIMEROOM (BUILD, FLOOR, ROOMNUM)"},
        // Runs of # taken in pairs from the left; a lone # stays.
        {"update ###T set a=1", "update tempdb.#T set a=1"},
        {"update ####T set a=1", "update tempdb.tempdb.T set a=1"},
        {"select * from #x, ##y, #", "select * from #x, tempdb.y, #"},
        {"insert into ##a select * from ##b##", "insert into tempdb.a select * from tempdb.btempdb."},
        {"##", "tempdb."},
        {"select * from sysoptions where Optioncode=1", "select * from sysoptions where Optioncode=1"},
        {"UpdateSysOptions 16,1,'0'", "UPDATE sysoptions SET Disabled=1, Value='0' WHERE Optioncode=16"},
        {"exec UpdateSysOptions 2, 0, 'a''b'", "UPDATE sysoptions SET Disabled=0, Value='a''b' WHERE Optioncode=2"},
    };
    for (const Case &c : cases) {
        const SqliteStatement statement = SqliteDialect::Translate(QString::fromUtf8(c.in));
        EXPECT_EQ(statement.kind, Kind::Query) << c.in;
        EXPECT_EQ(statement.sql.toStdString(), c.out) << c.in;
    }
}

TEST(SqliteDialectTranslate, RecognisesActions)
{
    struct Case {
        const char *in;
        Kind kind;
        const char *path;
    };
    const Case cases[] = {
        {"BACKUP DATABASE velto\r\nTO DISK ='/srv/velto20160511-093005.bak'", Kind::Backup, "/srv/velto20160511-093005.bak"},
        {"RESTORE  DATABASE velto\r\nFROM DISK ='/run\\velto.bak'\r\nWITH MOVE 'velto_data' TO '/run\\velto.mdf',\r\n"
         "MOVE 'velto_log' TO '/run\\velto.ldf'\r\n", Kind::Restore, "/run\\velto.bak"},
        {"RESTORE DATABASE velto FROM DISK ='/a/O''Brien.bak' WITH REPLACE", Kind::Restore, "/a/O'Brien.bak"},
        {"use velto", Kind::Ignored, ""},
        {"EXEC sp_addlogin 'velto', 'qubra', 'velto'", Kind::Ignored, ""},
        {"EXEC sp_change_users_login 'Update_One', 'velto', 'velto'", Kind::Ignored, ""},
    };
    for (const Case &c : cases) {
        const SqliteStatement statement = SqliteDialect::Translate(QString::fromUtf8(c.in));
        EXPECT_EQ(statement.kind, c.kind) << c.in;
        EXPECT_EQ(statement.path.toStdString(), c.path) << c.in;
        if (c.kind != Kind::Ignored) {
            EXPECT_EQ(statement.database.toStdString(), "velto");
        }
    }
}

class DialectFileTest : public DatabaseTest {
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        InstallSeed();
        ASSERT_TRUE(OpenServer()) << m_db.GetLastErrorText();
    }
};

// The statements in the program's own texts, in the order a server run
// sends them, with what each must leave behind.
TEST_F(DialectFileTest, ProgramStatementsRun)
{
    struct Case {
        std::string sql;
        int affected; // -1: a result set
    };
    const Case cases[] = {
        {"select MAX(MSG_INDEX) as RET from event_msg_list", -1},
        {kCreateLiveRooms, 0},
        {"CREATE INDEX IX_REALTIMEROOM_ROOM ON ##REALTIMEROOM (BUILD, FLOOR, ROOMNUM)", 0},
        {"select col_length('room_ip_list', 'RMNAME')", -1},
        {"select * from room_ip_list\r\nwhere\r\nBUILD_NUM=1 and FLOOR_NUM = 2 and ROOM_NUM =3", -1},
        {kInsertLiveRoom, 1},
        {"select col_length('build_name', 'BDNAME')", -1},
        {"select * from build_name\r\nwhere\r\nBUILD_NUM=1", -1},
        {"Insert into event_msg_list(build_num, floor_num, room_num, msg_type, msg_title, card_sn, card_id)"
         "values(1, 2, 3, 3, '紧急呼叫', 0, 0)", 1},
        {"update ##REALTIMEROOM set\r\nCALL =1\r\nwhere build = 1 and floor = 2 and roomnum =3\r\n", 1},
        {"update ##REALTIMEROOM set\r\nRMSTATE =2\r\nwhere build = 1 and floor = 2 and roomnum =3\r\n", 1},
        {"select RMSTATE from ##REALTIMEROOM where BUILD=1 and FLOOR =2  and ROOMNUM =3", -1},
        {"Insert into fengji_his(build_num, floor_num, room_num, fengji_halt, fengji_ctrl, fengji_speed, temp_sensor, "
         "set_temp, cur_temp, value_state, comm_state, season_mode, fengji_id)"
         "values(1, 2, 3, 0, 1, 2, 1, 24, 26, 1, 0, 1, 0)", 1},
        {"Insert into lock_log(cardnum, cardtype, time, build, floor, room)values(-5, 1, '2016-05-11 08:03:09',1, 2, 3)", 1},
        {"Insert into lock_log(cardnum, cardtype, time, build, floor, room)values(7, 2, '2016-5-11 9:7:3',1, 2, 3)", 1},
        {"select * from tblsystemp where bandid =0 and unitband=1 and floorband =2  and roomband =3", -1},
        {"update tblsystemp set\r\ntypeid =2\r\nwhere bandid =0 and unitband = 1 and floorband = 2 and roomband =3\r\n", 0},
        {"update tbltemp set\r\nisstatus =3, dimhign=1, dimcentre=2, dimlow=3, coldhign=4, coldcentre=5, coldlow=6\r\n"
         "where unitband = 1 and floorband = 2 and roomband=3 and bandid = 0\r\n", 0},
        {"Insert into user_password(user_name, password, group_id, user_type, build_num, floor_num, canschemeset, "
         "canctrlroomfengji, canlistmsg, canprint, canviewreport, cansystemadmin, canviewroomstate, canviewrealstate, "
         "canctrlroomstate,  canuserman, canviewlog, canviewfloor)\r\n"
         "values('admin','pw',0, 0,0,0,1,1,1,1,1,1,1,1,1,1,1,1)\r\n", 1},
        {"select * from user_password\r\nwhere\r\nUSER_NAME ='admin'\r\n", -1},
        {"Select * from user_password\r\nwhere\r\nuser_name = 'Admin' and password = 'pw'", -1},
        {"update user_password set\r\nPASSWORD ='new', canschemeset=1, canctrlroomfengji=1, canlistmsg=1, canprint=1, "
         "canviewreport=1, cansystemadmin=1, canviewroomstate=1, canviewrealstate=1, canctrlroomstate=1,  canuserman=1, "
         "canviewlog=1, canviewfloor=1\r\nwhere user_name = 'admin'\r\n", 1},
        {"select * from user_group \r\nwhere\r\nGROUP_TYPE=0", -1},
        {"Insert into system_run_log(msg_title, msg_content, msg_type)values('用户登录', 'admin登录服务器', 1)", 1},
        {"Insert into room_ip_list(build_num, floor_num, room_num, rmname, ip_addr)\r\nvalues(1, 2,3,'A301', 0)\r\n", 1},
        {"update room_ip_list set\r\nip_addr =16909060\r\nwhere build_num = 1 and floor_num = 2 and room_num =3\r\n", 1},
        {"Select * from room_ip_list where RMNAME = 'a301'", -1},
        {"Select * from room_ip_list\r\nwhere\r\nbuild_num = 1 and floor_num = 2 and room_num =3", -1},
        {"update room_ip_list set\r\nip_addr2 =16909061\r\nwhere build_num = 1 and floor_num = 2 and room_num =3\r\n", 1},
        {"Select RMNAME from room_ip_list\r\nwhere\r\nbuild_num = 1 and floor_num = 2 and room_num =3", -1},
        {"update room_ip_list set\r\nrmname ='A302'\r\nwhere build_num = 1 and floor_num = 2 and room_num =3\r\n", 1},
        {"update room_ip_list set\r\naddr =7\r\nwhere build_num = 1 and floor_num = 2 and room_num =3\r\n", 1},
        {"Insert into room_ip_list(build_num, floor_num, room_num, ip_addr)\r\nvalues(1, 2,4,16909060)\r\n", 1},
        {"Insert into room_ip_list(build_num, floor_num, room_num, ip_addr2, ip_addr)\r\nvalues(1, 2,5,16909061,0)\r\n", 1},
        {"Insert into room_ip_list(build_num, floor_num, room_num, addr, ip_addr)\r\nvalues(1, 2,6,9, 0)\r\n", 1},
        {"Insert into build_name(build_num, BDNAME)\r\nvalues(1, '主楼')\r\n", 1},
        {"Select BDNAME from build_name\r\nwhere\r\nbuild_num = 1", -1},
        {"update build_name set\r\nBDNAME ='东楼'\r\nwhere build_num = 1\r\n", 1},
        {"select * from event_msg_list\r\nwhere\r\nMSG_INDEX > 0", -1},
        {"UpdateSysOptions 16,1,'0'", 1},
        {"use velto", 0},
        {"EXEC sp_addlogin 'velto', 'qubra', 'velto'", 0},
        {"EXEC sp_change_users_login 'Update_One', 'velto', 'velto'", 0},
    };
    for (const Case &c : cases) {
        CADOMyRecordset recordset(&m_db);
        int affected = -2;
        ASSERT_TRUE(recordset.Exec(c.sql, &affected)) << c.sql << "\n" << recordset.GetLastErrorText();
        EXPECT_EQ(affected, c.affected) << c.sql;
    }
    EXPECT_EQ(QueryField("select RMSTATE from ##REALTIMEROOM where BUILD=1 and FLOOR =2  and ROOMNUM =3", "RMSTATE"), "2");
    EXPECT_EQ(QueryField("select * from ##REALTIMEROOM", "CALL"), "1");
    EXPECT_EQ(QueryField("select * from ##REALTIMEROOM", "INDEX"), "1");
    EXPECT_EQ(QueryField("select MAX(MSG_INDEX) as RET from event_msg_list", "RET"), "1");
    EXPECT_EQ(QueryField("Select * from room_ip_list where RMNAME = 'a302'", "room_num"), "3");
    EXPECT_EQ(QueryField("select * from sysoptions where Optioncode=16", "Disabled"), "1");
    EXPECT_EQ(QueryField("select * from lock_log", "time"), "2016-05-11 08:03:09");
    EXPECT_EQ(QueryField("Select * from room_ip_list where RMNAME = 'a302'", "addr"), "7");
    EXPECT_EQ(QueryField("Select * from room_ip_list where RMNAME = 'a302'", "ip_addr2"), "16909061");
    EXPECT_EQ(QueryField("select count(*) as n from room_ip_list", "n"), "4");
    EXPECT_EQ(QueryField("select BDNAME from build_name where build_num = 1", "BDNAME"), "东楼");
    EXPECT_EQ(QueryField("select PASSWORD from user_password where user_name = 'admin'", "PASSWORD"), "new");
}

TEST_F(DialectFileTest, ColumnLengthIsNullForAMissingColumn)
{
    MustExec("create table old_rooms (BUILD_NUM int, IP_ADDR int)");
    MustExec(kCreateLiveRooms);
    struct Case {
        const char *sql;
        bool null;
    };
    const Case cases[] = {
        {"select col_length('room_ip_list', 'RMNAME')", false},
        {"select col_length('ROOM_IP_LIST', 'rmname')", false},
        {"select col_length('old_rooms', 'RMNAME')", true},
        {"select col_length('no_table', 'RMNAME')", true},
        {"select col_length('##REALTIMEROOM', 'RMSTATE')", false},
    };
    for (const Case &c : cases) {
        CADOMyRecordset recordset(&m_db);
        ASSERT_TRUE(recordset.Exec(c.sql)) << c.sql;
        ASSERT_EQ(recordset.GetRecordCount(), 1) << c.sql;
        EXPECT_EQ(recordset.IsFieldNull(0), c.null) << c.sql;
    }
}

TEST_F(DialectFileTest, UpdateSysOptionsChangesOnlyAnExistingRow)
{
    EXPECT_EQ(MustExec("UpdateSysOptions 1,0,'2'"), 1);
    EXPECT_EQ(MustExec("UpdateSysOptions 99,0,'2'"), 0);
    EXPECT_EQ(QueryField("select * from sysoptions where Optioncode=1", "Value"), "2");
}

TEST_F(DialectFileTest, LiveRoomTableCanBeCreatedOncePerRun)
{
    MustExec(kCreateLiveRooms);
    CADOMyRecordset recordset(&m_db);
    EXPECT_FALSE(recordset.Exec(kCreateLiveRooms)); // as a second server on one SQL Server
    EXPECT_FALSE(QFile::exists(Path("velto.db-REALTIMEROOM")));
    EXPECT_TRUE(QFile::exists(Path("tempdb.db")));
}

TEST_F(DialectFileTest, BackupIsAConsistentCopyWhileInUse)
{
    MustExec("Insert into event_msg_list(build_num, floor_num, room_num, msg_type, msg_title, card_sn, card_id)"
             "values(1, 2, 3, 11, '房门打开', 0, 0)");
    CADOMyRecordset open(&m_db); // a result still being read
    ASSERT_TRUE(open.Exec("select * from event_msg_list"));
    const std::string target = PathStd("velto20160511-093005.bak");
    EXPECT_EQ(MustExec("BACKUP DATABASE velto\r\nTO DISK ='" + target + "'"), 0);
    EXPECT_EQ(MustExec("BACKUP DATABASE velto\r\nTO DISK ='" + target + "'"), 0); // replaces
    sqlite3 *copy = nullptr;
    ASSERT_EQ(sqlite3_open_v2(target.c_str(), &copy, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt *statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(copy, "select msg_title from event_msg_list", -1, &statement, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0))),
              platform::Utf8FromGbk("房门打开"));
    sqlite3_finalize(statement);
    sqlite3_close(copy);

    CADOMyRecordset failing(&m_db);
    EXPECT_FALSE(failing.Exec("BACKUP DATABASE velto\r\nTO DISK ='" + PathStd("missing/dir.bak") + "'"));
}

TEST_F(DialectFileTest, OperatorRestoreReplacesTheLiveDatabase)
{
    const std::string backup = PathStd("before.bak");
    MustExec("BACKUP DATABASE velto\r\nTO DISK ='" + backup + "'");
    MustExec("Insert into build_name(build_num, BDNAME)\r\nvalues(1, 'later')\r\n");
    MustExec(kCreateLiveRooms);
    MustExec(kInsertLiveRoom);
    CADODatabase other; // a second connection, as the poller's
    ASSERT_TRUE(other.OpenSibling(m_db));

    EXPECT_EQ(MustExec("RESTORE DATABASE velto FROM DISK ='" + backup + "' WITH REPLACE"), 0);
    CADOMyRecordset recordset(&m_db);
    ASSERT_TRUE(recordset.Exec("select * from build_name"));
    EXPECT_EQ(recordset.GetRecordCount(), 0);
    CADOMyRecordset seen(&other);
    ASSERT_TRUE(seen.Exec("select * from build_name"));
    EXPECT_EQ(seen.GetRecordCount(), 0);
    EXPECT_EQ(QueryField("select * from ##REALTIMEROOM", "RMSTATE"), "1") << "the live rooms are not in the backup";
    EXPECT_EQ(QueryField("pragma journal_mode", "journal_mode"), "wal");

    QFile bad(Path("bad.bak"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write(QByteArray(8192, 'x'));
    bad.close();
    CADOMyRecordset failing(&m_db);
    EXPECT_FALSE(failing.Exec("RESTORE DATABASE velto FROM DISK ='" + PathStd("bad.bak") + "'"));
    EXPECT_FALSE(failing.Exec("RESTORE DATABASE velto FROM DISK ='" + PathStd("none.bak") + "'"));
    EXPECT_EQ(QueryField("select * from sysoptions where Optioncode=13", "Value"), "180");
}

// The repair path of a first start: the program's login is refused, the
// administrator restores velto.bak (named Windows-style), and the program's
// login then works.
TEST_F(DatabaseTest, FirstStartRepairRestoresTheSeed)
{
    InstallSeed(QStringLiteral("velto.bak"));
    ASSERT_FALSE(OpenServer());
    ASSERT_EQ(m_db.GetLastError(), database::kErrLoginRefused);
    ASSERT_TRUE(m_db.Open("Driver={SQL Server};Server=127.0.0.1;Uid=sa;Pwd=secret;"));
    const std::string dir = PathStd();
    const std::string statements[] = {
        "RESTORE  DATABASE velto\r\nFROM DISK ='" + dir + "\\velto.bak'\r\nWITH MOVE 'velto_data' TO '" + dir +
            "\\velto.mdf',\r\nMOVE 'velto_log' TO '" + dir + "\\velto.ldf'\r\n",
        "use velto",
        "EXEC sp_addlogin 'velto', 'qubra', 'velto'",
        "EXEC sp_change_users_login 'Update_One', 'velto', 'velto'",
    };
    for (const std::string &sql : statements)
        MustExec(sql);
    m_db.Close();
    ASSERT_TRUE(m_db.Open("Driver={SQL Server};Server=.;Uid=velto;Pwd=qubra;")) << m_db.GetLastErrorText();
    EXPECT_EQ(QueryField("select * from sysoptions where Optioncode=15", "Value"), "40");
}

// A server run starts with an empty tempdb, whatever the last run left.
TEST_F(DatabaseTest, ANewRunStartsWithoutLiveRooms)
{
    InstallSeed();
    sqlite3 *left = nullptr;
    ASSERT_EQ(sqlite3_open(PathStd("tempdb.db").c_str(), &left), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(left, "create table REALTIMEROOM (x int)", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(left);
    ASSERT_TRUE(OpenServer());
    EXPECT_EQ(MustExec(kCreateLiveRooms), 0);
}

// Which writes leave the group-commit batch: those whose target is a
// global temporary table, and no write that only mentions one.
TEST(DialectTest, WritesOfTemporaryTablesAreKnownByTheirTarget)
{
    const std::pair<const char *, bool> cases[] = {
        {"update ##REALTIMEROOM set\r\nDOOR =1\r\nwhere build = 1", true},
        {"  INSERT INTO ##REALTIMEROOM(BUILD)values(1)", true},
        {"insert ##T values(1)", true},
        {"delete from ##T where a = 1", true},
        {"DELETE ##T", true},
        {"select * from ##REALTIMEROOM", false},
        {"insert into event_msg_list(msg_title)values('##x')", false},
        {"update t set a = (select a from ##T)", false},
        {"updated ##T", false},
        {"CREATE TABLE ##T (a int)", false},
    };
    for (const auto &[text, writes] : cases)
        EXPECT_EQ(SqliteDialect::WritesTemporaryTable(QString::fromLatin1(text)), writes) << text;
}

} // namespace
