// The real server executable, offscreen, in a temporary working directory,
// measured from outside as a hotel would run it:
//   1. start-up: from the start of the process to its first answer on UDP
//      3338 (an online-list request sent every millisecond), for an empty
//      hotel and for 2,000 and 8,000 rooms, each with an address row per
//      room; the median of `runs`, and the ratio to the empty hotel's;
//   2. idle CPU of the process over `seconds` while nothing arrives, with
//      PMS type 0 and 2 (type 2 runs the room-state poller), 2,000 and 8,000
//      rooms; then, with type 2, one outside change of RMSTATE as the PMS
//      software writes it into tempdb.db, and what reached the room's unit
//      (state commands on UDP 3341) and the event table.
// It serves the installation's ports, so run it in a network namespace:
//   unshare -rn bash -c 'ip link set lo up && build/bench/server_process/server_process_bench [runs] [seconds] [startup|idle]'
#include "platform/gbk.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QUdpSocket>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sqlite3.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr quint16 kServerPort = 3338;
constexpr quint16 kRoomUnitPort = 3341;
constexpr int kRoomsPerFloor = 50;
constexpr int kFloorsPerBuilding = 40;
constexpr int kLocalhost = 0x7F000001;

// The room whose state the PMS changes: the last of the walk.
struct RoomNumbers {
    int build, floor, room;
};

RoomNumbers LastRoom(int rooms)
{
    const int floors = rooms / kRoomsPerFloor;
    const int builds = (floors + kFloorsPerBuilding - 1) / kFloorsPerBuilding;
    const int lastFloors = floors - (builds - 1) * kFloorsPerBuilding;
    return {builds, lastFloors, kRoomsPerFloor - 1};
}

void MustExec(sqlite3 *db, const std::string &sql)
{
    char *error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", sql.c_str(), error ? error : "?");
        std::exit(1);
    }
}

// A working directory: velto.db from the seed with an address row for every
// room (the changed room's unit at 127.0.0.1), hotel.conf, the PMS type.
class Installation {
public:
    Installation(int rooms, int pmsType) : m_rooms(rooms)
    {
        const QString db = Path("velto.db");
        if (!QFile::copy(QStringLiteral(KELVOR_SEED_DB), db))
            std::exit(1);
        QFile(db).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        std::string layout;
        sqlite3 *seed = nullptr;
        sqlite3_open(db.toUtf8().constData(), &seed);
        MustExec(seed, "BEGIN");
        const RoomNumbers last = LastRoom(rooms);
        for (int i = 0; i < rooms / kRoomsPerFloor; ++i) {
            const int build = 1 + i / kFloorsPerBuilding;
            const int floor = 1 + i % kFloorsPerBuilding;
            layout += "item" + std::to_string(i + 1) + "=" + std::to_string(build) + " " + std::to_string(floor) +
                      " " + std::to_string(kRoomsPerFloor) + "\n";
            for (int room = 0; room < kRoomsPerFloor; ++room) {
                const bool changed = build == last.build && floor == last.floor && room == last.room;
                MustExec(seed, "insert into room_ip_list(BUILD_NUM, FLOOR_NUM, ROOM_NUM, IP_ADDR, IP_ADDR2, ADDR) values(" +
                                   std::to_string(build) + ", " + std::to_string(floor) + ", " + std::to_string(room) +
                                   ", " + std::to_string(changed ? kLocalhost : 0x0A000000 + i * 256 + room) + ", 0, 1)");
            }
        }
        MustExec(seed, "COMMIT");
        sqlite3_close(seed);
        std::ofstream(Path("hotel.conf").toStdString()) << "[Hotel]\nName=Bench Hotel\n[Layout]\n" << layout;
        QSettings(Path("config/") + platform::QStringFromGbk("应用程序向导生成的本地应用程序") +
                      QStringLiteral("/kelvor-server.conf"),
                  QSettings::IniFormat)
            .setValue(QStringLiteral("Interface Configuration/HMS INTERFACE"), pmsType);
    }
    QString Path(const char *name) const { return QDir(m_dir.path()).filePath(QString::fromLatin1(name)); }
    int Rooms() const { return m_rooms; }

private:
    QTemporaryDir m_dir;
    int m_rooms;
};

class Server {
public:
    explicit Server(const Installation &at)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), at.Path(""));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), at.Path("config"));
        m_process.setProcessEnvironment(env);
        m_process.setWorkingDirectory(at.Path(""));
        m_process.setProgram(QStringLiteral(KELVOR_SERVER_EXE));
        m_process.setStandardErrorFile(at.Path("stderr.txt"));
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_station.bind(QHostAddress::LocalHost, 0);
        m_clock.start();
        m_process.start();
        if (!m_process.waitForStarted()) {
            std::fprintf(stderr, "cannot start %s\n", KELVOR_SERVER_EXE);
            std::exit(1);
        }
    }
    ~Server()
    {
        ::kill(static_cast<pid_t>(m_process.processId()), SIGTERM);
        if (!m_process.waitForFinished(10000))
            m_process.kill();
        m_process.waitForFinished();
    }

    // Seconds from the start of the process to its first answer.
    double FirstAnswer()
    {
        QByteArray request(64, '\0');
        auto *b = reinterpret_cast<uint8_t *>(request.data());
        b[1] = 64;
        std::memcpy(b + 2, "ZOLP", 4);
        b[6] = 1;
        b[7] = 2;
        b[15] = 0x11; // the online-list request, answered without a login
        b[17] = 1;
        while (m_clock.elapsed() < 60000) {
            m_station.writeDatagram(request, QHostAddress::LocalHost, kServerPort);
            if (m_station.waitForReadyRead(1) && m_station.hasPendingDatagrams())
                return static_cast<double>(m_clock.nsecsElapsed()) / 1e9;
        }
        std::fprintf(stderr, "no answer in 60 s\n");
        std::exit(1);
    }

    // User and system time of the process so far, seconds.
    double CpuSeconds() const
    {
        std::ifstream stat("/proc/" + std::to_string(m_process.processId()) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const size_t end = text.rfind(')');
        if (end == std::string::npos)
            return 0;
        std::vector<std::string> fields;
        size_t at = end + 2;
        while (at < text.size()) {
            const size_t next = text.find(' ', at);
            fields.push_back(text.substr(at, next - at));
            if (next == std::string::npos)
                break;
            at = next + 1;
        }
        // After the name: state is field 3, utime 14 and stime 15.
        if (fields.size() < 13)
            return 0;
        const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
        return (std::atof(fields[11].c_str()) + std::atof(fields[12].c_str())) / ticks;
    }

    // The share of one core the process used over `seconds`.
    double IdleCpu(double seconds) const
    {
        const double before = CpuSeconds();
        QThread::msleep(static_cast<unsigned long>(seconds * 1000));
        return (CpuSeconds() - before) / seconds;
    }

private:
    QProcess m_process;
    QUdpSocket m_station;
    QElapsedTimer m_clock;
};

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// State commands (0x000C) for the room that reached its unit, with their
// state bytes.
std::vector<int> StateCommands(QUdpSocket &unit, const RoomNumbers &room)
{
    std::vector<int> states;
    while (unit.hasPendingDatagrams()) {
        QByteArray f(static_cast<int>(unit.pendingDatagramSize()), '\0');
        unit.readDatagram(f.data(), f.size());
        const auto *b = reinterpret_cast<const uint8_t *>(f.constData());
        if (f.size() == 28 && (b[15] << 8 | b[16]) == 0x000C && b[18] == room.build && b[19] == room.floor &&
            b[20] == room.room)
            states.push_back(b[23]);
    }
    return states;
}

int Count(const QString &file, const std::string &sql)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_busy_timeout(db, 5000);
    sqlite3_stmt *statement = nullptr;
    int count = -1;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
        count = sqlite3_column_int(statement, 0);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return count;
}

void WriteAsThePms(const QString &tempdb, const RoomNumbers &room, int state)
{
    sqlite3 *pms = nullptr;
    sqlite3_open(tempdb.toUtf8().constData(), &pms);
    sqlite3_busy_timeout(pms, 5000);
    MustExec(pms, "update REALTIMEROOM set RMSTATE=" + std::to_string(state) + " where BUILD=" +
                      std::to_string(room.build) + " and FLOOR=" + std::to_string(room.floor) +
                      " and ROOMNUM=" + std::to_string(room.room));
    sqlite3_close(pms);
}

void IdleAndOneChange(int rooms, int pmsType, double seconds)
{
    const Installation at(rooms, pmsType);
    QUdpSocket unit;
    if (!unit.bind(QHostAddress::LocalHost, kRoomUnitPort)) {
        std::fprintf(stderr, "cannot bind UDP %d (run in a network namespace)\n", kRoomUnitPort);
        std::exit(1);
    }
    Server server(at);
    server.FirstAnswer();
    // The first pass finds every room checked in; the monitor sends each
    // room its state. Let that end.
    QThread::sleep(3);
    const double cpu = server.IdleCpu(seconds);
    std::printf("idle CPU, %5d rooms, PMS type %d    %5.1f%% of a core over %.0f s\n", rooms, pmsType, cpu * 100,
                seconds);
    if (pmsType != 2)
        return;
    const RoomNumbers room = LastRoom(rooms);
    const std::string events = "select count(*) from event_msg_list where build_num=" + std::to_string(room.build) +
                               " and floor_num=" + std::to_string(room.floor) +
                               " and room_num=" + std::to_string(room.room) + " and msg_type=22";
    StateCommands(unit, room);
    const int eventsBefore = Count(at.Path("velto.db"), events);
    WriteAsThePms(at.Path("tempdb.db"), room, 3);
    QElapsedTimer waited;
    waited.start();
    std::vector<int> states;
    double reached = -1;
    while (waited.elapsed() < 2000) {
        unit.waitForReadyRead(10);
        for (int state : StateCommands(unit, room)) {
            states.push_back(state);
            if (reached < 0)
                reached = static_cast<double>(waited.nsecsElapsed()) / 1e6;
        }
    }
    const int eventsAfter = Count(at.Path("velto.db"), events);
    std::printf("  outside change of RMSTATE to 3: %zu state command(s)%s, first after %.1f ms; %d event row(s)\n",
                states.size(), states.size() == 1 && states[0] == 3 ? " with state 3" : "", reached,
                eventsAfter - eventsBefore);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const double seconds = argc > 2 ? std::atof(argv[2]) : 7.0;

    const std::string only = argc > 3 ? argv[3] : "";
    double empty = 0;
    for (int rooms : {0, 2000, 8000}) {
        if (only == "idle")
            break;
        std::vector<double> times;
        for (int run = 0; run < runs; ++run) {
            const Installation at(rooms, 0);
            Server server(at);
            times.push_back(server.FirstAnswer());
        }
        const double median = Median(times);
        if (rooms == 0)
            empty = median;
        std::printf("start-up to the first answer, %5d rooms  %6.1f ms (median of %d)  %.2f x the empty hotel\n",
                    rooms, median * 1e3, runs, median / empty);
    }
    for (int rooms : {2000, 8000})
        for (int type : {0, 2})
            if (only != "startup")
                IdleAndOneChange(rooms, type, seconds);
    return 0;
}
