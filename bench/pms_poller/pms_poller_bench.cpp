// The PMS room-state poller on a hotel of 2,000 in-service rooms, on the
// embedded database in a temporary directory (no sockets):
//   1. the time of one pass (one query per room);
//   2. how long a change of RMSTATE takes to be marked;
//   3. the cost of the UI thread's live-room updates with and without the
//      poller reading beside them;
//   4. how long the thread takes to end once the stop flag is set, while it
//      polls and while every query fails.
//   build/bench/pms_poller/pms_poller_bench [seconds]
#include "database/ado_recordset.h"
#include "database/engine_settings.h"
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
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

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

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    QTemporaryDir dir;
    const QString file = QDir(dir.path()).filePath(QStringLiteral("velto.db"));
    if (!QFile::copy(QStringLiteral(KELVOR_SEED_DB), file))
        return 1;
    QFile(file).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    database::EngineSettings settings;
    settings.directory = dir.path();
    database::SetEngineSettings(settings);

    CADODatabase db;
    if (!db.Open("Driver={SQL Server};Server=127.0.0.1;Uid=velto;Pwd=qubra;"))
        return 1;
    std::vector<stRoomAssignItem> layout;
    for (uint32_t build = 1; build <= 2; ++build)
        for (uint32_t floor = 1; floor <= 20; ++floor)
            layout.emplace_back(build, floor, 50, std::vector<uint32_t>{});
    CHotel hotel;
    hotel.SetLayout(layout);
    hotel.BuildRooms();
    MustExec(db, "CREATE TABLE ##REALTIMEROOM ([INDEX] [int] IDENTITY (1, 1) NOT NULL ,[BUILD] [tinyint] NOT NULL ,"
                 "[FLOOR] [tinyint] NOT NULL ,[ROOMNUM] [tinyint] NOT NULL ,[DND] [tinyint] NOT NULL ,"
                 "[RMSTATE] [tinyint] NOT NULL) ON [PRIMARY]");
    MustExec(db, "BEGIN TRANSACTION");
    for (CRoom *room = hotel.GetFirstRoom(); room; room = hotel.GetNextRoom())
        MustExec(db, "insert into ##REALTIMEROOM(BUILD, FLOOR, ROOMNUM, DND, RMSTATE)values(" +
                         std::to_string(room->m_buildNum) + ", " + std::to_string(room->m_floorNum) + ", " +
                         std::to_string(room->m_roomNum) + ", 0, 1)");
    MustExec(db, "COMMIT TRANSACTION");
    const double alone = UpdateCost(db);

    std::atomic<int> stop{0};
    PmsPollerProgress progress;
    PmsPollerGate gate;
    std::unique_ptr<QThread> thread(QThread::create([&] { PollPmsRoomStates(hotel, db, stop, gate, &progress); }));
    thread->start();
    while (progress.passes < 1)
        QThread::msleep(1);
    const auto start = Clock::now();
    const int before = progress.passes;
    while (Seconds(start) < seconds)
        QThread::msleep(10);
    const int passes = progress.passes - before;
    const double passTime = Seconds(start) / (passes > 0 ? passes : 1);

    // Change the last room of the walk, wait for its mark.
    CRoom &last = *hotel.FindRoom(2, 20, 49);
    int32_t state = 0;
    last.TakePolledPmsChange(state);
    const auto changed = Clock::now();
    MustExec(db, "update ##REALTIMEROOM set RMSTATE=3 where BUILD=2 and FLOOR=20 and ROOMNUM=49");
    while (!last.TakePolledPmsChange(state))
        QThread::yieldCurrentThread();
    const double latency = Seconds(changed);
    const double beside = UpdateCost(db);

    // A restore closes the poller's connection first: how long the UI thread
    // waits for that, and how long until the poller has reconnected and
    // finished its next pass.
    const auto pausing = Clock::now();
    gate.Pause(std::chrono::seconds(15));
    const double pause = Seconds(pausing);
    gate.Resume();
    const auto resuming = Clock::now();
    const int afterResume = progress.passes + 1;
    while (progress.passes <= afterResume)
        QThread::yieldCurrentThread();
    const double resume = Seconds(resuming);
    auto stopping = Clock::now();
    stop = 1;
    thread->wait();
    const double stopPolling = Seconds(stopping);

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

    std::printf("rooms                         %d\n", hotel.GetTotalRooms());
    std::printf("one pass                      %.1f ms (%d passes in %.1f s)\n", passTime * 1e3, passes, seconds);
    std::printf("change of the last room seen  %.1f ms\n", latency * 1e3);
    std::printf("live-room update, alone       %.1f us\n", alone * 1e6);
    std::printf("live-room update, poller on   %.1f us\n", beside * 1e6);
    std::printf("failed poller statements      %d\n", progress.failures.load());
    std::printf("stop flag to end, polling     %.2f ms\n", stopPolling * 1e3);
    std::printf("stop flag to end, failing     %.2f ms\n", stopWhileFailing * 1e3);
    std::printf("pause for a restore           %.2f ms\n", pause * 1e3);
    std::printf("resume to a whole pass after  %.1f ms\n", resume * 1e3);
    return 0;
}
