// The poller as start-up starts it: only for PMS types 2 and 3 with the
// database open, and joined by shutdown.
#include "support/server_fixture.h"
#include "support/datagrams.h"

#include "database/ado_recordset.h"
#include "database/engine_settings.h"
#include "platform/gbk.h"

#include <QTest>
#include <QThread>
#include <QUdpSocket>
#include <sqlite3.h>

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
    // Type 2 on a database server that does not answer: no poller either.
    SetSetting("Interface Configuration/HMS INTERFACE", 2);
    database::EngineSettings settings;
    settings.directory = Path(QStringLiteral("missing-folder"));
    database::SetEngineSettings(settings);
    Start();
    EXPECT_EQ(m_server->Mode(), StartMode::WithoutDatabase);
    EXPECT_EQ(m_server->m_pmsThread, nullptr);
}

// The PMS software is another program: it changes RMSTATE in the live-room
// table (with the embedded engine the file tempdb.db beside velto.db), and
// the room-state command leaves for the room's unit.
TEST_F(ServerPollerTest, OutsideChangeOfRmstateReachesTheRoomsUnit)
{
    QUdpSocket &unit = m_roomUnits;
    SetSetting("Interface Configuration/HMS INTERFACE", 2);
    Start();
    CRoom &room = *m_server->m_hotel.FindRoom(1, 2, 4);
    room.m_rcuIp = 0x7F000001;
    // Frames of the unit of 1|2|04 with their state byte.
    std::vector<int> states;
    // Each wait step is an idle pass of the window's loop, then a look at
    // what reached the unit.
    const auto receive = [&] {
        m_server->ContinueModal();
        for (const QByteArray &f : TakeDatagrams(unit)) {
            const auto *b = reinterpret_cast<const uint8_t *>(f.constData());
            if (f.size() == 28 && (b[15] << 8 | b[16]) == 0x000C && b[18] == 1 && b[19] == 2 && b[20] == 4)
                states.push_back(b[23]);
        }
    };
    // The first pass finds every room checked in.
    ASSERT_TRUE(QTest::qWaitFor([&] { receive(); return !states.empty(); }, 5000));
    EXPECT_EQ(states, std::vector<int>{1});

    sqlite3 *pms = nullptr;
    ASSERT_EQ(sqlite3_open(PathStd("tempdb.db").c_str(), &pms), SQLITE_OK);
    sqlite3_busy_timeout(pms, 5000);
    EXPECT_EQ(sqlite3_exec(pms, "update REALTIMEROOM set RMSTATE=3 where BUILD=1 and FLOOR=2 and ROOMNUM=4",
                           nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(pms);

    ASSERT_TRUE(QTest::qWaitFor([&] { receive(); return states.size() == 2; }, 5000));
    EXPECT_EQ(states[1], 3);
    CADOMyRecordset rs(&m_server->m_db);
    ASSERT_TRUE(rs.Exec("select count(*) as n from event_msg_list where build_num=1 and floor_num=2 and room_num=4 "
                        "and msg_type=22 and msg_title='<中软>房间维修'"));
    EXPECT_EQ(rs.GetFieldString("n"), "1");
    const QStringList log = m_server->LogModel().stringList();
    EXPECT_EQ(log.last().mid(9).toStdString(), platform::Utf8FromGbk("<中软> 客房状态改变 ROOM:1|204 (0->3)"));
}

} // namespace
