// Writes of the live-room table (and any global temporary table) on the
// embedded engine, outside the group-commit batch. A batch that wrote
// tempdb.db would hold its write lock until it commits, and one batch follows
// another all through a storm of reports: the PMS software's updates of the
// live-room table, retried by SQLite's busy handler at growing intervals,
// would seldom find the lock free. On a handle of their own each datagram's
// writes hold tempdb.db only while they run: they are kept while the datagram
// is handled and run together in one transaction when its handling ends, a
// few dozen microseconds. Holding that transaction open from the first write
// to the end of the handling would be as fast, but would keep the lock for
// all of the handling: an outside writer would seldom find it free.
// tempdb.db is emptied at every start and its commits are not synced
// (SqliteDialect::PrepareConnection), so these commits cost no disk sync.
// SQL Server locks rows, not files: the ODBC engine keeps them in the batch.
#include "database/db_connection.h"

#include "database/sqlite_dialect.h"
#include "platform/error_line.h"
#include "platform/gbk.h"

#include <QFile>
#include <sqlite3.h>

#include <algorithm>
#include <thread>

namespace database {
namespace {

// The live-room handle meets the PMS software's short writes and the
// poller's reads: it looks again after a few dozen microseconds, not after
// the milliseconds of SQLite's own back-off, for as long as the server's
// other connections wait.
constexpr std::chrono::microseconds kLiveRoomBusyStep{20};
constexpr std::chrono::milliseconds kLiveRoomBusyTimeout{5000};

int RetrySoon(void *deadline, int attempt)
{
    auto &until = *static_cast<std::chrono::steady_clock::time_point *>(deadline);
    const auto now = std::chrono::steady_clock::now();
    if (attempt == 0)
        until = now + kLiveRoomBusyTimeout;
    else if (now >= until)
        return 0;
    std::this_thread::sleep_for(kLiveRoomBusyStep);
    return 1;
}

} // namespace

sqlite3 *DbConnection::LiveRoomHandle(QString *failure)
{
    if (m_liveRoomHandle)
        return m_liveRoomHandle;
    // The same main database as the server's connection, so a write that
    // also reads a table of velto.db finds it (as last committed: the open
    // batch is not visible from here; the program's live-room writes read
    // nothing else).
    const QString main = m_db.databaseName();
    const bool mainIsFile = main != QLatin1String(":memory:");
    // Only this connection's thread uses the handle, under the connection's
    // lock (as Qt's driver opens the other one): SQLite need not lock it
    // again at every call.
    if (sqlite3_open_v2(mainIsFile ? QFile::encodeName(main).constData() : ":memory:", &m_liveRoomHandle,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK
        || !SqliteDialect::PrepareConnection(m_liveRoomHandle, m_directory, mainIsFile, failure)) {
        if (failure->isEmpty())
            *failure = QString::fromUtf8(m_liveRoomHandle ? sqlite3_errmsg(m_liveRoomHandle) : "out of memory");
        CloseLiveRoomHandle();
        return nullptr;
    }
    sqlite3_busy_handler(m_liveRoomHandle, RetrySoon, &m_liveRoomBusyDeadline);
    return m_liveRoomHandle;
}

// The texts that come here write a ## table: the cache translates them
// only where their shape is new.
bool DbConnection::ExecuteLiveRoomWrite(const QString &text, int *recordsAffected, ComError *error)
{
    QString failure;
    sqlite3 *handle = LiveRoomHandle(&failure);
    if (!handle || !m_liveRoomWrites.RunWritten(handle, text, m_liveRoomTranslated, recordsAffected, &failure)) {
        EmbeddedFailure(failure, error);
        return false;
    }
    return true;
}

void DbConnection::BeginLiveRoomGroup()
{
    std::lock_guard lock(m_mutex);
    ++m_liveRoomGroups;
}

void DbConnection::EndLiveRoomGroup()
{
    std::lock_guard lock(m_mutex);
    if (m_liveRoomGroups > 0)
        --m_liveRoomGroups;
    RunLiveRoomWrites();
}

void DbConnection::SetLiveRoomFailureReporter(LiveRoomFailureReporter reporter)
{
    std::lock_guard lock(m_mutex);
    m_liveRoomFailureReporter = std::move(reporter);
}

void DbConnection::KeepLiveRoomWrite(const QString &text)
{
    if (m_liveRoomKeptCount == m_liveRoomKept.size())
        m_liveRoomKept.emplace_back();
    KeptWrite &write = m_liveRoomKept[m_liveRoomKeptCount++];
    // A copy, not a share: the caller's text is decoded into the same
    // storage for its next statement.
    write.text.resize(text.size());
    std::copy_n(text.constData(), text.size(), write.text.data());
    write.ran = false;
    if (m_liveRoomKeptCount >= kLiveRoomGroupMax)
        RunLiveRoomWrites();
}

void DbConnection::ReportLiveRoomFailure(const QString &text, const QString &failure)
{
    ComError error;
    EmbeddedFailure(failure, &error);
    if (m_liveRoomFailureReporter)
        m_liveRoomFailureReporter(platform::GbkStringFromQString(text), error);
    else
        platform::WriteErrorLine("live-room write failed", platform::GbkStringFromQString(text) + ": " + error.description);
}

// Each statement keeps its own outcome, as if it had run when it was given:
// a failing one is reported and the others commit. Should the engine throw
// the transaction away (a full disk, a trigger's RAISE(ROLLBACK)), the
// statements before are reported as failed with it, and the rest run on
// their own.
void DbConnection::RunLiveRoomWrites()
{
    if (m_liveRoomKeptCount == 0)
        return;
    // A reporter that runs a statement of its own finds nothing kept.
    std::vector<KeptWrite> writes;
    writes.swap(m_liveRoomKept);
    const size_t count = m_liveRoomKeptCount;
    m_liveRoomKeptCount = 0;
    QString failure;
    sqlite3 *handle = LiveRoomHandle(&failure);
    if (!handle) {
        for (size_t at = 0; at < count; ++at)
            ReportLiveRoomFailure(writes[at].text, failure);
    } else {
        RunTogether(handle, writes, count);
    }
    // The slots go back for the next datagram.
    if (m_liveRoomKept.empty())
        writes.swap(m_liveRoomKept);
}

void DbConnection::RunTogether(sqlite3 *handle, std::vector<KeptWrite> &writes, size_t count)
{
    int changes = 0;
    QString failure;
    bool together = count > 1 && m_liveRoomWrites.Run(handle, QStringLiteral("BEGIN"), &changes, &failure);
    for (size_t at = 0; at < count; ++at) {
        KeptWrite &write = writes[at];
        failure.clear();
        write.ran = m_liveRoomWrites.RunWritten(handle, write.text, write.translated, &changes, &failure);
        if (write.ran)
            continue;
        if (together && sqlite3_get_autocommit(handle) != 0) {
            for (size_t before = 0; before < at; ++before) {
                if (writes[before].ran)
                    ReportLiveRoomFailure(writes[before].text, failure);
            }
            together = false;
        }
        ReportLiveRoomFailure(write.text, failure);
    }
    if (together && !m_liveRoomWrites.Run(handle, QStringLiteral("COMMIT"), &changes, &failure)) {
        QString ignored;
        m_liveRoomWrites.Run(handle, QStringLiteral("ROLLBACK"), &changes, &ignored);
        for (size_t at = 0; at < count; ++at) {
            if (writes[at].ran)
                ReportLiveRoomFailure(writes[at].text, failure);
        }
    }
}

void DbConnection::CloseLiveRoomHandle()
{
    m_liveRoomWrites.Clear();
    sqlite3_close_v2(m_liveRoomHandle);
    m_liveRoomHandle = nullptr;
}

} // namespace database
