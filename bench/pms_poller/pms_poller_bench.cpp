// The PMS room-state poller on hotels of 2,000 and 8,000 in-service rooms, on
// the embedded database in a temporary directory, with the live-room table
// as start-up makes it (its index on BUILD, FLOOR, ROOMNUM included; no
// sockets):
//   1. the time of one pass (one query per room), with the query prepared
//      once and its numbers bound, and with each room's text run as it is;
//   2. the CPU the poller takes while nothing is committed, share of a core;
//   3. how long an outside change of RMSTATE takes to be marked, and that it
//      is marked once;
//   4. the cost of the UI thread's live-room updates with and without the
//      poller reading beside them;
//   5. how long the thread takes to end once the stop flag is set, while it
//      leaves passes out and while every query fails, and a restore's pause.
//   build/bench/pms_poller/pms_poller_bench [seconds]
#include "database/ado_recordset.h"
#include "database/engine_settings.h"
#include "database/prepared_read.h"
#include "database/temporary_table_commits.h"
#include "model/hotel.h"
#include "pms/pms_poller.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sqlite3.h>
#include <string>
#include <sys/resource.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char *kRoomQuery = "select RMSTATE from ##REALTIMEROOM where BUILD=%d and FLOOR =%d  and ROOMNUM =%d";

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

double ProcessCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void MustExec(CADODatabase &db, const std::string &sql)
{
    CADOMyRecordset rs(&db);
    if (!rs.Exec(sql)) {
        std::fprintf(stderr, "%s\n%s\n", sql.c_str(), rs.GetLastErrorText().c_str());
        std::exit(1);
    }
}

// 1,000 live-room updates as the status reports write them; seconds each.
double UpdateCost(CADODatabase &db)
{
    CADOMyRecordset rs(&db);
    const auto start = Clock::now();
    for (int i = 0; i < 1000; ++i) {
        rs.Exec("update ##REALTIMEROOM set\r\nDND =" + std::to_string(i % 2) + "\r\nwhere build = 1 and floor = " +
                std::to_string(1 + i % 20) + " and roomnum =" + std::to_string(i % 50) + "\r\n");
        rs.Close();
    }
    return Seconds(start) / 1000;
}

// One pass over the rooms on `db`, as the poller runs it and as each room's
// text run anew; seconds each, the best of a few.
void PassTimes(const CHotel &hotel, CADODatabase &db, double *prepared, double *asText)
{
    database::PreparedRead read(&db, kRoomQuery);
    CADOMyRecordset rs(&db);
    char sql[128];
    *prepared = *asText = 1e9;
    for (int run = 0; run < 5; ++run) {
        CHotel::RoomWalker walker(hotel);
        auto start = Clock::now();
        for (CRoom *room = walker.First(); room; room = walker.Next())
            if (read.Exec({room->m_buildNum, room->m_floorNum, room->m_roomNum}) && read.HasRow())
                read.FieldInteger("RMSTATE");
        *prepared = std::min(*prepared, Seconds(start));
        start = Clock::now();
        for (CRoom *room = walker.First(); room; room = walker.Next()) {
            std::snprintf(sql, sizeof sql, kRoomQuery, room->m_buildNum, room->m_floorNum, room->m_roomNum);
            if (rs.Exec(sql) && rs.GetRecordCount() > 0)
                rs.GetFieldString("RMSTATE");
            rs.Close();
        }
        *asText = std::min(*asText, Seconds(start));
    }
}

void WriteAsThePms(const QString &tempdb, const CRoom &room, int state)
{
    sqlite3 *pms = nullptr;
    sqlite3_open(tempdb.toUtf8().constData(), &pms);
    sqlite3_busy_timeout(pms, 5000);
    const std::string sql = "update REALTIMEROOM set RMSTATE=" + std::to_string(state) +
                            " where BUILD=" + std::to_string(room.m_buildNum) + " and FLOOR=" +
                            std::to_string(room.m_floorNum) + " and ROOMNUM=" + std::to_string(room.m_roomNum);
    if (sqlite3_exec(pms, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", sql.c_str(), sqlite3_errmsg(pms));
        std::exit(1);
    }
    sqlite3_close(pms);
}

// Waits until the poller has left out two more passes: one that began after
// this call then found nothing new.
void WaitCaughtUp(const PmsPollerProgress &progress)
{
    const int until = progress.skipped + 2;
    while (progress.skipped < until)
        QThread::msleep(1);
}

void Measure(int floors, double seconds)
{
    QTemporaryDir dir;
    const QString file = QDir(dir.path()).filePath(QStringLiteral("velto.db"));
    if (!QFile::copy(QStringLiteral(KELVOR_SEED_DB), file))
        std::exit(1);
    QFile(file).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    database::EngineSettings settings;
    settings.directory = dir.path();
    database::SetEngineSettings(settings);

    std::vector<stRoomAssignItem> layout;
    for (uint32_t i = 0; i < static_cast<uint32_t>(floors); ++i)
        layout.emplace_back(1 + i / 40, 1 + i % 40, 50, std::vector<uint32_t>{});
    CHotel hotel;
    hotel.SetLayout(layout);
    hotel.BuildRooms();

    // The server's table, filled by a connection of its own in one go; the
    // server's connection then groups its writes as the running server does.
    {
        CADODatabase fill;
        if (!fill.Open("Driver={SQL Server};Server=127.0.0.1;Uid=velto;Pwd=qubra;"))
            std::exit(1);
        MustExec(fill, "CREATE TABLE ##REALTIMEROOM ([INDEX] [int] IDENTITY (1, 1) NOT NULL ,"
                       "[BUILD] [tinyint] NOT NULL ,[FLOOR] [tinyint] NOT NULL ,[ROOMNUM] [tinyint] NOT NULL ,"
                       "[CLEAN] [tinyint] NOT NULL ,[DND] [tinyint] NOT NULL ,[RMSTATE] [tinyint] NOT NULL,"
                       "[CHECKOUT] [tinyint] NOT NULL,[SERVICE] [tinyint] NOT NULL,[CALL] [tinyint] NOT NULL,"
                       "[CARDIN] [tinyint] NOT NULL,[DOOR] [tinyint] NOT NULL) ON [PRIMARY]");
        MustExec(fill, "CREATE INDEX IX_REALTIMEROOM_ROOM ON ##REALTIMEROOM (BUILD, FLOOR, ROOMNUM)");
        MustExec(fill, "BEGIN TRANSACTION");
        for (CRoom *room = hotel.GetFirstRoom(); room; room = hotel.GetNextRoom())
            MustExec(fill, "insert into ##REALTIMEROOM(BUILD, FLOOR, ROOMNUM, CLEAN, DND, RMSTATE, CHECKOUT, SERVICE,"
                           "CALL, CARDIN, DOOR)values(" + std::to_string(room->m_buildNum) + ", " +
                               std::to_string(room->m_floorNum) + ", " + std::to_string(room->m_roomNum) +
                               ", 0, 0, 1, 0, 0, 0, 0, 0)");
        MustExec(fill, "COMMIT TRANSACTION");
    }
    CADODatabase db;
    if (!db.Open("Driver={SQL Server};Server=127.0.0.1;Uid=velto;Pwd=qubra;"))
        std::exit(1);
    double prepared = 0;
    double asText = 0;
    double look = 0;
    {
        CADODatabase sibling;
        sibling.OpenSibling(db);
        PassTimes(hotel, sibling, &prepared, &asText);
        database::TemporaryTableCommits commits(&sibling);
        const auto start = Clock::now();
        for (int i = 0; i < 10000; ++i)
            commits.SinceLastLook();
        look = Seconds(start) / 10000;
    }
    db.EnableGroupCommit({}, {});
    const double alone = UpdateCost(db);
    db.CommitBatch();

    std::atomic<int> stop{0};
    PmsPollerProgress progress;
    PmsPollerGate gate;
    std::unique_ptr<QThread> thread(QThread::create([&] { PollPmsRoomStates(hotel, db, stop, gate, &progress); }));
    thread->start();
    while (progress.passes < 1)
        QThread::msleep(1);
    WaitCaughtUp(progress);

    // Nothing is committed: what the poller costs, the main thread asleep.
    const int passesBefore = progress.passes;
    const int skippedBefore = progress.skipped;
    const double cpuBefore = ProcessCpuSeconds();
    const auto idleStart = Clock::now();
    QThread::msleep(static_cast<unsigned long>(seconds * 1000));
    const double idleCpu = (ProcessCpuSeconds() - cpuBefore) / Seconds(idleStart);
    const int idlePasses = progress.passes - passesBefore;
    const int idleSkipped = progress.skipped - skippedBefore;

    // Another program changes the last room of the walk: how long until it is
    // marked, and whether it is marked once.
    CRoom &last = *hotel.FindRoom(1 + (floors - 1) / 40, 1 + (floors - 1) % 40, 49);
    int32_t state = 0;
    last.TakePolledPmsChange(state);
    const auto changed = Clock::now();
    WriteAsThePms(QDir(dir.path()).filePath(QStringLiteral("tempdb.db")), last, 3);
    while (!last.TakePolledPmsChange(state))
        QThread::yieldCurrentThread();
    const double latency = Seconds(changed);
    WaitCaughtUp(progress);
    int32_t again = 0;
    const bool markedOnce = state == 3 && !last.TakePolledPmsChange(again);

    const double beside = UpdateCost(db);
    db.CommitBatch();

    // A restore closes the poller's connection first: how long the UI thread
    // waits for that, and how long until the poller has reconnected and
    // finished its next pass (a new connection always passes once).
    const auto pausing = Clock::now();
    gate.Pause(std::chrono::seconds(15));
    const double pause = Seconds(pausing);
    const int beforeResume = progress.passes;
    gate.Resume();
    const auto resuming = Clock::now();
    while (progress.passes <= beforeResume)
        QThread::yieldCurrentThread();
    const double resume = Seconds(resuming);
    WaitCaughtUp(progress);
    auto stopping = Clock::now();
    stop = 1;
    thread->wait();
    const double stopIdle = Seconds(stopping);

    // Without the table every query fails and the poller retries every 10 ms;
    // the stop flag must still end it at once.
    MustExec(db, "drop table ##REALTIMEROOM");
    std::atomic<int> stopFailing{0};
    PmsPollerProgress failing;
    thread.reset(QThread::create([&] { PollPmsRoomStates(hotel, db, stopFailing, gate, &failing); }));
    thread->start();
    while (failing.failures < 5)
        QThread::msleep(1);
    stopping = Clock::now();
    stopFailing = 1;
    thread->wait();
    const double stopWhileFailing = Seconds(stopping);

    std::printf("rooms                          %d\n", hotel.GetTotalRooms());
    std::printf("one pass, prepared and bound   %.1f ms\n", prepared * 1e3);
    std::printf("one pass, each text run anew   %.1f ms\n", asText * 1e3);
    std::printf("one look at the commit count   %.1f us\n", look * 1e6);
    std::printf("idle CPU, nothing committed    %.2f%% of a core over %.1f s (%d passes, %d left out)\n",
                idleCpu * 100, seconds, idlePasses, idleSkipped);
    std::printf("outside change of the last room marked after %.1f ms, %s\n", latency * 1e3,
                markedOnce ? "once" : "NOT ONCE");
    std::printf("live-room update, alone        %.1f us\n", alone * 1e6);
    std::printf("live-room update, poller on    %.1f us\n", beside * 1e6);
    std::printf("failed poller statements       %d\n", progress.failures.load());
    std::printf("stop flag to end, idle         %.2f ms\n", stopIdle * 1e3);
    std::printf("stop flag to end, failing      %.2f ms\n", stopWhileFailing * 1e3);
    std::printf("pause for a restore            %.2f ms\n", pause * 1e3);
    std::printf("resume to a whole pass after   %.1f ms\n\n", resume * 1e3);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 7.0;
    for (int floors : {40, 160})
        Measure(floors, seconds);
    return 0;
}
