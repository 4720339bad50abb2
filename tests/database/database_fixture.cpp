#include "database_fixture.h"

#include <QFile>

void DatabaseTest::SetUp()
{
    TempDirTest::SetUp();
    database::EngineSettings settings;
    settings.engine = database::Engine::Embedded;
    settings.directory = Path();
    database::SetEngineSettings(settings);
}

void DatabaseTest::TearDown()
{
    m_db.Close();
    database::SetEngineSettings(database::EngineSettings{});
}

void DatabaseTest::InstallSeed(const QString &name)
{
    QFile::remove(Path(name));
    ASSERT_TRUE(QFile::copy(QStringLiteral(KELVOR_SEED_DB), Path(name)));
    QFile(Path(name)).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
}

int DatabaseTest::MustExec(const std::string &sql)
{
    CADOMyRecordset recordset(&m_db);
    int affected = -2;
    EXPECT_TRUE(recordset.Exec(sql, &affected)) << sql << "\n" << recordset.GetLastErrorText();
    return affected;
}

std::string DatabaseTest::QueryField(const std::string &sql, const std::string &field)
{
    CADOMyRecordset recordset(&m_db);
    EXPECT_TRUE(recordset.Exec(sql)) << sql << "\n" << recordset.GetLastErrorText();
    EXPECT_NE(recordset.GetRecordCount(), 0) << sql;
    return recordset.GetFieldString(field);
}

void DatabaseTest::CreateLiveRoomTable()
{
    MustExec("CREATE TABLE ##REALTIMEROOM ([INDEX] [int] IDENTITY (1, 1) NOT NULL ,[BUILD] [tinyint] NOT NULL ,"
             "[FLOOR] [tinyint] NOT NULL ,[ROOMNUM] [tinyint] NOT NULL ,[RMSTATE] [tinyint] NOT NULL) ON [PRIMARY]");
}
