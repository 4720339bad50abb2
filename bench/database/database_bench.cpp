// Statements per second through CADOMyRecordset::Exec against the same texts
// through the sqlite3 C API directly, on the same kind of file and settings:
// the event-row insert and the live-room update of a room report.
//   build/bench/database/database_bench [statements]
#include "database/ado_recordset.h"
#include "database/engine_settings.h"
#include "database/sqlite_dialect.h"
#include "platform/gbk.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sqlite3.h>
#include <string>

namespace {

const char kCreate[] =
    "CREATE TABLE ##REALTIMEROOM ([INDEX] [int] IDENTITY (1, 1) NOT NULL ,[BUILD] [tinyint] NOT NULL ,[FLOOR] [tinyint] NOT NULL ,"
    "[ROOMNUM] [tinyint] NOT NULL ,[CLEAN] [tinyint] NOT NULL ,[DND] [tinyint] NOT NULL ,[RMSTATE] [tinyint] NOT NULL,"
    "[CHECKOUT] [tinyint] NOT NULL,[SERVICE] [tinyint] NOT NULL,[CALL] [tinyint] NOT NULL,[CARDIN] [tinyint] NOT NULL,"
    "[DOOR] [tinyint] NOT NULL) ON [PRIMARY]";

std::string EventInsert(int i)
{
    char sql[256];
    std::snprintf(sql, sizeof sql,
                  "Insert into event_msg_list(build_num, floor_num, room_num, msg_type, msg_title, card_sn, card_id)"
                  "values(%d, %d, %d, %d, '%s', %d, %d)",
                  1, 1 + i % 20, i % 40, 11, "房门打开", 0, 0);
    return sql;
}

std::string LiveRoomUpdate(int i)
{
    char sql[160];
    std::snprintf(sql, sizeof sql, "update ##REALTIMEROOM set\r\nDOOR =%d\r\nwhere build = %d and floor = %d and roomnum =%d\r\n",
                  i & 1, 1, 1 + i % 20, i % 40);
    return sql;
}

// Runs `layer` and `direct` in alternating blocks, so that the disk's moods
// (the inserts wait for fsync) fall on both alike; returns both rates.
std::pair<double, double> PerSecond(int count, const std::function<bool(int)> &layer,
                                    const std::function<bool(int)> &direct)
{
    constexpr int kBlocks = 20;
    double seconds[2] = {0, 0};
    for (int block = 0; block < kBlocks; ++block) {
        for (int side = 0; side < 2; ++side) {
            const auto &run = side == 0 ? layer : direct;
            const auto start = std::chrono::steady_clock::now();
            for (int i = block * count / kBlocks; i < (block + 1) * count / kBlocks; ++i) {
                if (!run(i)) {
                    std::fprintf(stderr, "statement %d failed\n", i);
                    std::exit(1);
                }
            }
            seconds[side] += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
    }
    return {count / seconds[0], count / seconds[1]};
}

QString Prepare(const QTemporaryDir &root, const char *name)
{
    const QString dir = QDir(root.path()).filePath(QString::fromLatin1(name));
    QDir().mkpath(dir);
    QFile::copy(QStringLiteral(KELVOR_SEED_DB), QDir(dir).filePath(QStringLiteral("velto.db")));
    QFile(QDir(dir).filePath(QStringLiteral("velto.db"))).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return dir;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
    QTemporaryDir root(QDir::current().filePath(QStringLiteral("bench-XXXXXX"))); // on the disk, not in tmpfs

    // Through the layer.
    database::EngineSettings settings;
    settings.directory = Prepare(root, "layer");
    database::SetEngineSettings(settings);
    CADODatabase db;
    if (!db.Open("Driver={SQL Server};Server=127.0.0.1;Uid=velto;Pwd=qubra;")) {
        std::fprintf(stderr, "%s\n", db.GetLastErrorText().c_str());
        return 1;
    }
    CADOMyRecordset recordset(&db);
    recordset.Exec(kCreate);
    for (int floor = 1; floor <= 20; ++floor)
        for (int room = 0; room < 40; ++room)
            recordset.Exec("insert into ##REALTIMEROOM(BUILD, FLOOR, ROOMNUM, CLEAN, DND, RMSTATE, CHECKOUT, SERVICE,CALL, CARDIN, DOOR)"
                           "values(1, " + std::to_string(floor) + ", " + std::to_string(room) + ", 0, 0, 1, 0, 0, 0, 0, 0)");
    // Directly, with the settings the layer gives its connections.
    const QString dir = Prepare(root, "direct");
    sqlite3 *handle = nullptr;
    sqlite3_open(QDir(dir).filePath(QStringLiteral("velto.db")).toUtf8().constData(), &handle);
    QString error;
    if (!database::SqliteDialect::PrepareConnection(handle, dir, true, &error)) {
        std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        return 1;
    }
    auto direct = [&](const std::string &sql) { return sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK; };
    direct(database::SqliteDialect::Translate(QString::fromLatin1(kCreate)).sql.toStdString());
    for (int floor = 1; floor <= 20; ++floor)
        for (int room = 0; room < 40; ++room)
            direct("insert into tempdb.REALTIMEROOM(BUILD, FLOOR, ROOMNUM, CLEAN, DND, RMSTATE, CHECKOUT, SERVICE,CALL, CARDIN, DOOR)"
                   "values(1, " + std::to_string(floor) + ", " + std::to_string(room) + ", 0, 0, 1, 0, 0, 0, 0, 0)");
    // The program's texts are GBK; SQLite stores UTF-8, as the layer converts.
    const auto [layerInsert, directInsert] = PerSecond(
        count, [&](int i) { return recordset.Exec(EventInsert(i)); },
        [&](int i) { return direct(platform::Utf8FromGbk(EventInsert(i))); });
    const auto [layerUpdate, directUpdate] = PerSecond(
        count, [&](int i) { return recordset.Exec(LiveRoomUpdate(i)); },
        [&](int i) {
            std::string sql = LiveRoomUpdate(i);
            sql.replace(sql.find("##"), 2, "tempdb.");
            return direct(sql);
        });
    sqlite3_close(handle);

    std::printf("%-22s %12s %12s %8s\n", "statement", "layer/s", "direct/s", "ratio");
    std::printf("%-22s %12.0f %12.0f %8.2f\n", "event-row insert", layerInsert, directInsert, layerInsert / directInsert);
    std::printf("%-22s %12.0f %12.0f %8.2f\n", "live-room update", layerUpdate, directUpdate, layerUpdate / directUpdate);
    std::printf("target: ratio at least 0.50\n");
    return 0;
}
