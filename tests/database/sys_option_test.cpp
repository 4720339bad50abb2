// The numbered options: reads, writes through UpdateSysOptions and the boxes
// a failed write shows.
#include "database_fixture.h"

#include "database/sys_option.h"
#include "platform/gbk.h"
#include "support/message_recorder.h"

namespace {

class SysOptionTest : public DatabaseTest {
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        InstallSeed();
        ASSERT_TRUE(OpenServer());
        m_options.SetOptionDatabase(&m_db);
    }
    CSysOption m_options;
    MessageRecorder m_boxes;
};

TEST_F(SysOptionTest, ReadsValueAndFlag)
{
    MustExec("update sysoptions set Value='7', Disabled=1 where Optioncode=2");
    int disabled = -1;
    EXPECT_EQ(m_options.GetSysOption2(&disabled), "7");
    EXPECT_EQ(disabled, 1);
    EXPECT_EQ(m_options.GetSysOption13(), "180");
    EXPECT_EQ(m_options.GetSysOption1(&disabled), ""); // seeded empty: start-up writes the default
    EXPECT_EQ(disabled, 0);
    MustExec("update sysoptions set Value=NULL, Disabled=1 where Optioncode=14");
    EXPECT_EQ(m_options.GetSysOption14(&disabled), "");
    EXPECT_EQ(disabled, 1);
    EXPECT_EQ(m_options.GetSysOption(42, &disabled), "");
    EXPECT_EQ(disabled, 0);
}

TEST_F(SysOptionTest, WritesThroughTheProcedure)
{
    EXPECT_TRUE(m_options.SetOptionInt(16, 0, 1));
    int disabled = 0;
    EXPECT_EQ(m_options.GetSysOption(16, &disabled), "0");
    EXPECT_EQ(disabled, 1);
    EXPECT_TRUE(m_options.SetOptionInt(1, 2));
    EXPECT_EQ(m_options.GetSysOption1(&disabled), "2");
    EXPECT_EQ(disabled, 0);
    EXPECT_TRUE(m_options.SetSysOption(2, "it's"));
    EXPECT_EQ(m_options.GetSysOption2(), "it's");
    EXPECT_TRUE(m_boxes.Texts().empty());
}

TEST_F(SysOptionTest, WriteOfAMissingRowShowsFailure)
{
    EXPECT_FALSE(m_options.SetOptionInt(42, 1));
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{platform::Utf8FromGbk("设置失败！")});
}

TEST_F(SysOptionTest, ClosedDatabase)
{
    m_db.Close();
    EXPECT_EQ(m_options.GetSysOption13(), "");
    EXPECT_FALSE(m_options.SetOptionInt(1, 2));
    EXPECT_FALSE(m_options.SetOptionInt(2, 5));
    EXPECT_EQ(m_boxes.Texts(), (std::vector<std::string>{platform::Utf8FromGbk("数据库连接未连接！"), platform::Utf8FromGbk("数据库连接未连接！")}));
    ASSERT_TRUE(m_db.Open());
    EXPECT_EQ(m_options.GetSysOption1(), "");
}

TEST_F(SysOptionTest, NoDatabaseSetFailsSilently)
{
    CSysOption unset;
    EXPECT_EQ(unset.GetSysOption13(), "");
    EXPECT_FALSE(unset.SetOptionInt(1, 2));
    EXPECT_TRUE(m_boxes.Texts().empty());
}

TEST_F(SysOptionTest, FailedStatementShowsNothing)
{
    MustExec("drop table sysoptions");
    EXPECT_EQ(m_options.GetSysOption13(), "");
    EXPECT_FALSE(m_options.SetOptionInt(13, 5));
    EXPECT_TRUE(m_boxes.Texts().empty());
}

} // namespace
