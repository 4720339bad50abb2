// The room monitor on a hotel of 2,000 in-service rooms, on the embedded
// database in a temporary directory, on UDP and TCP ports the system picks:
//   1. the cost of one pass when nothing has changed;
//   2. the time to drain 2,000 changed rooms to one logged-in workstation on
//      loopback, one room per pass, with the pushes counted where they arrive.
//   build/bench/room_monitor/room_monitor_bench [passes]
#include "console/kelvor_dlg.h"
#include "console/settings.h"
#include "database/engine_settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// Two buildings of 20 floors with 50 rooms each.
std::string HotelConf()
{
    std::string text = "[Hotel]\nName=Bench\n[Layout]\n";
    int item = 0;
    for (int build = 1; build <= 2; ++build)
        for (int floor = 1; floor <= 20; ++floor)
            text += "item" + std::to_string(++item) + "=" + std::to_string(build) + " " + std::to_string(floor) +
                    " 50\n";
    return text;
}

QByteArray LoginFrame()
{
    QByteArray f(22, '\0');
    f += QByteArray("bench\0bench\0", 12);
    auto *b = reinterpret_cast<uint8_t *>(f.data());
    b[1] = static_cast<uint8_t>(f.size());
    std::memcpy(b + 2, "ZOLP", 4);
    b[6] = 1;
    b[7] = 2;
    b[15] = 0x02;
    return f;
}

int DrainPushes(QUdpSocket &socket, char *buffer, int size)
{
    int count = 0;
    while (socket.hasPendingDatagrams())
        if (socket.readDatagram(buffer, size) > 22 && static_cast<uint8_t>(buffer[15]) == 0x87)
            ++count;
    return count;
}

// Each pass through the idle hook, as the event loop runs it.
void Pass(CKelvorDlg &server)
{
    server.m_idleLoopLevel = -1;
    server.ContinueModal();
    server.m_idleLoopLevel = 1000;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int passes = argc > 1 ? std::atoi(argv[1]) : 2000;
    QTemporaryDir dir;
    for (auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, dir.filePath("profile"));
    QDir::setCurrent(dir.path());
    database::EngineSettings engine;
    engine.engine = database::Engine::Embedded;
    engine.directory = dir.path();
    database::SetEngineSettings(engine);
    QFile::copy(QStringLiteral(KELVOR_SEED_DB), dir.filePath("velto.db"));
    QFile(dir.filePath("velto.db")).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    QFile conf(dir.filePath("hotel.conf"));
    conf.open(QIODevice::WriteOnly);
    conf.write(HotelConf().c_str());
    conf.close();

    ServerPorts ports; // the server's own ports picked by the system
    ports.serverUdp = 0;
    ports.pmsTcp = {0, 0};
    CKelvorDlg server(ports);
    server.OnInitDialog();
    server.m_idleLoopLevel = 1000; // passes only when this program runs one
    if (server.Mode() != StartMode::Full || !server.HasUdpSocket()) {
        std::fprintf(stderr, "the server did not start fully (no UDP socket?)\n");
        return 1;
    }
    const int rooms = server.m_hotel.GetTotalRooms();
    {
        CADOMyRecordset rs(&server.m_db);
        rs.Exec("insert into user_password(USER_NAME, PASSWORD, GROUP_ID) values('bench', 'bench', 0)");
    }

    // 1. Nothing changed.
    const auto idleStart = Clock::now();
    for (int i = 0; i < passes; ++i)
        Pass(server);
    const double idle = Seconds(idleStart);
    std::printf("rooms in service: %d\n", rooms);
    std::printf("pass, nothing changed: %.1f us (%d passes)\n", idle / passes * 1e6, passes);

    // 2. Every room changed, one logged-in workstation.
    QUdpSocket workstation;
    workstation.bind(QHostAddress::LocalHost, 0);
    workstation.writeDatagram(LoginFrame(), QHostAddress::LocalHost, server.UdpPort());
    const auto loginStart = Clock::now();
    while (server.m_clients.empty() && Seconds(loginStart) < 5)
        QCoreApplication::processEvents();
    if (server.m_clients.empty()) {
        std::fprintf(stderr, "the login was not answered\n");
        return 1;
    }
    char buffer[3000];
    while (workstation.hasPendingDatagrams())
        workstation.readDatagram(buffer, sizeof buffer);

    for (CRoom *room = server.m_hotel.GetFirstRoom(); room; room = server.m_hotel.GetNextRoom())
        room->m_changed = 1;
    int received = 0, drainPasses = 0;
    double passTime = 0;
    const auto drainStart = Clock::now();
    while (received < rooms && drainPasses < 2 * rooms) {
        const auto passStart = Clock::now();
        Pass(server);
        passTime += Seconds(passStart);
        ++drainPasses;
        received += DrainPushes(workstation, buffer, sizeof buffer);
    }
    const double drain = Seconds(drainStart);
    std::printf("drain of %d changed rooms: %.1f ms in %d passes (%.1f ms of it in the passes), "
                "%d pushes received, %d sent\n",
                rooms, drain * 1e3, drainPasses, passTime * 1e3, received, server.m_clientSendCount);
    server.OnDestroy();
    return received == rooms ? 0 : 2;
}
