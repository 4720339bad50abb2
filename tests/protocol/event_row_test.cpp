// Event rows written into a real event_msg_list.
#include "database/ado_database.h"
#include "database/ado_recordset.h"
#include "database/engine_settings.h"
#include "protocol/event_row.h"
#include "support/temp_dir.h"

#include <QFile>
#include <string>

namespace {

class EventRowTest : public TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        database::EngineSettings settings;
        settings.engine = database::Engine::Embedded;
        settings.directory = Path();
        database::SetEngineSettings(settings);
        ASSERT_TRUE(QFile::copy(QStringLiteral(KELVOR_SEED_DB), Path("velto.db")));
        QFile(Path("velto.db")).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        ASSERT_TRUE(m_db.Open("Driver={SQL Server};Server=127.0.0.1;Uid=velto;Pwd=qubra;")) << m_db.GetLastErrorText();
    }
    void TearDown() override
    {
        m_db.Close();
        database::SetEngineSettings(database::EngineSettings{});
    }

    CADODatabase m_db;
};

} // namespace

TEST_F(EventRowTest, RowCarriesTheTablesTypeAndTitle)
{
    CADOMyRecordset recordset(&m_db);
    EXPECT_TRUE(WriteEventRow(recordset, 1, 2, 5, CardInEvent(0xF7), -2, 0xF7));
    EXPECT_FALSE(recordset.IsOpen());
    EXPECT_TRUE(WriteEventRow(recordset, 1, 2, 5, EventKind::DoorAlarm, 0, 0));

    ASSERT_TRUE(recordset.Exec("select * from event_msg_list order by MSG_INDEX"));
    ASSERT_EQ(recordset.GetRecordCount(), 2);
    EXPECT_EQ(recordset.GetFieldString("BUILD_NUM"), "1");
    EXPECT_EQ(recordset.GetFieldString("FLOOR_NUM"), "2");
    EXPECT_EQ(recordset.GetFieldString("ROOM_NUM"), "5");
    EXPECT_EQ(recordset.GetFieldString("MSG_TYPE"), "5");
    EXPECT_EQ(recordset.GetFieldString("MSG_TITLE"), "服务员进入房间");
    EXPECT_EQ(recordset.GetFieldString("CARD_SN"), "-2");
    EXPECT_EQ(recordset.GetFieldString("CARD_ID"), "247");
    recordset.MoveNext();
    EXPECT_EQ(recordset.GetFieldString("MSG_TYPE"), "18");
    EXPECT_EQ(recordset.GetFieldString("MSG_TITLE"), "房门未关报警");
    const std::string first = recordset.GetFieldString("MSG_INDEX");
    EXPECT_FALSE(first.empty());
}

TEST_F(EventRowTest, ClosedDatabaseIsAFailedRowAndNoMore)
{
    CADOMyRecordset recordset(&m_db);
    m_db.Close();
    EXPECT_FALSE(WriteEventRow(recordset, 1, 2, 5, EventKind::CleanRequest, 0, 1));
}
