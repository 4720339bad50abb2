// A storm of full status reports on the embedded database, as after each
// poll broadcast when every room unit answers at once:
//   1. in-process, 2,000 rooms, every report with all ten event states and
//      both fan-coil units changed (22 statements each), through the
//      dispatcher, in blocks alternating with the same statements run
//      directly through sqlite3 with the same transaction boundaries (the
//      group commit's bounds, and a commit at the end of each block where
//      the server has its idle pass), once as texts and once prepared per
//      shape with the values bound;
//   2. the same reports again once the rooms are pushed (nothing changes);
//   3. over loopback, bursts of 2,000 and 4,000 rooms, each room unit
//      sending one report from a socket of its own with no pacing, first
//      with nothing changed, then with everything changed; during each
//      all-changed burst an outside sqlite3 process updates the live-room
//      table in tempdb.db.
//   build/bench/status_report/status_report_bench [storm]
// With "storm" only the first is run: for a profiler's instruction counts.
// The server's own ports are ones the system picks, so it runs beside a
// running server. Needs the sqlite3 command-line program for the outside
// update.
#include "allocation_counter.h"
#include "console/kelvor_dlg.h"
#include "database/db_connection.h"
#include "database/engine_settings.h"
#include "database/sqlite_dialect.h"
#include "database/statement_shape.h"
#include "loopback_burst.h"
#include "protocol/udp_socket.h"
#include "storm_reports.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <sqlite3.h>
#include <string>
#include <sys/resource.h>
#include <time.h>
#include <vector>

namespace {

constexpr int kFloors = 100;
constexpr int kPerFloor = 40;       // 4,000 rooms in service
constexpr int kInProcessRooms = 2000;
constexpr int kStatementsPerReport = 22;

QString PrepareDir(const QTemporaryDir &root, const char *name)
{
    const QString dir = QDir(root.path()).filePath(QString::fromLatin1(name));
    QDir().mkpath(dir);
    const QString db = QDir(dir).filePath(QStringLiteral("velto.db"));
    QFile::copy(QStringLiteral(KELVOR_SEED_DB), db);
    QFile(db).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return dir;
}

double ThreadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

int CountRows(CKelvorDlg &server, const char *table)
{
    CADOMyRecordset rs(&server.m_db);
    rs.Exec(std::string("select count(*) as N from ") + table);
    return std::atoi(rs.GetFieldString("N").c_str());
}

long ReadNumber(const char *file)
{
    QFile f(QString::fromLatin1(file));
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLong() : -1;
}

const char kCreateLiveRoom[] =
    "CREATE TABLE ##REALTIMEROOM ([INDEX] [int] IDENTITY (1, 1) NOT NULL ,[BUILD] [tinyint] NOT NULL ,"
    "[FLOOR] [tinyint] NOT NULL ,[ROOMNUM] [tinyint] NOT NULL ,[CLEAN] [tinyint] NOT NULL ,[DND] [tinyint] NOT NULL ,"
    "[RMSTATE] [tinyint] NOT NULL,[CHECKOUT] [tinyint] NOT NULL,[SERVICE] [tinyint] NOT NULL,[CALL] [tinyint] NOT NULL,"
    "[CARDIN] [tinyint] NOT NULL,[DOOR] [tinyint] NOT NULL) ON [PRIMARY]";
struct PreparedValue {
    bool isText = false;
    int64_t integer = 0;
    std::string text;
};
struct PreparedRun {
    sqlite3_stmt *statement = nullptr;
    bool liveRoom = false;
    bool ownsStatement = true;
    std::vector<PreparedValue> values;
};

const char kLiveRoomIndex[] = "CREATE INDEX IX_REALTIMEROOM_ROOM ON ##REALTIMEROOM (BUILD, FLOOR, ROOMNUM)";

// The direct side's transactions, cut by the group commit's own bounds. As
// on the server's connection, writes of the live-room table go to a handle
// of their own (`liveRoom`, where given), kept until the end of their report
// (EndReport) and run there together in one transaction.
class DirectBatch {
public:
    explicit DirectBatch(sqlite3 *db, sqlite3 *liveRoom = nullptr) : m_db(db), m_liveRoom(liveRoom) {}
    bool Run(const std::string &sql)
    {
        if (m_liveRoom && IsLiveRoomWrite(sql)) {
            m_keptTexts.push_back(&sql);
            return true;
        }
        Begin();
        const bool ok = Exec(sql);
        After();
        return ok;
    }
    // A statement prepared beforehand, its values bound.
    bool Run(const PreparedRun &run)
    {
        if (run.liveRoom) {
            m_kept.push_back(&run);
            return true;
        }
        Begin();
        const bool ok = Step(run);
        After();
        return ok;
    }
    // The report's live-room writes, together.
    bool EndReport()
    {
        const size_t kept = m_kept.size() + m_keptTexts.size();
        if (kept == 0)
            return true;
        const bool together = kept > 1;
        bool ok = !together || sqlite3_exec(m_liveRoom, "begin", nullptr, nullptr, nullptr) == SQLITE_OK;
        for (const PreparedRun *run : m_kept)
            ok = Step(*run) && ok;
        for (const std::string *sql : m_keptTexts)
            ok = sqlite3_exec(m_liveRoom, sql->c_str(), nullptr, nullptr, nullptr) == SQLITE_OK && ok;
        if (together)
            ok = sqlite3_exec(m_liveRoom, "commit", nullptr, nullptr, nullptr) == SQLITE_OK && ok;
        m_kept.clear();
        m_keptTexts.clear();
        return ok;
    }
    static bool Step(const PreparedRun &run)
    {
        for (size_t i = 0; i < run.values.size(); ++i) {
            const PreparedValue &v = run.values[i];
            if (v.isText)
                sqlite3_bind_text(run.statement, static_cast<int>(i + 1), v.text.data(), static_cast<int>(v.text.size()),
                                  SQLITE_STATIC);
            else
                sqlite3_bind_int64(run.statement, static_cast<int>(i + 1), v.integer);
        }
        const bool ok = sqlite3_step(run.statement) == SQLITE_DONE;
        sqlite3_reset(run.statement);
        return ok;
    }
    void Commit()
    {
        if (m_open)
            Exec("commit");
        m_open = false;
    }
    bool Exec(const std::string &sql) { return sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK; }
    static bool IsLiveRoomWrite(const std::string &sql)
    {
        return sql.rfind("update tempdb.", 0) == 0 || sql.rfind("insert into tempdb.", 0) == 0;
    }

private:
    void Begin()
    {
        if (m_open)
            return;
        Exec("begin");
        m_open = true;
        m_statements = 0;
        m_begun = Clock::now();
    }
    void After()
    {
        if (++m_statements >= database::kBatchMaxStatements || Clock::now() - m_begun >= database::kBatchMaxAge)
            Commit();
    }

    sqlite3 *m_db;
    sqlite3 *m_liveRoom;
    std::vector<const PreparedRun *> m_kept;
    std::vector<const std::string *> m_keptTexts;
    bool m_open = false;
    int m_statements = 0;
    Clock::time_point m_begun;
};

class Storm {
public:
    Storm() : m_on(kFloors * kPerFloor, false) {}
    ~Storm()
    {
        for (DirectSide *side : {&m_text, &m_prepared}) {
            sqlite3_close(side->db);
            sqlite3_close(side->liveRoom);
        }
        if (m_server)
            m_server->OnDestroy();
    }

    // The server in a working directory of its own, with its settings there.
    bool StartServer(const QString &dir)
    {
        m_serverDir = dir;
        for (auto format : {QSettings::NativeFormat, QSettings::IniFormat})
            QSettings::setPath(format, QSettings::UserScope, QDir(dir).filePath(QStringLiteral("profile")));
        QDir::setCurrent(dir);
        std::string conf = "[Layout]\n";
        for (int floor = 1; floor <= kFloors; ++floor)
            conf += "item" + std::to_string(floor) + "=" + std::to_string(kBuild) + " " + std::to_string(floor) + " " +
                    std::to_string(kPerFloor) + " 0\n";
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
        std::printf("net.core.rmem_max %ld; receive buffer granted %d bytes (%d asked); start-up log: %s\n",
                    ReadNumber("/proc/sys/net/core/rmem_max"), m_server->m_udpSocket->ReceiveBufferBytes(),
                    kReceiveBufferAsked, m_server->LogModel().stringList().join(QStringLiteral(" / ")).toUtf8().constData());
        return true;
    }

    // A direct side: a database of its own with the settings and tables the
    // server's connection has. The text and the prepared side each have one,
    // so each changes every row the server changes: SQLite writes no page
    // for an update that leaves the row as it was.
    bool OpenDirect(const QString &dir, bool prepared)
    {
        DirectSide &side = prepared ? m_prepared : m_text;
        sqlite3_open(QDir(dir).filePath(QStringLiteral("velto.db")).toUtf8().constData(), &side.db);
        QString error;
        if (!database::SqliteDialect::PrepareConnection(side.db, dir, true, &error)) {
            std::fprintf(stderr, "%s\n", error.toUtf8().constData());
            return false;
        }
        DirectBatch batch(side.db);
        bool ok = batch.Exec(database::SqliteDialect::Translate(QString::fromLatin1(kCreateLiveRoom)).sql.toStdString()) &&
                  batch.Exec(database::SqliteDialect::Translate(QString::fromLatin1(kLiveRoomIndex)).sql.toStdString());
        for (int i = 0; ok && i < kFloors * kPerFloor; ++i)
            ok = batch.Run("insert into tempdb.REALTIMEROOM(BUILD, FLOOR, ROOMNUM, CLEAN, DND, RMSTATE, CHECKOUT, "
                           "SERVICE,CALL, CARDIN, DOOR)values(" +
                           std::to_string(kBuild) + ", " + std::to_string(Floor(i)) + ", " + std::to_string(Room(i)) +
                           ", 0, 0, 1, 0, 0, 0, 0, 0)");
        batch.Commit();
        sqlite3_open(QDir(dir).filePath(QStringLiteral("velto.db")).toUtf8().constData(), &side.liveRoom);
        if (ok && !database::SqliteDialect::PrepareConnection(side.liveRoom, dir, true, &error)) {
            std::fprintf(stderr, "%s\n", error.toUtf8().constData());
            return false;
        }
        return ok;
    }

    // 1. All changed, in blocks alternating with the same statements run
    // directly, as texts and prepared once per shape, so the disk's moods
    // fall on all three alike. Returns the in-process rate.
    double AllChanged()
    {
        std::vector<std::string> statements;
        statements.reserve(static_cast<size_t>(kInProcessRooms) * kStatementsPerReport);
        for (int i = 0; i < kInProcessRooms; ++i)
            AllChangedStatements(Floor(i), Room(i), statements);
        const std::vector<PreparedRun> prepared = Prepare(statements);
        const int eventsBefore = CountRows(*m_server, "event_msg_list");
        const int historyBefore = CountRows(*m_server, "fengji_his");
        constexpr int kBlocks = 20;
        double handlerSeconds = 0, directSeconds = 0, preparedSeconds = 0;
        double handlerCpu = 0, preparedCpu = 0; // this thread's CPU time
        size_t next = 0, nextPrepared = 0;
        DirectBatch direct(m_text.db, m_text.liveRoom);
        DirectBatch preparedDirect(m_prepared.db, m_prepared.liveRoom);
        for (int block = 0; block < kBlocks; ++block) {
            const int last = (block + 1) * kInProcessRooms / kBlocks;
            const size_t end = static_cast<size_t>(last) * kStatementsPerReport;
            auto start = Clock::now();
            double cpu = ThreadCpuSeconds();
            for (int i = block * kInProcessRooms / kBlocks; i < last; ++i)
                HandleInProcess(i, true);
            m_server->m_db.CommitBatch(); // where the idle pass commits
            handlerSeconds += Seconds(start);
            handlerCpu += ThreadCpuSeconds() - cpu;
            start = Clock::now();
            for (; next < end; ++next) {
                if (!direct.Run(statements[next]))
                    std::fprintf(stderr, "direct statement failed: %s\n", statements[next].c_str());
                if ((next + 1) % kStatementsPerReport == 0 && !direct.EndReport())
                    std::fprintf(stderr, "direct live-room statements failed\n");
            }
            direct.Commit();
            directSeconds += Seconds(start);
            start = Clock::now();
            cpu = ThreadCpuSeconds();
            for (; nextPrepared < end; ++nextPrepared) {
                if (!preparedDirect.Run(prepared[nextPrepared]))
                    std::fprintf(stderr, "prepared statement failed: %s\n", statements[nextPrepared].c_str());
                if ((nextPrepared + 1) % kStatementsPerReport == 0 && !preparedDirect.EndReport())
                    std::fprintf(stderr, "prepared live-room statements failed\n");
            }
            preparedDirect.Commit();
            preparedSeconds += Seconds(start);
            preparedCpu += ThreadCpuSeconds() - cpu;
        }
        for (const PreparedRun &run : prepared) {
            if (run.ownsStatement)
                sqlite3_finalize(run.statement);
        }
        const double rate = kInProcessRooms / handlerSeconds, directRate = kInProcessRooms / directSeconds;
        const double preparedRate = kInProcessRooms / preparedSeconds;
        std::printf("all changed, in-process, %d rooms: %.0f reports/s (target at least 2000; %d event rows, %d "
                    "history rows, %zu statements)\n",
                    kInProcessRooms, rate, CountRows(*m_server, "event_msg_list") - eventsBefore,
                    CountRows(*m_server, "fengji_his") - historyBefore, statements.size());
        std::printf("same statements and transactions through sqlite3, each text parsed: %.0f reports/s; ratio %.2f\n",
                    directRate, rate / directRate);
        std::printf("same statements and transactions through sqlite3, prepared once per shape: %.0f reports/s; "
                    "ratio %.2f (target at least 0.80)\n",
                    preparedRate, rate / preparedRate);
        std::printf("  the same on this thread's CPU time alone (a busy machine's waits for a core and the disk left "
                    "out): ratio %.2f\n",
                    preparedCpu / handlerCpu);
        return rate;
    }

    // 2. Nothing changed: the rooms pushed, the same reports again.
    void NothingChanged(double changedRate)
    {
        for (CRoom *room = m_server->m_hotel.GetFirstRoom(); room; room = m_server->m_hotel.GetNextRoom())
            room->m_changed = 0;
        constexpr int kRounds = 20;
        const int eventsBefore = CountRows(*m_server, "event_msg_list");
        const long allocationsBefore = Allocations();
        const auto start = Clock::now();
        for (int round = 0; round < kRounds; ++round) {
            for (int i = 0; i < kInProcessRooms; ++i)
                HandleInProcess(i, true);
        }
        const double rate = kRounds * kInProcessRooms / Seconds(start);
        const double allocations = double(Allocations() - allocationsBefore) / (kRounds * kInProcessRooms);
        std::printf("nothing changed, in-process: %.0f reports/s, %.0f times the all-changed rate (target at least "
                    "100); %d rows written; %.2f heap allocations a report\n",
                    rate, rate / changedRate, CountRows(*m_server, "event_msg_list") - eventsBefore, allocations);
    }

    // 3. Bursts over loopback. Rooms beyond the in-process ones are first
    // switched off in-process, so that every burst of a size starts from
    // rooms whose state the test knows.
    void Bursts()
    {
        for (int i = kInProcessRooms; i < static_cast<int>(m_on.size()); ++i)
            HandleInProcess(i, false);
        m_server->ContinueModal();
        for (int rooms : {2000, 4000}) {
            Burst(rooms, false);
            Burst(rooms, true);
        }
    }

private:
    void Burst(int rooms, bool changeAll)
    {
        std::vector<BurstRoom> reports;
        for (int i = 0; i < rooms; ++i) {
            if (changeAll)
                m_on[i] = !m_on[i];
            reports.push_back({Floor(i), Room(i), m_on[i]});
        }
        const std::map<int, int> typesBefore = EventTypes();
        const BurstFigures f =
            RunBurst(*m_server, reports, changeAll ? QDir(m_serverDir).filePath(QStringLiteral("tempdb.db")) : QString());
        std::printf("loopback burst, %d rooms, %s: %d sent, %d handled, %lld dropped by the kernel, %d event rows and "
                    "%d history rows written, last row committed after %.3f s (%d idle passes, %.1f heap "
                    "allocations a datagram)\n",
                    rooms, changeAll ? "all changed" : "nothing changed", f.sent, f.handled,
                    static_cast<long long>(f.kernelDrops), f.eventRows, f.historyRows, f.lastCommitSeconds,
                    f.idlePasses, f.sent ? double(f.allocations) / f.sent : 0.0);
        if (f.eventRows > 0 && !changeAll) {
            std::printf("  event rows by type:");
            for (const auto &[type, count] : EventTypes()) {
                const auto before = typesBefore.find(type);
                const int added = count - (before == typesBefore.end() ? 0 : before->second);
                if (added > 0)
                    std::printf(" %d: %d", type, added);
            }
            std::printf("\n");
        }
        if (!changeAll)
            return;
        std::printf("  outside sqlite3 update of REALTIMEROOM during it: %.3f s (exit status %d; target under "
                    "0.050 s)\n",
                    f.outsideSeconds, f.outsideStatus);
        const double raw = OneCommitBurst(rooms);
        std::printf("  the same rows through sqlite3 in one commit, prepared once per shape: %.3f s; the burst took "
                    "%.2f times that (target at most 3)\n",
                    raw, f.lastCommitSeconds / raw);
    }

    // The rows of an all-changed burst of `rooms` rooms written directly:
    // those of velto.db in one transaction, those of the live-room table in
    // one on its own handle, each shape prepared once.
    double OneCommitBurst(int rooms)
    {
        std::vector<std::string> statements;
        statements.reserve(static_cast<size_t>(rooms) * kStatementsPerReport);
        for (int i = 0; i < rooms; ++i)
            AllChangedStatements(Floor(i), Room(i), statements);
        const std::vector<PreparedRun> prepared = Prepare(statements);
        const auto start = Clock::now();
        auto exec = [](sqlite3 *db, const char *sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; };
        bool ok = exec(m_prepared.db, "begin") && exec(m_prepared.liveRoom, "begin");
        for (const PreparedRun &run : prepared)
            ok = DirectBatch::Step(run) && ok;
        ok = exec(m_prepared.db, "commit") && exec(m_prepared.liveRoom, "commit") && ok;
        const double seconds = Seconds(start);
        if (!ok)
            std::fprintf(stderr, "the one-commit burst failed\n");
        for (const PreparedRun &run : prepared) {
            if (run.ownsStatement)
                sqlite3_finalize(run.statement);
        }
        return seconds;
    }

    std::map<int, int> EventTypes()
    {
        std::map<int, int> types;
        CADOMyRecordset rs(&m_server->m_db);
        if (!rs.Exec("select MSG_TYPE, count(*) as N from event_msg_list group by MSG_TYPE"))
            return types;
        for (; !rs.IsEof(); rs.MoveNext())
            types[std::atoi(rs.GetFieldString("MSG_TYPE").c_str())] = std::atoi(rs.GetFieldString("N").c_str());
        return types;
    }

    // Each text's shape prepared once on the handle it runs on, its values
    // read out beforehand. Only the first run of a shape owns (finalizes)
    // its statement.
    std::vector<PreparedRun> Prepare(const std::vector<std::string> &statements)
    {
        std::map<std::pair<bool, QString>, sqlite3_stmt *> shapes;
        std::vector<PreparedRun> runs;
        database::StatementShape shape;
        for (const std::string &sql : statements) {
            const QString text = QString::fromStdString(sql);
            PreparedRun run;
            run.liveRoom = DirectBatch::IsLiveRoomWrite(sql);
            if (!database::ShapeOf(text, shape)) {
                std::fprintf(stderr, "no shape: %s\n", sql.c_str());
                std::exit(1);
            }
            sqlite3_stmt *&statement = shapes[{run.liveRoom, shape.key}];
            const bool owner = !statement;
            if (owner)
                sqlite3_prepare_v3(run.liveRoom ? m_prepared.liveRoom : m_prepared.db, shape.key.toUtf8().constData(), -1,
                                   SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
            run.statement = statement;
            for (int i = 0; i < shape.count; ++i) {
                const auto &literal = shape.literals[static_cast<size_t>(i)];
                PreparedValue value;
                value.isText = literal.kind == database::StatementShape::Literal::Kind::Text;
                value.integer = literal.integer;
                if (value.isText)
                    value.text = text.mid(literal.at, literal.length).toStdString();
                run.values.push_back(std::move(value));
            }
            runs.push_back(std::move(run));
            if (!owner)
                runs.back().ownsStatement = false;
        }
        return runs;
    }

    int Floor(int i) const { return 1 + i / kPerFloor; }
    int Room(int i) const { return 1 + i % kPerFloor; }
    void HandleInProcess(int i, bool on)
    {
        m_on[i] = on;
        BuildReport(m_server->m_recvBuf, Floor(i), Room(i), on);
        m_server->HandleDatagram(kReportLength, 0x7F000001, static_cast<uint16_t>(m_server->RcuPort()));
    }

    std::vector<bool> m_on;
    QString m_serverDir;
    std::unique_ptr<CKelvorDlg> m_server;
    struct DirectSide {
        sqlite3 *db = nullptr;
        sqlite3 *liveRoom = nullptr;
    };
    DirectSide m_text;
    DirectSide m_prepared;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // A socket per room unit.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < 8192) {
        files.rlim_cur = std::min<rlim_t>(files.rlim_max, 8192);
        setrlimit(RLIMIT_NOFILE, &files);
    }
    QTemporaryDir root(QDir::current().filePath(QStringLiteral("bench-XXXXXX"))); // on the disk, not in tmpfs
    Storm storm;
    if (!storm.StartServer(PrepareDir(root, "server")) || !storm.OpenDirect(PrepareDir(root, "direct"), false)
        || !storm.OpenDirect(PrepareDir(root, "prepared"), true))
        return 1;
    const double changedRate = storm.AllChanged();
    if (argc > 1 && std::string(argv[1]) == "storm")
        return 0;
    storm.NothingChanged(changedRate);
    storm.Bursts();
    return 0;
}
