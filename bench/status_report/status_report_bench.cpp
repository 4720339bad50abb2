// A storm of full status reports on a hotel of 2,000 rooms in service, on the
// embedded database:
//   1. every room sends one report in which all ten event states and both
//      fan-coil units changed (22 statements each), in-process through the
//      dispatcher, in blocks alternating with the same statements run
//      directly through sqlite3 on a database of its own;
//   2. the same reports again once the rooms are pushed (nothing changes);
//   3. every room sends a report that switches everything back, over
//      loopback to the server's port 3338 at a paced rate, and the
//      dispatcher's counters tell how many were handled.
//   build/bench/status_report/status_report_bench [rooms per floor]
// Binds UDP 3338 on 127.0.0.1 traffic only; run it while no server runs.
#include "console/kelvor_dlg.h"
#include "database/engine_settings.h"
#include "database/sqlite_dialect.h"
#include "platform/gbk.h"
#include "protocol/event_types.h"
#include "protocol/frame_header.h"
#include "protocol/statement_forms.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <sqlite3.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kFloors = 100;
constexpr int kReportLength = 79;
constexpr int kRangeLow = 16, kRangeHigh = 28;
constexpr int kEventOffsets[] = {39, 45, 46, 47, 49, 59, 60, 77, 78, 62};

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

struct UnitBytes {
    uint8_t present, speed, season, control, halt, sensor, cur, set;
};

// A full report for one room. `on`: every event state active, unit 0 too
// hot; otherwise every state off and both units in range.
void BuildReport(uint8_t *f, int floor, int room, bool on)
{
    std::memset(f, 0, kReportLength);
    f[0] = 0xFF;
    f[1] = kReportLength;
    std::memcpy(f + 2, "ZOLP", 4);
    f[6] = 1;
    frame::PutU16Be(f + 15, 0x0084);
    f[18] = 1;
    f[19] = static_cast<uint8_t>(floor);
    f[20] = static_cast<uint8_t>(room);
    f[38] = 1; // guest card
    frame::PutU32Le(f + 41, 1000u + static_cast<uint32_t>(room));
    for (int offset : kEventOffsets)
        f[offset] = on ? 1 : 0;
    const UnitBytes u0 = on ? UnitBytes{1, 2, 1, 1, 0, 1, 35, 24} : UnitBytes{1, 1, 0, 0, 1, 1, 23, 23};
    const UnitBytes u1 = on ? UnitBytes{1, 3, 1, 1, 0, 1, 20, 21} : UnitBytes{1, 1, 0, 0, 1, 1, 22, 23};
    f[30] = u0.present, f[31] = u0.speed, f[32] = u0.season, f[33] = u0.control, f[34] = u0.halt;
    f[35] = u0.sensor, f[36] = u0.cur, f[37] = u0.set;
    f[63] = u1.present, f[64] = u1.speed, f[76] = u1.season, f[65] = u1.control, f[66] = u1.halt;
    f[67] = u1.sensor, f[68] = u1.cur, f[69] = u1.set;
    f[75] = 1;
}

stFanCoilUnit UnitAfter(bool first)
{
    stFanCoilUnit u;
    const UnitBytes b = first ? UnitBytes{1, 2, 1, 1, 0, 1, 35, 24} : UnitBytes{1, 3, 1, 1, 0, 1, 20, 21};
    u.present = b.present, u.fanSpeed = b.speed, u.seasonMode = b.season, u.control = b.control, u.halt = b.halt;
    u.tempSensor = b.sensor, u.curTemp = b.cur, u.setTemp = b.set;
    return u;
}

// The 22 statements an all-changed report of the room runs, as SQLite gets them.
void AllChangedStatements(int floor, int room, std::vector<std::string> &out)
{
    char sql[kStatementSize];
    auto add = [&](int n) { out.push_back(database::SqliteDialect::Translate(platform::QStringFromGbk(std::string_view(sql, static_cast<size_t>(n)))).sql.toStdString()); };
    const int32_t card = 1000 + room;
    struct Change {
        EventKind kind;
        bool hasColumn;
        LiveRoomColumn column;
    };
    const Change changes[] = {
        {EventKind::GuestCardIn, true, LiveRoomColumn::CardIn},   {EventKind::EmergencyCall, true, LiveRoomColumn::Call},
        {EventKind::CleanRequest, true, LiveRoomColumn::Clean},   {EventKind::DndSet, true, LiveRoomColumn::Dnd},
        {EventKind::DoorOpened, true, LiveRoomColumn::Door},      {EventKind::CheckoutRequest, true, LiveRoomColumn::Checkout},
        {EventKind::ServiceRequest, true, LiveRoomColumn::Service}, {EventKind::LaundryRequest, true, LiveRoomColumn::Service},
        {EventKind::PickupReady, true, LiveRoomColumn::Service},  {EventKind::SafeOpened, false, LiveRoomColumn::Call},
    };
    for (const Change &c : changes) {
        add(FormatEventRow(sql, sizeof sql, 1, floor, room, c.kind, card, 1));
        if (c.hasColumn)
            add(FormatLiveRoomUpdate(sql, sizeof sql, c.column, 1, 1, floor, room));
    }
    add(FormatEventRow(sql, sizeof sql, 1, floor, room, EventKind::TemperatureAlarm, card, 1));
    add(FormatFanCoilHistoryRow(sql, sizeof sql, 1, floor, room, UnitAfter(true), 1, 3));
    add(FormatFanCoilHistoryRow(sql, sizeof sql, 1, floor, room, UnitAfter(false), 1, 4));
}

QString PrepareDir(const QTemporaryDir &root, const char *name)
{
    const QString dir = QDir(root.path()).filePath(QString::fromLatin1(name));
    QDir().mkpath(dir);
    const QString db = QDir(dir).filePath(QStringLiteral("velto.db"));
    QFile::copy(QStringLiteral(KELVOR_SEED_DB), db);
    QFile(db).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return dir;
}

int CountRows(CKelvorDlg &server, const char *table)
{
    CADOMyRecordset rs(&server.m_db);
    rs.Exec(std::string("select count(*) as N from ") + table);
    return std::atoi(rs.GetFieldString("N").c_str());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int perFloor = argc > 1 ? std::atoi(argv[1]) : 20;
    const int rooms = kFloors * perFloor;
    QTemporaryDir root(QDir::current().filePath(QStringLiteral("bench-XXXXXX"))); // on the disk, not in tmpfs

    // The server, started in a working directory of its own.
    const QString serverDir = PrepareDir(root, "server");
    for (auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, QDir(serverDir).filePath(QStringLiteral("profile")));
    QDir::setCurrent(serverDir);
    {
        std::string conf = "[Layout]\n";
        for (int floor = 1; floor <= kFloors; ++floor)
            conf += "item" + std::to_string(floor) + "=1 " + std::to_string(floor) + " " + std::to_string(perFloor) + " 0\n";
        QFile file(QStringLiteral("hotel.conf"));
        file.open(QIODevice::WriteOnly);
        file.write(conf.data(), static_cast<qint64>(conf.size()));
    }
    database::EngineSettings settings;
    settings.directory = serverDir;
    database::SetEngineSettings(settings);
    CKelvorDlg server;
    server.OnInitDialog();
    if (server.Mode() != StartMode::Full || !server.HasUdpSocket()) {
        std::fprintf(stderr, "the server did not start in full (is port 3338 taken?)\n");
        return 1;
    }
    server.m_rangeLow = kRangeLow;
    server.m_rangeHigh = kRangeHigh;
    std::printf("hotel: %d rooms in service, %d live-room rows\n", server.m_hotel.GetTotalRooms(),
                CountRows(server, "##REALTIMEROOM"));

    // The direct side: its own database with the same settings and tables.
    const QString directDir = PrepareDir(root, "direct");
    sqlite3 *handle = nullptr;
    sqlite3_open(QDir(directDir).filePath(QStringLiteral("velto.db")).toUtf8().constData(), &handle);
    QString error;
    if (!database::SqliteDialect::PrepareConnection(handle, directDir, true, &error)) {
        std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        return 1;
    }
    auto direct = [&](const std::string &sql) {
        return sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    };
    direct(database::SqliteDialect::Translate(QString::fromLatin1(
                                                  "CREATE TABLE ##REALTIMEROOM ([INDEX] [int] IDENTITY (1, 1) NOT NULL ,[BUILD] [tinyint] NOT NULL ,"
                                                  "[FLOOR] [tinyint] NOT NULL ,[ROOMNUM] [tinyint] NOT NULL ,[CLEAN] [tinyint] NOT NULL ,[DND] [tinyint] NOT NULL ,"
                                                  "[RMSTATE] [tinyint] NOT NULL,[CHECKOUT] [tinyint] NOT NULL,[SERVICE] [tinyint] NOT NULL,[CALL] [tinyint] NOT NULL,"
                                                  "[CARDIN] [tinyint] NOT NULL,[DOOR] [tinyint] NOT NULL) ON [PRIMARY]"))
               .sql.toStdString());
    direct("begin");
    for (int floor = 1; floor <= kFloors; ++floor)
        for (int room = 1; room <= perFloor; ++room)
            direct("insert into tempdb.REALTIMEROOM(BUILD, FLOOR, ROOMNUM, CLEAN, DND, RMSTATE, CHECKOUT, SERVICE,CALL, CARDIN, DOOR)"
                   "values(1, " + std::to_string(floor) + ", " + std::to_string(room) + ", 0, 0, 1, 0, 0, 0, 0, 0)");
    direct("commit");

    // 1. All changed, in blocks alternating with the direct statements.
    std::vector<std::string> statements;
    statements.reserve(static_cast<size_t>(rooms) * 22);
    for (int floor = 1; floor <= kFloors; ++floor)
        for (int room = 1; room <= perFloor; ++room)
            AllChangedStatements(floor, room, statements);
    const int eventsBefore = CountRows(server, "event_msg_list");
    const int historyBefore = CountRows(server, "fengji_his");
    constexpr int kBlocks = 20;
    double handlerSeconds = 0, directSeconds = 0;
    size_t next = 0;
    for (int block = 0; block < kBlocks; ++block) {
        const int first = block * rooms / kBlocks, last = (block + 1) * rooms / kBlocks;
        auto start = Clock::now();
        for (int i = first; i < last; ++i) {
            BuildReport(server.m_recvBuf, 1 + i / perFloor, 1 + i % perFloor, true);
            server.HandleDatagram(kReportLength, 0x7F000001, 3341);
        }
        handlerSeconds += Seconds(start);
        start = Clock::now();
        for (size_t end = static_cast<size_t>(last) * 22; next < end; ++next) {
            if (!direct(statements[next])) {
                std::fprintf(stderr, "direct statement failed: %s\n", statements[next].c_str());
                return 1;
            }
        }
        directSeconds += Seconds(start);
    }
    const int events = CountRows(server, "event_msg_list") - eventsBefore;
    const int history = CountRows(server, "fengji_his") - historyBefore;
    const double changedRate = rooms / handlerSeconds;
    const double directRate = rooms / directSeconds;
    std::printf("all changed, in-process: %.0f reports/s (%d event rows, %d history rows, %zu statements)\n",
                changedRate, events, history, statements.size());
    std::printf("same statements through sqlite3: %.0f reports/s; ratio %.2f (target at least 0.50)\n", directRate,
                changedRate / directRate);

    // 2. Nothing changed: the rooms pushed, the same reports again.
    for (CRoom *room = server.m_hotel.GetFirstRoom(); room; room = server.m_hotel.GetNextRoom())
        room->m_changed = 0;
    constexpr int kQuietRounds = 20;
    const int eventsQuiet = CountRows(server, "event_msg_list");
    auto start = Clock::now();
    for (int round = 0; round < kQuietRounds; ++round) {
        for (int i = 0; i < rooms; ++i) {
            BuildReport(server.m_recvBuf, 1 + i / perFloor, 1 + i % perFloor, true);
            server.HandleDatagram(kReportLength, 0x7F000001, 3341);
        }
    }
    const double quietRate = kQuietRounds * rooms / Seconds(start);
    std::printf("nothing changed, in-process: %.0f reports/s, %.0f times the all-changed rate (target at least 100);"
                " %d rows written\n",
                quietRate, quietRate / changedRate, CountRows(server, "event_msg_list") - eventsQuiet);

    // 3. Over loopback, everything switched back, paced at half the
    // in-process rate.
    const double pace = changedRate / 2;
    const int knownBefore = server.m_rcuKnownCount;
    std::atomic<int> sent{0};
    std::atomic<bool> done{false};
    std::thread sender([&] {
        const int fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(kServerUdpPort);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        uint8_t datagram[kReportLength];
        const auto begin = Clock::now();
        for (int i = 0; i < rooms; ++i) {
            std::this_thread::sleep_until(begin + std::chrono::duration<double>(i / pace));
            BuildReport(datagram, 1 + i / perFloor, 1 + i % perFloor, false);
            if (sendto(fd, datagram, kReportLength, 0, reinterpret_cast<const sockaddr *>(&to), sizeof to) ==
                kReportLength)
                ++sent;
        }
        close(fd);
        done = true;
    });
    start = Clock::now();
    auto lastProgress = Clock::now();
    int lastKnown = server.m_rcuKnownCount;
    while (!done || Seconds(lastProgress) < 0.5) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (server.m_rcuKnownCount != lastKnown) {
            lastKnown = server.m_rcuKnownCount;
            lastProgress = Clock::now();
        }
    }
    sender.join();
    // Each room got one datagram that closed its door; the counter also
    // takes in whatever else reached port 3338 meanwhile.
    int handled = 0;
    for (CRoom *room = server.m_hotel.GetFirstRoom(); room; room = server.m_hotel.GetNextRoom())
        handled += room->m_doorOpen == 0 ? 1 : 0;
    std::printf("loopback at %.0f datagrams/s: %d sent, %d handled (dispatcher counted %d), %d lost (%.1f s)\n", pace,
                sent.load(), handled, server.m_rcuKnownCount - knownBefore, sent.load() - handled, Seconds(start));

    sqlite3_close(handle);
    server.OnDestroy();
    return 0;
}
