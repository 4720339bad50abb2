// Operator saves on a full file system: the commit of the batch that holds
// the change fails, the change is rolled back, and the operator is told the
// loss (the event log), never the success.
#include "support/server_fixture.h"
#include "support/small_disk.h"

#include "console/admin_account.h"
#include "console/room_address_table.h"
#include "database/ado_recordset.h"
#include "platform/gbk.h"

#include <algorithm>

namespace {

class FullDiskTest : public ServerTest {
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        StartOnSmallDisk(m_disk);
    }
    // "<none>" without an admin row.
    std::string AdminPassword()
    {
        CADOMyRecordset rs(&m_server->m_db);
        EXPECT_TRUE(rs.Exec("select password from user_password where user_name='admin'"));
        return rs.GetRecordCount() ? rs.GetFieldString("password") : std::string("<none>");
    }
    int LossLines() const
    {
        const QStringList lines = m_server->LogModel().stringList();
        const QString loss = platform::QStringFromGbk("数据库回滚了1条未提交的语句");
        return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                              [&](const QString &line) { return line.contains(loss); }));
    }

    SmallDisk m_disk;
};

TEST_F(FullDiskTest, AdminPasswordLostWithItsCommitIsNotToldAsSaved)
{
    struct Case {
        bool adminExists;
        const char *told; // once there is room again
    };
    for (const Case c : {Case{true, "密码更改成功"}, Case{false, "管理员用户创建成功"}}) {
        CADOMyRecordset rs(&m_server->m_db);
        ASSERT_TRUE(rs.Exec("delete from user_password"));
        if (c.adminExists) {
            ASSERT_TRUE(rs.Exec("insert into user_password(user_name, password) values('admin', 'old')"));
        }
        ASSERT_TRUE(m_server->m_db.CommitBatch());
        const std::string before = AdminPassword();
        const int losses = LossLines();
        m_boxes.Clear();

        m_disk.Fill();
        SetAdminPassword(m_server->m_db, "new");
        EXPECT_TRUE(m_boxes.Texts().empty()) << c.told;
        EXPECT_EQ(LossLines(), losses + 1) << c.told;
        m_disk.Free();
        EXPECT_EQ(AdminPassword(), before) << c.told;

        SetAdminPassword(m_server->m_db, "new");
        EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{platform::Utf8FromGbk(c.told)});
        EXPECT_EQ(AdminPassword(), "new") << c.told;
    }
}

// The room address table shows an edit as saved: a save lost with its commit
// is told in the event log at once, not at some later commit.
TEST_F(FullDiskTest, RoomAddressSaveLostWithItsCommitIsToldAtOnce)
{
    const auto address = [&] {
        CADOMyRecordset rs(&m_server->m_db);
        EXPECT_TRUE(rs.Exec("select ip_addr from room_ip_list where build_num=1 and floor_num=2 and room_num=3"));
        return rs.GetRecordCount() ? rs.GetFieldString("ip_addr") : std::string("<none>");
    };
    const std::string before = address();
    CRoom &room = *m_server->m_hotel.FindRoom(1, 2, 3);
    room.m_rcuIp = 0x0A000007;
    m_disk.Fill();
    SaveRoomAddress(m_server->m_db, room, 5);
    EXPECT_EQ(LossLines(), 1);
    m_disk.Free();
    EXPECT_EQ(address(), before);
}

} // namespace
