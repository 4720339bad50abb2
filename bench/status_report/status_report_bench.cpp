// A storm of full status reports on a hotel of 2,000 rooms in service, on the
// embedded database:
//   1. every room sends one report in which all ten event states and both
//      fan-coil units changed (22 statements each), in-process through the
//      dispatcher, in blocks alternating with the same statements run
//      directly through sqlite3 on a database of its own;
//   2. the same reports again once the rooms are pushed (nothing changes);
//   3. every room sends a report that switches everything back, over
//      loopback to the server's UDP port at a paced rate, with the room
//      monitor's idle passes running between datagrams as in the server;
//      the dispatcher's counters tell how many were handled.
//   build/bench/status_report/status_report_bench [rooms per floor] [pace]
// pace: the loopback rate as a share of the in-process all-changed rate
// (0.5 when not given).
// The server's own ports are ones the system picks, so it runs beside a
// running server.
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
#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <netinet/in.h>
#include <sqlite3.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Building 7: should a datagram of another program ever reach the server's
// port (tests use hotels of buildings 1 and 2), it finds no room here, so the
// dispatcher's known-room counter counts only the benchmark's own.
constexpr int kBuild = 7;
constexpr int kFloors = 100;
constexpr int kReportLength = 79;
constexpr int kRangeLow = 16, kRangeHigh = 28;
constexpr int kEventOffsets[] = {39, 45, 46, 47, 49, 59, 60, 77, 78, 62};

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// A unit's bytes: present, speed, season, control, halt, sensor, current and
// set temperature.
using UnitBytes = std::array<uint8_t, 8>;
// Where each unit's bytes sit in the full report, in that order.
constexpr uint8_t kUnitOffsets[2][8] = {{30, 31, 32, 33, 34, 35, 36, 37}, {63, 64, 76, 65, 66, 67, 68, 69}};
// Switched on: unit 0 too hot, unit 1 in range; switched back: both in range.
constexpr UnitBytes kUnitsOn[2] = {{{1, 2, 1, 1, 0, 1, 35, 24}}, {{1, 3, 1, 1, 0, 1, 20, 21}}};
constexpr UnitBytes kUnitsOff[2] = {{{1, 1, 0, 0, 1, 1, 23, 23}}, {{1, 1, 0, 0, 1, 1, 22, 23}}};

// A full report for one room: every event state on, or every one off.
void BuildReport(uint8_t *f, int floor, int room, bool on)
{
    std::memset(f, 0, kReportLength);
    f[0] = 0xFF;
    f[1] = kReportLength;
    std::memcpy(f + 2, "ZOLP", 4);
    f[6] = 1;
    frame::PutU16Be(f + 15, 0x0084);
    f[18] = kBuild;
    f[19] = static_cast<uint8_t>(floor);
    f[20] = static_cast<uint8_t>(room);
    f[38] = 1; // guest card
    frame::PutU32Le(f + 41, 1000u + static_cast<uint32_t>(room));
    for (int offset : kEventOffsets)
        f[offset] = on ? 1 : 0;
    for (int unit = 0; unit < 2; ++unit) {
        const UnitBytes &bytes = on ? kUnitsOn[unit] : kUnitsOff[unit];
        for (size_t i = 0; i < bytes.size(); ++i)
            f[kUnitOffsets[unit][i]] = bytes[i];
    }
    f[75] = 1; // unit 0's valve
}

stFanCoilUnit UnitSwitchedOn(int unit)
{
    const UnitBytes &b = kUnitsOn[unit];
    stFanCoilUnit u;
    u.present = b[0];
    u.fanSpeed = b[1];
    u.seasonMode = b[2];
    u.control = b[3];
    u.halt = b[4];
    u.tempSensor = b[5];
    u.curTemp = b[6];
    u.setTemp = b[7];
    return u;
}

// The 22 statements an all-changed report of the room runs, as SQLite gets them.
void AllChangedStatements(int floor, int room, std::vector<std::string> &out)
{
    char sql[kStatementSize];
    auto add = [&](int n) {
        const QString text = platform::QStringFromGbk(std::string_view(sql, static_cast<size_t>(n)));
        out.push_back(database::SqliteDialect::Translate(text).sql.toStdString());
    };
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
        add(FormatEventRow(sql, sizeof sql, kBuild, floor, room, c.kind, card, 1));
        if (c.hasColumn)
            add(FormatLiveRoomUpdate(sql, sizeof sql, c.column, 1, kBuild, floor, room));
    }
    add(FormatEventRow(sql, sizeof sql, kBuild, floor, room, EventKind::TemperatureAlarm, card, 1));
    add(FormatFanCoilHistoryRow(sql, sizeof sql, kBuild, floor, room, UnitSwitchedOn(0), 1, 3));
    add(FormatFanCoilHistoryRow(sql, sizeof sql, kBuild, floor, room, UnitSwitchedOn(1), 1, 4));
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

// UDP datagrams the kernel dropped for a full receive buffer, on the whole
// machine (/proc/net/snmp); -1 when unknown.
long ReceiveBufferDrops()
{
    QFile file(QStringLiteral("/proc/net/snmp"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        if (!lines[i].startsWith("Udp: ") || !lines[i + 1].startsWith("Udp: "))
            continue;
        const QList<QByteArray> names = lines[i].simplified().split(' ');
        const QList<QByteArray> values = lines[i + 1].simplified().split(' ');
        const qsizetype at = names.indexOf("RcvbufErrors");
        return at >= 0 && at < values.size() ? values[at].toLong() : -1;
    }
    return -1;
}

const char kCreateLiveRoom[] =
    "CREATE TABLE ##REALTIMEROOM ([INDEX] [int] IDENTITY (1, 1) NOT NULL ,[BUILD] [tinyint] NOT NULL ,"
    "[FLOOR] [tinyint] NOT NULL ,[ROOMNUM] [tinyint] NOT NULL ,[CLEAN] [tinyint] NOT NULL ,[DND] [tinyint] NOT NULL ,"
    "[RMSTATE] [tinyint] NOT NULL,[CHECKOUT] [tinyint] NOT NULL,[SERVICE] [tinyint] NOT NULL,[CALL] [tinyint] NOT NULL,"
    "[CARDIN] [tinyint] NOT NULL,[DOOR] [tinyint] NOT NULL) ON [PRIMARY]";

class Storm {
public:
    explicit Storm(int perFloor) : m_perFloor(perFloor), m_rooms(kFloors * perFloor) {}
    ~Storm()
    {
        if (m_direct)
            sqlite3_close(m_direct);
        if (m_server)
            m_server->OnDestroy();
    }

    // The server in a working directory of its own, with its settings there.
    bool StartServer(const QString &dir)
    {
        for (auto format : {QSettings::NativeFormat, QSettings::IniFormat})
            QSettings::setPath(format, QSettings::UserScope, QDir(dir).filePath(QStringLiteral("profile")));
        QDir::setCurrent(dir);
        std::string conf = "[Layout]\n";
        for (int floor = 1; floor <= kFloors; ++floor)
            conf += "item" + std::to_string(floor) + "=" + std::to_string(kBuild) + " " + std::to_string(floor) + " " +
                    std::to_string(m_perFloor) + " 0\n";
        QFile file(QStringLiteral("hotel.conf"));
        file.open(QIODevice::WriteOnly);
        file.write(conf.data(), static_cast<qint64>(conf.size()));
        file.close();
        database::EngineSettings settings;
        settings.directory = dir;
        database::SetEngineSettings(settings);
        ServerPorts ports; // the server's own ports picked by the system
        ports.serverUdp = 0;
        ports.pmsTcp = {0, 0};
        m_server = std::make_unique<CKelvorDlg>(ports);
        m_server->OnInitDialog();
        if (m_server->Mode() != StartMode::Full || !m_server->HasUdpSocket()) {
            std::fprintf(stderr, "the server did not start in full (no UDP socket?)\n");
            return false;
        }
        m_server->m_rangeLow = kRangeLow;
        m_server->m_rangeHigh = kRangeHigh;
        std::printf("hotel: %d rooms in service, %d live-room rows\n", m_server->m_hotel.GetTotalRooms(),
                    CountRows(*m_server, "##REALTIMEROOM"));
        return true;
    }

    // The direct side: a database of its own with the settings and tables
    // the server's connection has.
    bool OpenDirect(const QString &dir)
    {
        sqlite3_open(QDir(dir).filePath(QStringLiteral("velto.db")).toUtf8().constData(), &m_direct);
        QString error;
        if (!database::SqliteDialect::PrepareConnection(m_direct, dir, true, &error)) {
            std::fprintf(stderr, "%s\n", error.toUtf8().constData());
            return false;
        }
        bool ok = Direct(database::SqliteDialect::Translate(QString::fromLatin1(kCreateLiveRoom)).sql.toStdString());
        ok = ok && Direct("begin");
        for (int i = 0; ok && i < m_rooms; ++i)
            ok = Direct("insert into tempdb.REALTIMEROOM(BUILD, FLOOR, ROOMNUM, CLEAN, DND, RMSTATE, CHECKOUT, "
                        "SERVICE,CALL, CARDIN, DOOR)values(" +
                        std::to_string(kBuild) + ", " + std::to_string(Floor(i)) + ", " + std::to_string(Room(i)) +
                        ", 0, 0, 1, 0, 0, 0, 0, 0)");
        return ok && Direct("commit");
    }

    // 1. All changed, in blocks alternating with the same statements run
    // directly, so the disk's moods (every insert waits for its sync) fall on
    // both alike. Returns the in-process rate.
    double AllChanged()
    {
        std::vector<std::string> statements;
        statements.reserve(static_cast<size_t>(m_rooms) * 22);
        for (int i = 0; i < m_rooms; ++i)
            AllChangedStatements(Floor(i), Room(i), statements);
        const int eventsBefore = CountRows(*m_server, "event_msg_list");
        const int historyBefore = CountRows(*m_server, "fengji_his");
        constexpr int kBlocks = 20;
        double handlerSeconds = 0, directSeconds = 0;
        size_t next = 0;
        for (int block = 0; block < kBlocks; ++block) {
            const int last = (block + 1) * m_rooms / kBlocks;
            auto start = Clock::now();
            for (int i = block * m_rooms / kBlocks; i < last; ++i)
                HandleInProcess(i, true);
            handlerSeconds += Seconds(start);
            start = Clock::now();
            for (const size_t end = static_cast<size_t>(last) * 22; next < end; ++next) {
                if (!Direct(statements[next]))
                    std::fprintf(stderr, "direct statement failed: %s\n", statements[next].c_str());
            }
            directSeconds += Seconds(start);
        }
        const double rate = m_rooms / handlerSeconds, directRate = m_rooms / directSeconds;
        std::printf("all changed, in-process: %.0f reports/s (%d event rows, %d history rows, %zu statements)\n", rate,
                    CountRows(*m_server, "event_msg_list") - eventsBefore,
                    CountRows(*m_server, "fengji_his") - historyBefore, statements.size());
        std::printf("same statements through sqlite3: %.0f reports/s; ratio %.2f (target at least 0.50)\n", directRate,
                    rate / directRate);
        return rate;
    }

    // 2. Nothing changed: the rooms pushed, the same reports again.
    void NothingChanged(double changedRate)
    {
        for (CRoom *room = m_server->m_hotel.GetFirstRoom(); room; room = m_server->m_hotel.GetNextRoom())
            room->m_changed = 0;
        constexpr int kRounds = 20;
        const int eventsBefore = CountRows(*m_server, "event_msg_list");
        const auto start = Clock::now();
        for (int round = 0; round < kRounds; ++round) {
            for (int i = 0; i < m_rooms; ++i)
                HandleInProcess(i, true);
        }
        const double rate = kRounds * m_rooms / Seconds(start);
        std::printf("nothing changed, in-process: %.0f reports/s, %.0f times the all-changed rate (target at least "
                    "100); %d rows written\n",
                    rate, rate / changedRate, CountRows(*m_server, "event_msg_list") - eventsBefore);
    }

    // 3. Every room switched back over loopback, one datagram per room, sent
    // from a thread of its own at `pace` datagrams a second while this
    // thread runs the server's event loop.
    void Loopback(double pace)
    {
        // The monitor catches up with the rows of the phases before, as the
        // idle passes between them would have; from here on it runs in the
        // event loop as in the server.
        m_server->ContinueModal();
        const int knownBefore = m_server->m_rcuKnownCount;
        const long dropsBefore = ReceiveBufferDrops();
        std::atomic<int> sent{0};
        std::atomic<bool> done{false};
        const uint16_t serverPort = m_server->UdpPort();
        std::thread sender([&] {
            const int fd = socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(serverPort);
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            uint8_t datagram[kReportLength];
            const auto begin = Clock::now();
            for (int i = 0; i < m_rooms; ++i) {
                std::this_thread::sleep_until(begin + std::chrono::duration<double>(i / pace));
                BuildReport(datagram, Floor(i), Room(i), false);
                if (sendto(fd, datagram, kReportLength, 0, reinterpret_cast<const sockaddr *>(&to), sizeof to) ==
                    kReportLength)
                    ++sent;
            }
            close(fd);
            done = true;
        });
        const auto start = Clock::now();
        auto lastProgress = start;
        int lastKnown = m_server->m_rcuKnownCount;
        while (!done || Seconds(lastProgress) < 0.5) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            if (m_server->m_rcuKnownCount != lastKnown) {
                lastKnown = m_server->m_rcuKnownCount;
                lastProgress = Clock::now();
            }
        }
        sender.join();
        const int handled = m_server->m_rcuKnownCount - knownBefore;
        int closed = 0;
        for (CRoom *room = m_server->m_hotel.GetFirstRoom(); room; room = m_server->m_hotel.GetNextRoom())
            closed += room->m_doorOpen == 0 ? 1 : 0;
        std::printf("loopback at %.0f datagrams/s: %d sent, %d handled (%d rooms switched back), %d lost (%.1f s)\n",
                    pace, sent.load(), handled, closed, sent.load() - handled, Seconds(start));
        std::printf("receive buffers overflowed meanwhile, on the whole machine: %ld datagrams\n",
                    ReceiveBufferDrops() - dropsBefore);
    }

private:
    int Floor(int i) const { return 1 + i / m_perFloor; }
    int Room(int i) const { return 1 + i % m_perFloor; }
    bool Direct(const std::string &sql)
    {
        return sqlite3_exec(m_direct, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    void HandleInProcess(int i, bool on)
    {
        BuildReport(m_server->m_recvBuf, Floor(i), Room(i), on);
        m_server->HandleDatagram(kReportLength, 0x7F000001, static_cast<uint16_t>(m_server->RcuPort()));
    }

    const int m_perFloor, m_rooms;
    std::unique_ptr<CKelvorDlg> m_server;
    sqlite3 *m_direct = nullptr;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // Room bytes of 100 and more mean something else to the dispatcher.
    const int perFloor = std::clamp(argc > 1 ? std::atoi(argv[1]) : 20, 1, 99);
    QTemporaryDir root(QDir::current().filePath(QStringLiteral("bench-XXXXXX"))); // on the disk, not in tmpfs
    Storm storm(perFloor);
    if (!storm.StartServer(PrepareDir(root, "server")) || !storm.OpenDirect(PrepareDir(root, "direct")))
        return 1;
    const double changedRate = storm.AllChanged();
    storm.NothingChanged(changedRate);
    const double share = argc > 2 ? std::atof(argv[2]) : 0.5;
    storm.Loopback(changedRate * std::clamp(share, 0.01, 10.0));
    return 0;
}
