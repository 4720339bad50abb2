// Start-up and shutdown of the server on its fixed ports: the three modes,
// the first-start repair, the live-room table and room list, the settings
// written back, and the timers' frames.
#include "support/server_fixture.h"
#include "support/datagrams.h"
#include "support/stderr_capture.h"

#include "database/ado_recordset.h"
#include "database/engine_settings.h"
#include "platform/gbk.h"
#include "protocol/udp_socket.h"

#include <QFile>
#include <QEventLoop>
#include <QTcpServer>
#include <QTimer>
#include <QTest>
#include <QUdpSocket>
#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <cstring>
#include <ctime>

namespace {

std::string Field(CADODatabase &db, const std::string &sql, const char *field)
{
    CADOMyRecordset rs(&db);
    EXPECT_TRUE(rs.Exec(sql)) << sql << "\n" << rs.GetLastErrorText();
    return rs.GetFieldString(field);
}

using Texts = std::vector<std::string>;

// The recorder keeps UTF-8; the program's texts are GBK.
std::string U(const char *gbk) { return platform::Utf8FromGbk(gbk); }

} // namespace

class StartupTest : public ServerTest {};

TEST_F(StartupTest, FullModeFillsLiveRoomTableRoomListAndNames)
{
    InstallSeed("velto.db");
    SeedExec("insert into room_ip_list(BUILD_NUM, FLOOR_NUM, ROOM_NUM, IP_ADDR, IP_ADDR2, RMNAME, ADDR) "
             "values(1, 2, 3, -1062731519, 167772161, '0123456789012345678901234567890123456789', 17)");
    SeedExec("insert into build_name(BUILD_NUM, BDNAME) values(2, 'East Wing')");
    SeedExec("insert into event_msg_list(MSG_INDEX, MSG_TYPE) values(41, 1)");

    CKelvorDlg &server = Start();
    EXPECT_EQ(server.Mode(), StartMode::Full);
    EXPECT_TRUE(m_boxes.Texts().empty());
    EXPECT_EQ(server.m_lastEventIndex, 41u);
    EXPECT_EQ(server.m_connectedSince, m_now);

    // One live row per room in service (gap room 1|200 has none), RMSTATE 1.
    EXPECT_EQ(Field(server.m_db, "select count(*) as N from ##REALTIMEROOM", "N"), "13");
    EXPECT_EQ(Field(server.m_db, "select count(*) as N from ##REALTIMEROOM where RMSTATE=1 and CLEAN=0 and DOOR=0", "N"),
              "13");
    EXPECT_EQ(Field(server.m_db, "select count(*) as N from ##REALTIMEROOM where BUILD=1 and FLOOR=2 and ROOMNUM=0", "N"),
              "0");

    const auto &list = server.RoomList();
    ASSERT_EQ(list.size(), 14u);
    EXPECT_EQ(list[0].text, "所有房间");
    EXPECT_EQ(list[0].room, nullptr);
    EXPECT_EQ(list[1].text, "1|201");
    EXPECT_EQ(list[13].text, "2|102");

    CRoom *named = server.m_hotel.FindRoom(1, 2, 3);
    ASSERT_NE(named, nullptr);
    EXPECT_EQ(named->m_rcuIp, 0xC0A80101u);
    EXPECT_EQ(named->m_gatewayIp, 0x0A000001u);
    EXPECT_EQ(named->m_unitCode, 17);
    EXPECT_EQ(std::string(named->m_name), "01234567890123456789012345678");
    CRoom *plain = server.m_hotel.FindRoom(1, 2, 4);
    EXPECT_EQ(plain->m_rcuIp, 0u);
    EXPECT_EQ(plain->m_name[0], '\0');
    EXPECT_EQ(std::string(server.m_hotel.FindBuild(2)->m_name), "East Wing");
    EXPECT_EQ(server.m_hotelName, "Test Hotel");

    // The option defaults for empty values 1 and 2.
    EXPECT_EQ(server.GetSysOption1(), "2");
    EXPECT_EQ(server.GetSysOption2(), "5");

    m_now += 26 * 3600 + 3 * 60;
    const StatusTexts status = server.GetStatusTexts();
    EXPECT_EQ(status.dbState, std::string("SQL SERVER数据库服务器连接成功! [1天 02时 03分]"));
    EXPECT_EQ(status.rcuRecv, "0/0");
    EXPECT_EQ(status.hotelInfo, "Test Hotel");
    EXPECT_EQ(status.totalRooms, std::string("总房间数13"));

    const int periods[4] = {1000, 10000, 480000, 60000};
    for (int id = 0; id < 4; ++id) {
        EXPECT_TRUE(server.Timer(id).isActive()) << id;
        EXPECT_EQ(server.Timer(id).interval(), periods[id]) << id;
    }
}

TEST_F(StartupTest, RoomTableWithoutNameColumnStillGivesAddresses)
{
    InstallSeed("velto.db");
    SeedExec("drop index room_ip_list_name");
    SeedExec("alter table room_ip_list drop column RMNAME");
    SeedExec("insert into room_ip_list(BUILD_NUM, FLOOR_NUM, ROOM_NUM, IP_ADDR, IP_ADDR2, ADDR) "
             "values(2, 1, 0, 2130706433, 0, 5)");
    CKelvorDlg &server = Start();
    ASSERT_EQ(server.Mode(), StartMode::Full);
    CRoom *room = server.m_hotel.FindRoom(2, 1, 0);
    EXPECT_EQ(room->m_rcuIp, 0x7F000001u);
    EXPECT_EQ(room->m_unitCode, 5);
    EXPECT_EQ(room->m_name[0], '\0');
}

// A large hotel: every room in service gets its live-room row, and each room
// the address row that names it (every other room here), the others none.
TEST_F(StartupTest, TwoThousandRoomsFillEveryLiveRoomRowAndTheirAddresses)
{
    InstallSeed("velto.db");
    std::string layout = "[Hotel]\nName=Big Hotel\n[Layout]\n";
    for (int floor = 1; floor <= 40; ++floor)
        layout += "item" + std::to_string(floor) + "=1 " + std::to_string(floor) + " 50\n";
    WriteHotelConf(layout);
    const auto address = [](int floor, int room) { return 0x0A000000 + floor * 256 + room; };
    for (int floor = 1; floor <= 40; ++floor) {
        std::string rows;
        for (int room = floor % 2; room < 50; room += 2)
            rows += std::string(rows.empty() ? "" : ",") + "(1, " + std::to_string(floor) + ", " +
                    std::to_string(room) + ", " + std::to_string(address(floor, room)) + ", 0, 'R" +
                    std::to_string(floor * 100 + room) + "', " + std::to_string(room) + ")";
        SeedExec("insert into room_ip_list(BUILD_NUM, FLOOR_NUM, ROOM_NUM, IP_ADDR, IP_ADDR2, RMNAME, ADDR) values" +
                 rows);
    }
    SeedExec("insert into room_ip_list(BUILD_NUM, FLOOR_NUM, ROOM_NUM, IP_ADDR) values(1, 41, 0, 99)");

    CKelvorDlg &server = Start();
    ASSERT_EQ(server.Mode(), StartMode::Full);
    ASSERT_EQ(server.m_hotel.GetTotalRooms(), 2000);
    EXPECT_EQ(Field(server.m_db, "select count(*) as N from ##REALTIMEROOM", "N"), "2000");
    int missing = 0;
    int wrong = 0;
    CADOMyRecordset rs(&server.m_db);
    for (CRoom *room = server.m_hotel.GetFirstRoom(); room; room = server.m_hotel.GetNextRoom()) {
        ASSERT_TRUE(rs.Exec("select count(*) as N from ##REALTIMEROOM where BUILD=1 and FLOOR=" +
                            std::to_string(room->m_floorNum) + " and ROOMNUM=" + std::to_string(room->m_roomNum) +
                            " and RMSTATE=1 and CLEAN=0 and DOOR=0"));
        missing += rs.GetFieldString("N") != "1";
        const bool listed = room->m_roomNum % 2 == room->m_floorNum % 2;
        const std::string name = listed ? "R" + std::to_string(room->m_floorNum * 100 + room->m_roomNum) : "";
        wrong += room->m_rcuIp != (listed ? static_cast<uint32_t>(address(room->m_floorNum, room->m_roomNum)) : 0u)
              || room->m_unitCode != (listed ? room->m_roomNum : 0) || std::string(room->m_name) != name;
    }
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(server.RoomList().size(), 2001u);
}

TEST_F(StartupTest, ServerNotAnsweringStartsWithoutDatabase)
{
    database::EngineSettings settings;
    settings.directory = Path(QStringLiteral("missing-folder"));
    database::SetEngineSettings(settings);

    CKelvorDlg &server = Start();
    EXPECT_EQ(server.Mode(), StartMode::WithoutDatabase);
    EXPECT_EQ(m_boxes.Texts(), Texts{U("数据库服务器无响应，请检查SQLServer服务器是否就绪。")});
    EXPECT_EQ(server.m_hotel.GetTotalRooms(), 13);
    EXPECT_TRUE(server.RoomList().empty());
    EXPECT_TRUE(server.Timer(0).isActive());
    EXPECT_TRUE(server.Timer(1).isActive());
    EXPECT_TRUE(server.HasUdpSocket());
}

struct RepairCase {
    const char *name;
    bool answer;
    bool backupPresent;
    StartMode mode;
    std::vector<std::string> boxes;
    friend void PrintTo(const RepairCase &c, std::ostream *os) { *os << c.name; }
};

class RepairTest : public ServerTest, public ::testing::WithParamInterface<RepairCase> {};

// A first start: no velto.db, so the server's own login is refused.
TEST_P(RepairTest, FirstStart)
{
    const RepairCase &c = GetParam();
    if (c.backupPresent)
        InstallSeed("velto.bak");
    int asked = 0;
    m_server = std::make_unique<CKelvorDlg>(m_ports);
    m_server->m_clock = [this] { return m_now; };
    m_server->m_askAdminPassword = [&](std::string &password) {
        ++asked;
        password = "secret";
        return c.answer;
    };
    m_server->OnInitDialog();
    CKelvorDlg &server = *m_server;

    EXPECT_EQ(asked, 1);
    EXPECT_EQ(server.Mode(), c.mode);
    EXPECT_EQ(m_boxes.Texts(), c.boxes);
    if (c.mode == StartMode::Full) {
        EXPECT_TRUE(QFile::exists(Path(QStringLiteral("velto.db"))));
        EXPECT_EQ(server.m_db.GetConnectionString(), "Driver={SQL Server};Server=.;Uid=velto;Pwd=qubra;");
        EXPECT_EQ(Field(server.m_db, "select count(*) as N from ##REALTIMEROOM", "N"), "13");
        EXPECT_TRUE(server.Timer(3).isActive());
    } else {
        // Bare: sockets and settings only.
        EXPECT_FALSE(server.m_db.IsOpen());
        EXPECT_EQ(server.m_hotel.GetTotalRooms(), 0);
        for (int id = 0; id < 4; ++id)
            EXPECT_FALSE(server.Timer(id).isActive()) << id;
        EXPECT_TRUE(server.HasUdpSocket());
        EXPECT_EQ(server.m_broadcastInterval, 10);
        // The administrator's password is neither kept nor shown.
        EXPECT_EQ(server.GetStatusTexts().dbState.find("secret"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RepairTest,
    ::testing::Values(RepairCase{"Restored", true, true, StartMode::Full, {}},
                      RepairCase{"Cancelled", false, true, StartMode::Bare, {}},
                      RepairCase{"NoBackup", true, false, StartMode::Bare, {U("未找到数据库文件velto.bak")}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(StartupTest, SettingsDefaultsAreReadAndWrittenBack)
{
    InstallSeed("velto.db");
    SetSetting(QStringLiteral("Network Configuration/BROADCAST INTERVAL"), 25);
    SetSetting(QStringLiteral("Interface Configuration/HMS INTERFACE"), 4);
    CKelvorDlg &server = Start();
    EXPECT_EQ(server.m_rcuBroadcastIp, 0xC0A8FFFFu);
    EXPECT_EQ(server.m_hmsIp, 0xC0A80101u);
    EXPECT_EQ(server.m_hmsPort, 1500);
    EXPECT_EQ(server.m_gatewayAddr, 0xC0A80100u);
    EXPECT_EQ(server.m_pmsType, kPmsNehops);
    EXPECT_EQ(server.Timer(1).interval(), 25000);
    server.m_pmsType = kPmsNone; // not written back
    Stop();

    const struct {
        const char *name;
        int value;
    } expected[] = {{"HMS IP ADDRESS HIWORD", 0xC0A8},  {"HMS IP ADDRESS LOWORD", 0x0101},
                    {"HMS UDP PORT NUM", 1500},         {"HMS IP AUTO", 0},
                    {"GATEWAY IP ADDRESS HIWORD", 0xC0A8}, {"GATEWAY IP ADDRESS LOWORD", 0x0100},
                    {"RCU IP ADDRESS HIWORD", 0xC0A8},  {"RCU IP ADDRESS LOWORD", 0xFFFF},
                    {"BROADCAST INTERVAL", 25},         {"RCU UDP PORT NUM", 14444},
                    {"LOCAL UDP PORT NUM", 14444},      {"AUTO CHECK TIME", 0},
                    {"AUTO CHECK TIME INTERVAL", 10}};
    for (const auto &e : expected)
        EXPECT_EQ(Setting(QStringLiteral("Network Configuration/") + QLatin1String(e.name)).toInt(), e.value) << e.name;
    EXPECT_EQ(Setting(QStringLiteral("Interface Configuration/HMS INTERFACE")).toInt(), 4);
}

// Intervals the parameters dialog would refuse still give a steady poll.
TEST_F(StartupTest, BroadcastIntervalOutsideItsRangeStillPolls)
{
    InstallSeed("velto.db");
    const struct {
        int stored;
        int period;
    } cases[] = {{0, 10000}, {-4, 10000}, {3000000, 2147483000}};
    for (const auto &c : cases) {
        SetSetting(QStringLiteral("Network Configuration/BROADCAST INTERVAL"), c.stored);
        EXPECT_EQ(Start().Timer(1).interval(), c.period) << c.stored;
        Stop();
    }
}

TEST_F(StartupTest, PortsInUseAreReportedAndTheOthersServe)
{
    InstallSeed("velto.db");
    // Another program holds the server's UDP port and its first PMS port.
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::AnyIPv4, 0));
    m_ports.pmsTcp[0] = squatter.serverPort();
    QUdpSocket udpSquatter;
    ASSERT_TRUE(udpSquatter.bind(QHostAddress::AnyIPv4, 0));
    m_ports.serverUdp = udpSquatter.localPort();

    CKelvorDlg &server = Start();
    EXPECT_EQ(m_boxes.Texts(), (Texts{U("创建UDP SOCKET失败！"), U("创建Tcp SOCKET失败！")}));
    EXPECT_FALSE(server.HasUdpSocket());
    EXPECT_EQ(server.SendUdp(10, server.RcuPort(), "127.0.0.1"), 0);
    EXPECT_EQ(server.m_rcuSendCount + server.m_clientSendCount, 0);
    EXPECT_EQ(server.m_pmsListeners[0], nullptr);
    ASSERT_NE(server.m_pmsListeners[1], nullptr);

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, PmsPort(9766));
    EXPECT_TRUE(client.waitForConnected(2000));
    // The start-up line names only the port that is served.
    EXPECT_TRUE(server.StartupSummary().ends_with(", 13 rooms, serving TCP " + std::to_string(PmsPort(9766))))
        << server.StartupSummary();
}

// Beside the message box, stderr names the port and the system's reason; a
// server left with no port at all says why in its start-up line.
TEST_F(StartupTest, ATakenUdpPortIsNamedWithTheSystemsReason)
{
    InstallSeed("velto.db");
    QUdpSocket udpSquatter;
    ASSERT_TRUE(udpSquatter.bind(QHostAddress::AnyIPv4, 0));
    m_ports.serverUdp = udpSquatter.localPort();
    QTcpServer squatters[2];
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(squatters[i].listen(QHostAddress::AnyIPv4, 0));
        m_ports.pmsTcp[i] = squatters[i].serverPort();
    }
    const std::string cause = "UDP port " + std::to_string(m_ports.serverUdp) + ": Address already in use";

    StderrCapture stderrText;
    CKelvorDlg &server = Start();
    const std::string written = stderrText.Stop();
    EXPECT_NE(written.find(cause + "\n"), std::string::npos) << written;
    EXPECT_EQ(m_boxes.Texts().front(), U("创建UDP SOCKET失败！"));
    EXPECT_TRUE(server.StartupSummary().ends_with(", 13 rooms, serving no port (" + cause + ")"))
        << server.StartupSummary();
}

// The start-up line a server without a display writes: mode, engine, rooms in
// service, ports served.
TEST_F(StartupTest, StartupSummaryNamesTheModeTheEngineTheRoomsAndThePorts)
{
    // The ports the running server is bound to.
    const auto ports = [this] {
        return "serving UDP " + std::to_string(ServerUdpPort()) + ", TCP " + std::to_string(PmsPort(40000)) +
               ", TCP " + std::to_string(PmsPort(9766));
    };
    InstallSeed("velto.db");
    Start();
    EXPECT_EQ(m_server->StartupSummary(),
              "kelvor-server started: mode full, engine embedded SQLite in " + PathStd() + ", 13 rooms, " + ports());
    Stop();

    // The login is refused and nobody answers the administrator prompt.
    QFile::remove(Path(QStringLiteral("velto.db")));
    Start();
    EXPECT_EQ(m_server->StartupSummary(),
              "kelvor-server started: mode bare, engine embedded SQLite in " + PathStd() + ", 0 rooms, " + ports());
    Stop();

    database::EngineSettings settings;
    settings.directory = Path(QStringLiteral("missing-folder"));
    database::SetEngineSettings(settings);
    Start();
    EXPECT_EQ(m_server->StartupSummary(), "kelvor-server started: mode without database, engine embedded SQLite in " +
                                              PathStd(QStringLiteral("missing-folder")) + ", 13 rooms, " + ports());
}

TEST_F(StartupTest, ShutdownReleasesThePorts)
{
    InstallSeed("velto.db");
    Start();
    const quint16 udpPort = ServerUdpPort();
    const quint16 tcpPorts[] = {PmsPort(40000), PmsPort(9766)};
    Stop();
    QUdpSocket udp;
    EXPECT_TRUE(udp.bind(QHostAddress::AnyIPv4, udpPort));
    for (quint16 port : tcpPorts) {
        QTcpServer tcp;
        EXPECT_TRUE(tcp.listen(QHostAddress::AnyIPv4, port)) << port;
    }
}

// Shutdown handles what is queued on the UDP socket, but a socket that never
// empties (room units flooding it) holds it up only for the bound, and the
// event log says the handling stopped short.
TEST_F(StartupTest, ShutdownStopsReadingAFloodedSocketAfterItsBound)
{
    InstallSeed("velto.db");
    Start();
    const quint16 port = ServerUdpPort();
    std::atomic<bool> flooding{true};
    std::atomic<int> sent{0};
    std::thread unit([&] {
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        // Full reports of room 1|201, its door opening and closing by turns.
        uint8_t report[79] = {0xFF, 79, 'Z', 'O', 'L', 'P', 1};
        report[16] = 0x84;
        report[18] = 1;
        report[19] = 2;
        report[20] = 1;
        report[36] = report[37] = report[68] = report[69] = 22;
        report[50] = 30;
        std::memset(report + 70, 0xFF, 4);
        while (flooding) {
            report[49] ^= 1;
            if (::sendto(fd, report, sizeof report, 0, reinterpret_cast<const sockaddr *>(&to), sizeof to) > 0)
                ++sent;
        }
        ::close(fd);
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return sent > 1000; }, 5000));
    const int before = m_server->LogModel().rowCount();
    m_server->OnDestroy();
    flooding = false;
    unit.join();
    const QStringList log = m_server->LogModel().stringList();
    ASSERT_GT(log.size(), before);
    EXPECT_TRUE(log.last().contains(QString::fromUtf8(U("停止服务: 2秒内处理了")))) << log.last().toStdString();
    EXPECT_TRUE(log.last().endsWith(QString::fromUtf8(U("个排队的UDP报文，其余的未处理")))) << log.last().toStdString();
}

class TimerFramesTest : public ServerTest {
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        InstallSeed("velto.db");
        SetRcuBroadcastToLoopback();
        SetSetting(QStringLiteral("Network Configuration/BROADCAST INTERVAL"), 1);
    }

    QByteArray NextFrame()
    {
        return NextDatagram(m_roomUnits, 3000);
    }

    static void ExpectBroadcastHeader(const QByteArray &f, int code)
    {
        const auto *b = reinterpret_cast<const uint8_t *>(f.constData());
        EXPECT_EQ(b[0], 0xFF);
        EXPECT_EQ(b[1], f.size());
        EXPECT_EQ(std::memcmp(b + 2, "ZOLP", 4), 0);
        EXPECT_EQ(b[6], 0);
        EXPECT_EQ(b[7], 1);
        EXPECT_EQ(b[8], 0xFF);
        EXPECT_EQ(b[9], 0xFF);
        EXPECT_EQ(b[15] << 8 | b[16], code);
        EXPECT_EQ(b[17], 0);
        EXPECT_EQ(b[18], 255);
        EXPECT_EQ(b[19], 255);
        EXPECT_EQ(b[20], 255);
        EXPECT_EQ(b[21], 1);
        unsigned sum = 0;
        for (int i = 0; i < f.size() - 2; ++i)
            sum += b[i];
        EXPECT_EQ(b[f.size() - 2] | b[f.size() - 1] << 8, static_cast<int>(sum & 0xFFFF));
    }
};

TEST_F(TimerFramesTest, PollLeavesEveryIntervalForTheBroadcastAddress)
{
    CKelvorDlg &server = Start();
    const QByteArray poll = NextFrame();
    ASSERT_EQ(poll.size(), 24);
    ExpectBroadcastHeader(poll, 0x0021);
    EXPECT_GE(server.m_rcuSendCount, 1);
    EXPECT_EQ(server.m_clientSendCount, 0);
}

TEST_F(TimerFramesTest, TimeBroadcastCarriesTheLocalTime)
{
    CKelvorDlg &server = Start();
    server.OnTimer(2);
    const QByteArray frame = NextFrame();
    ASSERT_EQ(frame.size(), 36);
    ExpectBroadcastHeader(frame, 0x0004);

    const time_t now = static_cast<time_t>(m_now);
    struct tm local {};
    ASSERT_TRUE(localtime_r(&now, &local));
    const auto *r = reinterpret_cast<const uint8_t *>(frame.constData()) + 22;
    EXPECT_EQ(r[0], 12);
    EXPECT_EQ(r[1], local.tm_sec);
    EXPECT_EQ(r[2], local.tm_min);
    EXPECT_EQ(r[3], local.tm_hour);
    EXPECT_EQ(r[4], local.tm_mday);
    EXPECT_EQ(r[6], local.tm_mon + 1);
    EXPECT_EQ(r[7], local.tm_year + 1900 - 2000);
    EXPECT_EQ(r[8], 0);
    EXPECT_EQ(r[9], 0);
    uint16_t crc = 0xFFFF;
    for (int i = 0; i < 10; ++i) {
        crc ^= r[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    EXPECT_EQ(r[10] | r[11] << 8, crc);
}

// The monitor runs when the event loop falls idle, and only while the
// database is open.
TEST_F(StartupTest, IdleHookRunsTheMonitorWhileTheDatabaseIsOpen)
{
    InstallSeed("velto.db");
    CKelvorDlg &server = Start();
    QEventLoop loop;
    QTimer::singleShot(50, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_GE(server.m_idlePasses, 1);

    server.m_db.Close();
    const int passes = server.m_idlePasses;
    QTimer::singleShot(50, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(server.m_idlePasses, passes);
}
