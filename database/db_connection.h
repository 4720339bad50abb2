#pragma once
// The connection object shared by a CADODatabase and every recordset made on
// it: a recordset that outlives its database stays safe to close. One lock
// serialises its use; a QSqlDatabase belongs to the thread that opened it, so
// another thread opens a sibling connection (CADODatabase::OpenSibling).
#include "database/com_error.h"
#include "database/engine_settings.h"
#include "database/result_rows.h"
#include "database/sqlite_dialect.h"
#include "database/statement_cache.h"

#include <QSqlDatabase>
#include <QSqlQuery>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class QThread;

struct sqlite3;

namespace database {

// Group commit bounds: an open batch commits by itself once it is this old or
// holds this many writes, so an outside program writing the same tables
// waits at most about this long for the server's write lock.
constexpr std::chrono::milliseconds kBatchMaxAge{50};
constexpr int kBatchMaxStatements = 2000;

// Writes of an open batch that the engine threw away (it rolled the
// transaction back on its own, or the commit failed), with its reason (GBK).
struct BatchLoss {
    int statements = 0;
    std::string reason;
};
using BatchLossReporter = std::function<void(const BatchLoss &)>;
// Told when a batch begins, so its owner can commit it kBatchMaxAge later
// even when no further statement and no idle moment comes.
using BatchBegunListener = std::function<void()>;
// A kept live-room write that failed when it ran: its text (GBK) and error.
using LiveRoomFailureReporter = std::function<void(const std::string &text, const ComError &error)>;

// More kept live-room writes than this and they run at once.
constexpr size_t kLiveRoomGroupMax = 64;

class DbConnection {
public:
    DbConnection();
    ~DbConnection();
    DbConnection(const DbConnection &) = delete;
    DbConnection &operator=(const DbConnection &) = delete;

    bool Open(const EngineSettings &settings, const std::string &connectionString, const std::string &user,
              const std::string &password, ComError *error);
    void Close();
    bool IsOpen() const;
    // An ODBC login waits on its own thread (odbc_login.h); the wait is
    // given up (kErrLoginGivenUp) as soon as `fd` is readable: the server's
    // shutdown signals. -1: no such end.
    void SetLoginGiveUp(int fd) { m_loginGiveUpFd = fd; }

    // False, with the reason, on any thread but the one that opened it.
    bool IsOwnThread(ComError *error) const;

    // Runs one statement (GBK text already converted) on `query`, which must
    // have been made on Database(). `query` is active afterwards only for a
    // statement that returned a result set. `recordsAffected` null: the
    // caller does not ask how many rows changed (a kept live-room write,
    // below, can only be kept then). With `rows`, the embedded engine reads
    // a statement's rows into it (rows->read) and leaves `query` alone.
    bool Execute(QSqlQuery &query, const QString &text, int *recordsAffected, ComError *error,
                 ResultRows *rows = nullptr);

    // Group commit, for the server's own connection: every INSERT, UPDATE or
    // DELETE joins one transaction, begun by the first of them and committed
    // by CommitBatch (the event loop's idle moment, and the owner's timer
    // kBatchMaxAge after `begun`), by the statement bound, and before any
    // other kind of statement (DDL, BACKUP, RESTORE, USE, EXEC) and Close.
    // SELECTs run inside the open batch and see its rows. A failing write
    // fails alone; when the engine rolled the whole batch back, the loss goes
    // to the reporter (stderr without one) and the next write begins afresh.
    // Off by default: other connections run every statement on its own.
    // Embedded engine: writes of global temporary tables (##NAME, tempdb.db)
    // stay out of the batch and commit one by one on a second handle, so
    // tempdb.db's write lock is held only while each runs; a read of them
    // commits the batch first, so the batch never holds an old view of
    // tempdb.db.
    void SetGroupCommit(bool on, BatchLossReporter reporter = {}, BatchBegunListener begun = {});
    // One datagram's handling, on the embedded engine with group commit:
    // while a group is open, the writes of global temporary tables whose
    // callers do not ask for the rows changed are kept, with success told at
    // once, and run together in one transaction on the live-room handle when
    // the group ends, before any other statement that names a ## table or
    // that is neither a read nor a write, and at Close. A kept write that
    // fails goes to the reporter (stderr without one); the others commit.
    void BeginLiveRoomGroup();
    void EndLiveRoomGroup();
    void SetLiveRoomFailureReporter(LiveRoomFailureReporter reporter);
    // Runs the kept live-room writes, then commits the batch: what a caller
    // tells as done after it is committed, whichever table it went to. True
    // when no batch was open or it committed (a kept write that failed has
    // gone to its reporter, as a write outside the batch would).
    bool CommitBatch();
    bool BatchOpen() const { return m_batchOpen; }
    bool GroupCommit() const { return m_groupCommit; }

    // Writes that belong together and come all at once (start-up's fill of
    // the live-room table): from BeginTransaction to CommitTransaction every
    // statement runs in one transaction of this connection, the live-room
    // writes included, and group commit rests (its batch is committed first
    // and it resumes after). False, with the cause, when the engine refused;
    // the statements then run as they would have. Close commits an open one.
    bool BeginTransaction(ComError *error);
    bool CommitTransaction(ComError *error);

    // A failed statement of the embedded engine, as its error reads.
    static void EmbeddedFailure(const QString &failure, ComError *error);

    QSqlDatabase Database() const { return m_db; }
    // Grows with every Open: a query made before it belongs to a closed
    // connection.
    unsigned Generation() const { return m_generation; }
    std::recursive_mutex &Mutex() { return m_mutex; }

    // What the last successful Open was given, for a sibling connection.
    EngineSettings Settings() const { return m_settings; }
    std::string User() const { return m_user; }
    std::string Password() const { return m_password; }
    std::string ConnectionString() const { return m_connectionString; }

private:
    bool OpenEmbedded(const std::string &connectionString, const std::string &user, ComError *error);
    bool OpenOdbc(const std::string &connectionString, const std::string &user, const std::string &password,
                  ComError *error);
    bool ExecuteEmbedded(QSqlQuery &query, const QString &text, bool namesTemporaryTable, bool write,
                         int *recordsAffected, ComError *error, ResultRows *rows);
    bool ExecuteOdbc(QSqlQuery &query, const QString &text, int *recordsAffected, ComError *error);
    void UseDriver(const char *driver);
    sqlite3 *SqliteHandle() const;
    sqlite3 *DriverHandle() const;

    // live_room_writes.cpp
    // Kept in slots used again datagram after datagram, so the texts are
    // copied and translated into storage that is already there.
    struct KeptWrite {
        QString text;
        SqliteStatement translated;
        bool ran = false;
    };
    sqlite3 *LiveRoomHandle(QString *failure);
    bool ExecuteLiveRoomWrite(const QString &text, int *recordsAffected, ComError *error);
    void KeepLiveRoomWrite(const QString &text);
    void RunLiveRoomWrites();
    void RunTogether(sqlite3 *handle, std::vector<KeptWrite> &writes, size_t count);
    void ReportLiveRoomFailure(const QString &text, const QString &failure);
    void CloseLiveRoomHandle();

    // group_commit.cpp
    enum class StatementKind { Read, Write, Alone };
    static StatementKind Classify(const QString &text);
    void BeforeStatement(StatementKind kind);
    void AfterWrite(bool ok, const ComError &error);
    bool BatchSurvived();
    void LoseBatch(const std::string &reason);
    bool BatchDue() const;

    std::recursive_mutex m_mutex;
    QString m_name;
    QSqlDatabase m_db;
    bool m_open = false;
    QThread *m_thread = nullptr; // the one the connection was opened on
    unsigned m_generation = 0;
    mutable sqlite3 *m_sqliteHandle = nullptr; // the driver's, of generation m_sqliteHandleGeneration
    mutable unsigned m_sqliteHandleGeneration = ~0u;
    EngineSettings m_settings;
    QString m_directory; // embedded: the resolved folder of velto.db
    std::string m_user;
    std::string m_password;
    std::string m_connectionString;
    int m_loginGiveUpFd = -1;

    bool m_groupCommit = false;
    bool m_transaction = false;          // BeginTransaction's, open
    bool m_groupCommitResting = false;   // group commit was on at BeginTransaction
    BatchLossReporter m_batchLossReporter;
    BatchBegunListener m_batchBegun;
    bool m_batchOpen = false;
    int m_batchStatements = 0;
    std::chrono::nanoseconds m_batchStart{0}; // on the coarse monotonic clock
    std::unique_ptr<QSqlQuery> m_probe; // the ODBC transaction probe
    sqlite3 *m_liveRoomHandle = nullptr; // embedded, group commit: writes of ## tables
    std::chrono::steady_clock::time_point m_liveRoomBusyDeadline; // of its busy handler
    int m_liveRoomGroups = 0;
    std::vector<KeptWrite> m_liveRoomKept; // the first m_liveRoomKeptCount are kept
    size_t m_liveRoomKeptCount = 0;
    LiveRoomFailureReporter m_liveRoomFailureReporter;
    // Embedded: the writes' prepared statements, of the connection's own
    // handle and of the live-room handle.
    StatementCache m_writes;
    StatementCache m_liveRoomWrites; // given the ## texts as written (RunWritten)
    SqliteStatement m_liveRoomTranslated;
};

} // namespace database
