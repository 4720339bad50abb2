// The room monitor at hotel scale (2,000 and 8,000 in-service rooms), on the
// embedded database in a temporary directory, on loopback ports the system
// picks, PMS type 2 with its poller running. For each size:
//   1. the cost of one pass when nothing is due (the UI thread's time);
//   2. the drain of an all-changed hotel to one logged-in workstation;
//   3. a hotel running for a while: every room unit reports once a second,
//      5% of the rooms change their do-not-disturb state each second, doors
//      open here and there and stay open, and an outside program changes
//      RMSTATE of a room twice a second. Printed: the longest time from a
//      room's change to its push, from a door's delay running out to its
//      event 18 push, and from an RMSTATE change to the room-state command;
//      the log lines "房间状态改变" written; the workstation's kernel drops
//      (its receive buffer is the 64 KiB of a workstation).
//   build/bench/room_monitor/room_monitor_bench [seconds of step 3 (20)] [sizes...]
// BENCH_FIFO=1 in the environment (as root) gives the workstation's reader
// thread a real-time priority, so a busy machine does not starve it.
#include "console/kelvor_dlg.h"
#include "console/settings.h"
#include "database/engine_settings.h"
#include "platform/gbk.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <arpa/inet.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }
int64_t WallNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

constexpr int kFloors = 20, kRoomsPerFloor = 50;
constexpr int kDoorDelay = 5; // option 13, seconds

struct RoomKey {
    int build, floor, room;
};
RoomKey KeyOf(int index) { return {1 + index / (kFloors * kRoomsPerFloor), 1 + index / kRoomsPerFloor % kFloors, index % kRoomsPerFloor}; }
int IndexOf(int build, int floor, int room) { return ((build - 1) * kFloors + floor - 1) * kRoomsPerFloor + room; }

std::string HotelConf(int builds)
{
    std::string text = "[Hotel]\nName=Bench\n[Layout]\n";
    int item = 0;
    for (int build = 1; build <= builds; ++build)
        for (int floor = 1; floor <= kFloors; ++floor)
            text += "item" + std::to_string(++item) + "=" + std::to_string(build) + " " + std::to_string(floor) +
                    " " + std::to_string(kRoomsPerFloor) + "\n";
    return text;
}

int UdpSocket(int receiveBuffer = 0)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (receiveBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&at), sizeof at);
    return fd;
}
uint16_t PortOf(int fd)
{
    sockaddr_in at{};
    socklen_t length = sizeof at;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&at), &length);
    return ntohs(at.sin_port);
}
void SendTo(int fd, const void *data, size_t size, uint16_t port)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    ::sendto(fd, data, size, 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
}
int64_t KernelDrops(int fd)
{
    uint32_t info[SK_MEMINFO_VARS] = {};
    socklen_t length = sizeof info;
    return ::getsockopt(fd, SOL_SOCKET, SO_MEMINFO, info, &length) == 0 ? info[SK_MEMINFO_DROPS] : -1;
}

std::vector<uint8_t> LoginFrame()
{
    std::vector<uint8_t> f(22, 0);
    for (char c : std::string("bench\0bench\0", 12))
        f.push_back(static_cast<uint8_t>(c));
    f[1] = static_cast<uint8_t>(f.size());
    std::memcpy(f.data() + 2, "ZOLP", 4);
    f[6] = 1;
    f[7] = 2;
    f[15] = 0x02;
    return f;
}

// A keep-alive (0x04), which a workstation sends well within the 50 s after
// which the server forgets it.
std::vector<uint8_t> KeepAliveFrame()
{
    std::vector<uint8_t> f(22, 0);
    f[1] = 22;
    std::memcpy(f.data() + 2, "ZOLP", 4);
    f[6] = 1;
    f[7] = 2;
    f[15] = 0x04;
    return f;
}

// A full status report as a new room holds its states, with DND and door set.
void FullReport(uint8_t *f, const RoomKey &k, int dnd, int door)
{
    std::memset(f, 0, 79);
    f[0] = 0xFF;
    f[1] = 79;
    std::memcpy(f + 2, "ZOLP", 4);
    f[6] = 1;
    f[16] = 0x84;
    f[18] = static_cast<uint8_t>(k.build);
    f[19] = static_cast<uint8_t>(k.floor);
    f[20] = static_cast<uint8_t>(k.room);
    f[36] = f[37] = f[68] = f[69] = 22;
    f[50] = 30;
    std::memset(f + 70, 0xFF, 4);
    f[47] = static_cast<uint8_t>(dnd);
    f[49] = static_cast<uint8_t>(door);
}

// Lines of a reply payload (from byte 22), as numbers.
std::vector<long long> Lines(const uint8_t *data, ssize_t size, size_t wanted)
{
    std::vector<long long> lines;
    const char *p = reinterpret_cast<const char *>(data) + 22, *end = reinterpret_cast<const char *>(data) + size;
    while (p < end && lines.size() < wanted) {
        const char *nl = static_cast<const char *>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        if (!nl)
            break;
        lines.push_back(std::strtoll(p, nullptr, 10));
        p = nl + 1;
    }
    return lines;
}

struct Latency {
    std::atomic<int64_t> maxNs{0};
    std::atomic<int64_t> count{0}, over100ms{0};
    void Add(int64_t ns)
    {
        ++count;
        over100ms += ns > 100000000;
        int64_t seen = maxNs.load();
        while (ns > seen && !maxNs.compare_exchange_weak(seen, ns)) {
        }
    }
};

// Each pass through the idle hook, as the event loop runs it.
void Pass(CKelvorDlg &server)
{
    server.m_idleLoopLevel = -1;
    server.ContinueModal();
    server.m_idleLoopLevel = 1000;
}

void RunLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int RunHotel(int rooms, double seconds)
{
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
    conf.write(HotelConf(rooms / (kFloors * kRoomsPerFloor)).c_str());
    conf.close();
    OpenProfileSettings()->setValue(QStringLiteral("Interface Configuration/HMS INTERFACE"), kPmsZhongruan);

    const int units = UdpSocket(8 << 20), station = UdpSocket(32768);
    ServerPorts ports;
    ports.serverUdp = 0;
    ports.pmsTcp = {0, 0};
    ports.rcuUdp = PortOf(units);
    auto server = std::make_unique<CKelvorDlg>(ports);
    server->OnInitDialog();
    server->m_idleLoopLevel = 1000; // passes only when this program runs one
    if (server->Mode() != StartMode::Full || !server->HasUdpSocket() || !server->m_pmsThread) {
        std::fprintf(stderr, "the server did not start fully\n");
        return 1;
    }
    const uint16_t serverPort = server->UdpPort();
    {
        CADOMyRecordset rs(&server->m_db);
        rs.Exec("insert into user_password(USER_NAME, PASSWORD, GROUP_ID) values('bench', 'bench', 0)");
        rs.Exec("update sysoptions set Value = '" + std::to_string(kDoorDelay) + "' where Optioncode = 13");
    }
    server->OnTimer(0);
    std::printf("\n%d rooms in service (PMS type 2, door delay %d s)\n", server->m_hotel.GetTotalRooms(), kDoorDelay);

    // The poller's first pass marks every room (RMSTATE 1 at start-up).
    const auto marksStart = Clock::now();
    while (Seconds(marksStart) < 30) {
        Pass(*server);
        int marked = 0;
        CHotel::RoomWalker walk(server->m_hotel);
        for (CRoom *room = walk.First(); room; room = walk.Next())
            marked += room->m_pmsChangeMark != 0 || room->m_polledPmsState != 1;
        if (marked == 0)
            break;
        RunLoop(5);
    }
    Pass(*server);

    // 1. Nothing due.
    constexpr int kIdlePasses = 2000;
    const auto idleStart = Clock::now();
    for (int i = 0; i < kIdlePasses; ++i)
        Pass(*server);
    std::printf("pass, nothing due: %.1f us (%d passes, the poller running beside)\n",
                Seconds(idleStart) / kIdlePasses * 1e6, kIdlePasses);

    // 2. Every room changed, one logged-in workstation reading as fast as it can.
    const std::vector<uint8_t> login = LoginFrame();
    SendTo(station, login.data(), login.size(), serverPort);
    const auto loginStart = Clock::now();
    while (server->m_clients.empty() && Seconds(loginStart) < 5)
        QCoreApplication::processEvents();
    if (server->m_clients.empty()) {
        std::fprintf(stderr, "the login was not answered\n");
        return 1;
    }
    std::atomic<bool> stop{false}, stopReading{false};
    std::atomic<int> roomPushes{0};
    std::vector<std::atomic<int64_t>> changeSent(static_cast<size_t>(rooms));
    std::vector<std::atomic<int>> expectedDnd(static_cast<size_t>(rooms));
    std::vector<std::atomic<int64_t>> doorDue(static_cast<size_t>(rooms));
    Latency toPush, toDoorEvent, toRoomState;
    std::thread workstation([&] {
        // A workstation is a machine of its own: on this busy one, the
        // reader should not lose its core to the server it measures.
        if (std::getenv("BENCH_FIFO")) {
            sched_param param{};
            param.sched_priority = 10;
            pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
        }
        uint8_t buf[3000];
        pollfd p{station, POLLIN, 0};
        while (!stopReading) {
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const ssize_t n = ::recv(station, buf, sizeof buf, MSG_DONTWAIT);
            if (n < 22)
                continue;
            const int code = buf[15] | buf[16] << 8;
            if (code == 0x87) {
                ++roomPushes;
                const auto lines = Lines(buf, n, 27);
                if (lines.size() < 27)
                    continue;
                const int at = IndexOf(static_cast<int>(lines[0]), static_cast<int>(lines[1]), static_cast<int>(lines[2]));
                if (at < 0 || at >= rooms)
                    continue;
                int64_t sent = changeSent[at].load();
                if (sent != 0 && lines[26] == expectedDnd[at].load() && changeSent[at].compare_exchange_strong(sent, 0))
                    toPush.Add(WallNs() - sent);
            } else if (code == 0x8B) {
                const auto lines = Lines(buf, n, 6);
                if (lines.size() < 6 || lines[5] != 18)
                    continue;
                const int at = IndexOf(static_cast<int>(lines[0]), static_cast<int>(lines[1]), static_cast<int>(lines[2]));
                if (at >= 0 && at < rooms) {
                    const int64_t due = doorDue[at].exchange(0);
                    if (due != 0)
                        toDoorEvent.Add(WallNs() - due);
                }
            }
        }
    });

    CHotel::RoomWalker walk(server->m_hotel);
    for (CRoom *room = walk.First(); room; room = walk.Next())
        room->m_changed = 1;
    roomPushes = 0;
    int drainPasses = 0;
    const auto drainStart = Clock::now();
    while (roomPushes < rooms && Seconds(drainStart) < 60) {
        Pass(*server);
        ++drainPasses;
        RunLoop(1);
    }
    std::printf("drain of %d changed rooms: %.2f s in %d passes, %d pushes received, workstation drops %lld\n",
                rooms, Seconds(drainStart), drainPasses, roomPushes.load(),
                static_cast<long long>(KernelDrops(station)));

    // 3. The running hotel, passes as the event loop gives them.
    int logLines = 0;
    const QString changedText = QString::fromStdString(platform::Utf8FromGbk("房间状态改变"));
    QObject::connect(&server->LogModel(), &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex &first, const QModelIndex &) {
                         logLines += server->LogModel().data(first).toString().contains(changedText);
                     });
    std::vector<std::atomic<int64_t>> pmsSent(static_cast<size_t>(rooms));
    std::vector<std::atomic<int>> pmsState(static_cast<size_t>(rooms));
    std::atomic<int64_t> changes{0}, pmsChanges{0}, doorsOpened{0};
    // The first round brings every room online, a change of every room,
    // whose pushes take rooms / kRoomPushesPerSecond seconds (step 2); the
    // figures count from the round after that.
    const int kWarmUp = 2 + rooms / kRoomPushesPerSecond;
    std::atomic<bool> warm{false};
    // The room-state commands that reached the room units.
    auto ReadStateCommands = [&] {
        uint8_t in[3000];
        for (ssize_t n; (n = ::recv(units, in, sizeof in, MSG_DONTWAIT)) > 0;) {
            if (n != 28 || (in[15] << 8 | in[16]) != 0x000C)
                continue;
            const int at = IndexOf(in[18], in[19], in[20]);
            if (at >= 0 && at < rooms && pmsState[at] == in[23]) {
                const int64_t sent = pmsSent[at].exchange(0);
                if (sent != 0)
                    toRoomState.Add(WallNs() - sent);
            }
        }
    };
    std::thread roomUnits([&] {
        std::vector<int> dnd(static_cast<size_t>(rooms), 0), door(static_cast<size_t>(rooms), 0);
        uint8_t frame[79];
        uint32_t random = 12345;
        const auto start = Clock::now();
        const int64_t ticks = static_cast<int64_t>((seconds + kWarmUp) * 100);
        const std::vector<uint8_t> keepAlive = KeepAliveFrame();
        for (int64_t tick = 0; tick < ticks && !stop; ++tick) {
            const int second = static_cast<int>(tick / 100);
            if (tick % 1000 == 0)
                SendTo(station, keepAlive.data(), keepAlive.size(), serverPort);
            if (second >= kWarmUp)
                warm = true;
            const int from = static_cast<int>(tick % 100) * rooms / 100, to = static_cast<int>(tick % 100 + 1) * rooms / 100;
            for (int i = from; i < to; ++i) {
                random = random * 1103515245u + 12345u;
                if (second >= kWarmUp && (random >> 16) % 100 < 5) { // 5% of the rooms a second
                    dnd[i] ^= 1;
                    expectedDnd[i] = dnd[i];
                    changeSent[i] = WallNs();
                    ++changes;
                }
                // Doors open in the first half of a second, so the server
                // stamps the opening with the second it was sent in.
                if (door[i] == 0 && second >= kWarmUp && tick % 100 < 50 && i % 199 == second % 199 &&
                    second < seconds + kWarmUp - kDoorDelay - 3) {
                    door[i] = 1;
                    const int64_t now = WallNs();
                    doorDue[i] = (now / 1000000000 + kDoorDelay + 1) * 1000000000;
                    ++doorsOpened;
                }
                FullReport(frame, KeyOf(i), dnd[i], door[i]);
                SendTo(units, frame, sizeof frame, serverPort);
            }
            ReadStateCommands();
            std::this_thread::sleep_until(start + std::chrono::milliseconds(10 * (tick + 1)));
        }
        stop = true;
    });
    // The PMS software: RMSTATE of a room twice a second, the rooms spread
    // over the whole walk, the last room among them.
    std::thread pms([&] {
        sqlite3 *db = nullptr;
        sqlite3_open(dir.filePath("tempdb.db").toStdString().c_str(), &db);
        sqlite3_busy_timeout(db, 5000);
        for (int n = 0; !stop; ++n) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            if (stop || !warm)
                continue;
            const int at = n % 2 == 0 ? rooms - 1 : (n * 7919) % rooms;
            const RoomKey k = KeyOf(at);
            const int state = pmsState[at] == 2 ? 3 : 2;
            pmsState[at] = state;
            pmsSent[at] = WallNs();
            const std::string sql = "update REALTIMEROOM set RMSTATE=" + std::to_string(state) +
                                    " where BUILD=" + std::to_string(k.build) + " and FLOOR=" +
                                    std::to_string(k.floor) + " and ROOMNUM=" + std::to_string(k.room);
            if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK)
                ++pmsChanges;
        }
        sqlite3_close(db);
    });
    server->m_idleLoopLevel = -1;
    const int passesBefore = server->m_idlePasses;
    const auto runStart = Clock::now();
    int64_t stationDropsBefore = 0;
    auto warmAt = Clock::now();
    while (!stop) {
        RunLoop(100);
        if (!warm) {
            logLines = 0;
            stationDropsBefore = KernelDrops(station);
            warmAt = Clock::now();
        }
    }
    RunLoop(3000); // what is still on its way
    const double ran = Seconds(runStart), measured = Seconds(warmAt);
    server->m_idleLoopLevel = 1000;
    roomUnits.join();
    pms.join();
    ReadStateCommands();
    stopReading = true;
    workstation.join();
    int64_t unpushed = 0, doorsNotRaised = 0, pmsLost = 0;
    for (int i = 0; i < rooms; ++i) {
        unpushed += changeSent[i] != 0;
        doorsNotRaised += doorDue[i] != 0;
        pmsLost += pmsSent[i] != 0;
    }
    auto ms = [](const Latency &l) { return l.maxNs / 1e6; };
    std::printf("running hotel, %.0f s (%d s of it warm-up): %lld reports, %d passes (%.0f a second)\n", ran,
                kWarmUp, static_cast<long long>((seconds + kWarmUp) * rooms), server->m_idlePasses - passesBefore,
                (server->m_idlePasses - passesBefore) / ran);
    std::printf("  room change -> push: longest %.0f ms over %lld changes, %lld never pushed\n", ms(toPush),
                static_cast<long long>(toPush.count.load()), static_cast<long long>(unpushed));
    std::printf("  door delay over -> event 18 push: longest %.0f ms over %lld doors (%lld over 100 ms), %lld not raised\n",
                ms(toDoorEvent), static_cast<long long>(toDoorEvent.count.load()),
                static_cast<long long>(toDoorEvent.over100ms.load()),
                static_cast<long long>(doorsNotRaised));
    std::printf("  RMSTATE change -> room-state command: longest %.0f ms over %lld changes, %lld not sent\n",
                ms(toRoomState), static_cast<long long>(toRoomState.count.load()), static_cast<long long>(pmsLost));
    std::printf("  room-changed log lines: %d for %lld changes (%.1f a second)\n", logLines,
                static_cast<long long>(changes.load() + doorsOpened.load()), logLines / measured);
    std::printf("  workstation kernel drops: %lld; server kernel drops: %lld\n",
                static_cast<long long>(KernelDrops(station) - stationDropsBefore),
                static_cast<long long>(server->m_kernelDrops));
    server->OnDestroy();
    server.reset();
    ::close(units);
    ::close(station);
    return unpushed == 0 && doorsNotRaised == 0 && pmsLost == 0 ? 0 : 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    std::vector<int> sizes;
    for (int i = 2; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty())
        sizes = {2000, 8000};
    int result = 0;
    for (int rooms : sizes)
        result = std::max(result, RunHotel(rooms, seconds));
    return result;
}
