// The connection and recordsets on the embedded engine: opening and its
// error codes, field conversions, record counts, failures and their texts.
#include "database_fixture.h"

#include "database/com_error.h"
#include "platform/gbk.h"

#include <QDir>
#include <QFile>

namespace {

using ConnectionTest = DatabaseTest;

TEST_F(ConnectionTest, OpensVeltoDbWhateverTheServerString)
{
    InstallSeed();
    ASSERT_TRUE(OpenServer()) << m_db.GetLastErrorText();
    EXPECT_TRUE(m_db.IsOpen());
    EXPECT_EQ(m_db.GetConnectionString(), kServerLogin);
    EXPECT_EQ(QueryField("select Value from sysoptions where Optioncode=13", "Value"), "180");
}

TEST_F(ConnectionTest, MissingDatabaseIsARefusedLogin)
{
    EXPECT_FALSE(OpenServer());
    EXPECT_EQ(m_db.GetLastError(), database::kErrLoginRefused);
    EXPECT_FALSE(QFile::exists(Path("velto.db"))) << "a refused login must not create the database";
    const std::string text = m_db.GetLastErrorText();
    EXPECT_EQ(text.rfind(std::string("Connection String = ") + kServerLogin + "\nCADODataBase Error\n\tCode = 80040e4d\n"
                         "\tCode meaning = IDispatch error #3149\n\tSource = ", 0), 0u) << text;
    EXPECT_NE(text.find("\tDescription = " + m_db.GetErrorDescription() + "\n"), std::string::npos);
}

TEST_F(ConnectionTest, UnusableDirectoryIsAServerNotAnswering)
{
    database::EngineSettings settings;
    settings.directory = Path("no-such-folder");
    database::SetEngineSettings(settings);
    EXPECT_FALSE(OpenServer());
    EXPECT_EQ(m_db.GetLastError(), database::kErrServerNotAnswering);
    EXPECT_NE(m_db.GetLastErrorText().find("Code meaning = Unspecified error"), std::string::npos);
}

TEST_F(ConnectionTest, AdministratorLogsInWithoutTheDatabase)
{
    ASSERT_TRUE(m_db.Open("Driver={SQL Server};Server=127.0.0.1;Uid=sa;Pwd=;")) << m_db.GetLastErrorText();
    EXPECT_FALSE(QFile::exists(Path("velto.db")));
}

TEST_F(ConnectionTest, EmptyStringReopensWithTheStoredOne)
{
    InstallSeed();
    ASSERT_TRUE(OpenServer());
    m_db.Close();
    EXPECT_FALSE(m_db.IsOpen());
    ASSERT_TRUE(m_db.Open());
    EXPECT_EQ(m_db.GetConnectionString(), kServerLogin);
    EXPECT_TRUE(m_db.IsOpen());
}

TEST_F(ConnectionTest, ClosedConnectionRunsNothingAndKeepsTheLastError)
{
    InstallSeed();
    ASSERT_TRUE(OpenServer());
    CADOMyRecordset recordset(&m_db);
    ASSERT_FALSE(recordset.Exec("selec 1"));
    const std::string before = recordset.GetLastErrorText();
    m_db.Close();
    int affected = 77;
    EXPECT_FALSE(recordset.Exec("update sysoptions set Value='9'", &affected));
    EXPECT_EQ(affected, 77);
    EXPECT_EQ(recordset.GetLastErrorText(), before);
    EXPECT_FALSE(recordset.IsOpen());
    EXPECT_EQ(recordset.GetRecordCount(), 0);
    EXPECT_EQ(recordset.GetFieldString("Value"), "");
    ASSERT_TRUE(m_db.Open());
    EXPECT_EQ(QueryField("select Value from sysoptions where Optioncode=14", "Value"), "5");
}

TEST_F(ConnectionTest, RecordsetOutlivingTheDatabaseStaysSafe)
{
    InstallSeed();
    auto db = std::make_unique<CADODatabase>();
    ASSERT_TRUE(db->Open(kServerLogin));
    CADOMyRecordset recordset(db.get());
    ASSERT_TRUE(recordset.Exec("select * from sysoptions"));
    db.reset();
    EXPECT_FALSE(recordset.IsOpen());
    EXPECT_FALSE(recordset.Exec("select * from sysoptions"));
    recordset.Close();
}

class RecordsetTest : public DatabaseTest {
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        InstallSeed();
        ASSERT_TRUE(OpenServer());
        MustExec("create table kinds (i int, b boolean, r real, t varchar(20), d datetime, n int, x blob, "
                 "[f] [bit] NULL, g bit)");
        MustExec("insert into kinds values(-42, 1, 2.5, 'text', '2016-05-11 08:03:09', NULL, x'00ff', 1, NULL)");
        MustExec("insert into kinds values(7, 0, 0.1, '客房', NULL, 1, NULL, 0, 1)");
    }
};

TEST_F(RecordsetTest, FieldsReadAsText)
{
    struct Case {
        const char *field;
        const char *first;
        const char *second;
    };
    const Case cases[] = {
        {"i", "-42", "7"},
        {"b", "T", "F"},
        {"f", "T", "F"}, // SQL Server's bit, as a table script declares it
        {"g", "", "T"},
        {"r", "2.5", "0.10000000000000000555"},
        {"t", "text", "客房"},
        {"d", "2016-05-11 08:03:09", ""},
        {"n", "", "1"},
        {"I", "-42", "7"}, // names as the program spells them
    };
    CADOMyRecordset recordset(&m_db);
    ASSERT_TRUE(recordset.Exec("select * from kinds order by i"));
    for (const Case &c : cases)
        EXPECT_EQ(recordset.GetFieldString(c.field), c.first) << c.field;
    recordset.MoveNext();
    for (const Case &c : cases)
        EXPECT_EQ(recordset.GetFieldString(c.field), c.second) << c.field;
    recordset.MoveNext();
    EXPECT_TRUE(recordset.IsEof());
}

TEST_F(RecordsetTest, UnreadableFieldsFailAndLeaveTheTextUnchanged)
{
    CADOMyRecordset recordset(&m_db);
    ASSERT_TRUE(recordset.Exec("select * from kinds where i=-42"));
    std::string value = "kept";
    EXPECT_FALSE(recordset.GetFieldValue("x", value)); // binary data has no text form
    EXPECT_FALSE(recordset.GetFieldValue("RMNAME", value));
    EXPECT_EQ(value, "kept");
    EXPECT_EQ(recordset.GetLastError(), database::kErrItemNotFound);
    EXPECT_EQ(recordset.GetLastErrorText().rfind("Query = select * from kinds where i=-42\nCADORecordset Error\n"
                                                 "\tCode = 800a0cc1\n", 0), 0u);
    EXPECT_EQ(recordset.GetFieldString("RMNAME"), "");
    recordset.MoveNext();
    EXPECT_FALSE(recordset.GetFieldValue("i", value));
    EXPECT_EQ(recordset.GetLastError(), database::kErrNoCurrentRecord);
}

TEST_F(RecordsetTest, RecordCountIsTheWholeResultAndMovesNothing)
{
    MustExec("insert into kinds(i) values(100)");
    CADOMyRecordset recordset(&m_db);
    ASSERT_TRUE(recordset.Exec("select i from kinds order by i"));
    EXPECT_EQ(recordset.GetRecordCount(), 3);
    EXPECT_EQ(recordset.GetFieldString("i"), "-42");
    recordset.MoveNext();
    const std::string second = recordset.GetFieldString("i");
    EXPECT_EQ(recordset.GetRecordCount(), 3);
    EXPECT_EQ(recordset.GetFieldString("i"), second);
    recordset.MoveNext();
    recordset.MoveNext();
    ASSERT_TRUE(recordset.IsEof());
    EXPECT_EQ(recordset.GetRecordCount(), 3);
    EXPECT_TRUE(recordset.IsEof());
    ASSERT_TRUE(recordset.Exec("select i from kinds where i > 1000"));
    EXPECT_EQ(recordset.GetRecordCount(), 0);
    EXPECT_TRUE(recordset.IsEof());
    ASSERT_TRUE(recordset.Exec("insert into kinds(i) values(5)"));
    EXPECT_EQ(recordset.GetRecordCount(), 0);
    EXPECT_FALSE(recordset.IsOpen());
}

TEST_F(RecordsetTest, AffectedRowsAndFailures)
{
    CADOMyRecordset recordset(&m_db);
    int affected = -1;
    ASSERT_TRUE(recordset.Exec("update kinds set n=2 where i=12345", &affected));
    EXPECT_EQ(affected, 0);
    ASSERT_TRUE(recordset.Exec("update kinds set n=2", &affected));
    EXPECT_EQ(affected, 2);
    EXPECT_FALSE(recordset.Exec("SELEC * from kinds"));
    EXPECT_EQ(recordset.GetLastError(), database::kErrInCommand);
    const std::string text = recordset.GetLastErrorText();
    EXPECT_EQ(text.rfind("Query = SELEC * from kinds\nCADORecordset Error\n\tCode = 80040e14\n"
                         "\tCode meaning = IDispatch error #3092\n", 0), 0u) << text;
    EXPECT_NE(text.find("near \"SELEC\": syntax error"), std::string::npos) << text;
    EXPECT_EQ(recordset.GetQuery(), "SELEC * from kinds");
}

TEST_F(RecordsetTest, GbkTextRoundTripsAsUtf8InTheFile)
{
    MustExec("insert into kinds(i, t) values(9, '紧急呼叫')");
    EXPECT_EQ(QueryField("select t from kinds where t = '紧急呼叫'", "t"), "紧急呼叫");
    EXPECT_EQ(QueryField("select hex(t) as h from kinds where i=9", "h"), "E7B4A7E680A5E591BCE58FAB"); // UTF-8
}

// What a recordset still holds of its last result's rows.
class RowStorageProbe : public CADOMyRecordset {
public:
    using CADOMyRecordset::CADOMyRecordset;
    size_t HeldValues() const { return m_result.values.capacity(); }
};

TEST_F(RecordsetTest, CloseGivesBackTheRowsOfALargeResult)
{
    RowStorageProbe recordset(&m_db);
    ASSERT_TRUE(recordset.Exec("with recursive n(x) as (select 1 union all select x + 1 from n where x < 20000) "
                               "select x from n"))
        << recordset.GetLastErrorText();
    ASSERT_EQ(recordset.GetRecordCount(), 20000);
    EXPECT_GE(recordset.HeldValues(), 20000u);
    recordset.Close();
    EXPECT_EQ(recordset.HeldValues(), 0u);
    EXPECT_TRUE(recordset.IsEof());
}

TEST_F(RecordsetTest, DateFormatApplies)
{
    CADOMyRecordset recordset(&m_db);
    ASSERT_TRUE(recordset.Exec("select d from kinds where i=-42"));
    std::string value;
    ASSERT_TRUE(recordset.GetFieldValue("d", value, "%d/%m/%Y"));
    EXPECT_EQ(value, "2016-05-11 08:03:09"); // stored as text: the engine has no date type
}

} // namespace

// Integers read as text at both ends of their range, a field asked again
// the same.
TEST_F(RecordsetTest, IntegersAtTheirEndsReadAsText)
{
    CADOMyRecordset recordset(&m_db);
    ASSERT_TRUE(recordset.Exec("select 9223372036854775807 as big, -9223372036854775807 - 1 as small, 0 as zero, "
                               "-7 as minus"));
    EXPECT_EQ(recordset.GetFieldString("big"), "9223372036854775807");
    EXPECT_EQ(recordset.GetFieldString("small"), "-9223372036854775808");
    EXPECT_EQ(recordset.GetFieldString("zero"), "0");
    EXPECT_EQ(recordset.GetFieldString("minus"), "-7");
    EXPECT_EQ(recordset.GetFieldString("big"), "9223372036854775807") << "asked again";
}
