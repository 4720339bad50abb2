// The poller as start-up starts it: only for PMS types 2 and 3 with the
// database open, and joined by shutdown.
#include "support/server_fixture.h"


#include <QTest>
#include <QThread>

namespace {

class ServerPollerTest : public ServerTest {
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        InstallSeed("velto.db");
    }
    int MarkedRooms()
    {
        int marked = 0;
        CHotel::RoomWalker walker(m_server->m_hotel);
        for (CRoom *room = walker.First(); room; room = walker.Next())
            marked += room->m_pmsChangeMark != 0;
        return marked;
    }
};

TEST_F(ServerPollerTest, TypesTwoAndThreeStartItAndItMarksEveryRoom)
{
    for (int type : {2, 3}) {
        SetSetting("Interface Configuration/HMS INTERFACE", type);
        Start();
        ASSERT_NE(m_server->m_pmsThread, nullptr) << type;
        // Start-up fills RMSTATE with 1; every polled state is still 0.
        EXPECT_TRUE(QTest::qWaitFor([&] { return MarkedRooms() == 13; }, 5000)) << type;
        QThread *thread = m_server->m_pmsThread;
        m_server->OnDestroy();
        EXPECT_TRUE(thread->isFinished());
        Stop();
    }
}

TEST_F(ServerPollerTest, OtherTypesStartNoPoller)
{
    for (int type : {0, 1, 4}) {
        SetSetting("Interface Configuration/HMS INTERFACE", type);
        Start();
        EXPECT_EQ(m_server->m_pmsThread, nullptr) << type;
        Stop();
    }
}

} // namespace
