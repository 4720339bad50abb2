// The two database scripts describe one database: the seed made from the
// SQLite script and the SQL Server script have the same tables, columns and
// option rows, and every table the server uses is there.
#include "database_fixture.h"

#include <QFile>
#include <QRegularExpression>

#include <map>
#include <set>

namespace {

using Tables = std::map<std::string, std::set<std::string>>; // names in lower case

std::string Lower(const QString &text) { return text.toLower().toStdString(); }

// CREATE TABLE blocks of the SQL Server script: one column per line.
Tables SqlServerTables(const QString &script)
{
    Tables tables;
    const QRegularExpression create(QStringLiteral(R"(CREATE TABLE (\w+) \((.*?)\n\)\s*\nGO)"),
                                    QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpression column(QStringLiteral(R"(^\s+\[?(\w+)\]?\s+\w)"), QRegularExpression::MultilineOption);
    for (auto table = create.globalMatch(script); table.hasNext();) {
        const QRegularExpressionMatch t = table.next();
        std::set<std::string> &columns = tables[Lower(t.captured(1))];
        for (auto c = column.globalMatch(t.captured(2)); c.hasNext();) {
            const QString name = c.next().captured(1);
            if (name.compare(QLatin1String("CONSTRAINT"), Qt::CaseInsensitive) != 0)
                columns.insert(Lower(name));
        }
    }
    return tables;
}

class SchemaTest : public DatabaseTest {
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        InstallSeed();
        ASSERT_TRUE(OpenServer()) << m_db.GetLastErrorText();
        QFile file(QStringLiteral(KELVOR_TEST_DATA "/../../schema/sqlserver.sql"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        m_sqlServer = QString::fromUtf8(file.readAll());
    }

    Tables SeedTables()
    {
        Tables tables;
        CADOMyRecordset names(&m_db);
        EXPECT_TRUE(names.Exec("select name from sqlite_master where type='table' and name not like 'sqlite_%'"));
        for (; !names.IsEof(); names.MoveNext()) {
            const std::string table = names.GetFieldString("name");
            CADOMyRecordset columns(&m_db);
            EXPECT_TRUE(columns.Exec("pragma table_info(" + table + ")"));
            std::set<std::string> &set = tables[Lower(QString::fromStdString(table))];
            for (; !columns.IsEof(); columns.MoveNext())
                set.insert(Lower(QString::fromStdString(columns.GetFieldString("name"))));
        }
        return tables;
    }

    QString m_sqlServer;
};

TEST_F(SchemaTest, BothScriptsHaveTheSameTablesAndColumns)
{
    const Tables seed = SeedTables();
    EXPECT_EQ(SqlServerTables(m_sqlServer), seed);
    for (const char *table : {"event_msg_list", "room_ip_list", "build_name", "sysoptions", "user_password",
                              "user_group", "system_run_log", "fengji_his", "tbltemp", "tblsystemp", "lock_log"})
        EXPECT_EQ(seed.count(table), 1u) << table;
}

TEST_F(SchemaTest, OptionRowsTheProcedureUpdates)
{
    const std::set<int> expected = {1, 2, 13, 14, 15, 16, 17, 18, 19};
    std::set<int> seed;
    CADOMyRecordset rows(&m_db);
    ASSERT_TRUE(rows.Exec("select Optioncode from sysoptions"));
    for (; !rows.IsEof(); rows.MoveNext())
        seed.insert(std::atoi(rows.GetFieldString("Optioncode").c_str()));
    EXPECT_EQ(seed, expected);

    std::set<int> sqlServer;
    const QRegularExpression insert(QStringLiteral(R"(INSERT INTO sysoptions \(Optioncode, Value, Disabled\) VALUES \((\d+),)"));
    for (auto m = insert.globalMatch(m_sqlServer); m.hasNext();)
        sqlServer.insert(m.next().captured(1).toInt());
    EXPECT_EQ(sqlServer, expected);
    EXPECT_TRUE(m_sqlServer.contains(QLatin1String("CREATE PROCEDURE UpdateSysOptions")));
}

} // namespace
