// Outside text placed in a statement stays a value.
#include "database_fixture.h"

#include "database/sql_quote.h"

namespace {

TEST(SqlQuote, DoublesEveryQuote)
{
    struct Case {
        const char *in;
        const char *out;
    };
    const Case cases[] = {
        {"", ""},
        {"admin", "admin"},
        {"O'Hara", "O''Hara"},
        {"''", "''''"},
        {"x' or '1'='1", "x'' or ''1''=''1"},
        {"客房'", "客房''"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(database::SqlQuote(c.in), c.out) << c.in;
}

using SqlQuoteFileTest = DatabaseTest;

TEST_F(SqlQuoteFileTest, HostileTextsDoNotChangeTheStatement)
{
    InstallSeed();
    ASSERT_TRUE(OpenServer());
    MustExec("Insert into user_password(user_name, password) values('admin', 'secret')");
    const char *hostile[] = {"x' or '1'='1", "'; drop table user_password; --", "a'b", "客房'"};
    for (const char *text : hostile) {
        const std::string quoted = database::SqlQuote(text);
        CADOMyRecordset recordset(&m_db);
        ASSERT_TRUE(recordset.Exec("Select * from user_password\r\nwhere\r\nuser_name = '" + quoted +
                                   "' and password = '" + quoted + "'")) << text;
        EXPECT_EQ(recordset.GetRecordCount(), 0) << text;
        MustExec("Insert into build_name(build_num, BDNAME)\r\nvalues(7, '" + quoted + "')\r\n");
        EXPECT_EQ(QueryField("select BDNAME from build_name where build_num = 7", "BDNAME"), text);
        MustExec("delete from build_name");
    }
    EXPECT_EQ(QueryField("select count(*) as n from user_password", "n"), "1");
}

} // namespace
