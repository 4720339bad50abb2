// Writes of the live-room table (and any global temporary table) on the
// embedded engine, outside the group-commit batch. A batch that wrote
// tempdb.db would hold its write lock until it commits, and one batch follows
// another all through a storm of reports: the PMS software's updates of the
// live-room table, retried by SQLite's busy handler at growing intervals,
// would seldom find the lock free. On a handle of their own in autocommit
// each write holds tempdb.db only while it runs. tempdb.db is emptied at
// every start and its commits are not synced (SqliteDialect::PrepareConnection),
// so these one-by-one commits cost no disk sync. SQL Server locks rows, not
// files: the ODBC engine keeps them in the batch.
#include "database/db_connection.h"

#include "database/sqlite_dialect.h"

#include <QFile>
#include <sqlite3.h>

namespace database {
bool DbConnection::ExecuteLiveRoomWrite(const QString &text, int *recordsAffected, ComError *error)
{
    QString failure;
    if (!m_liveRoomHandle) {
        // The same main database as the server's connection, so a write that
        // also reads a table of velto.db finds it (as last committed: the
        // open batch is not visible from here; the program's live-room
        // writes read nothing else).
        const QString main = m_db.databaseName();
        const bool mainIsFile = main != QLatin1String(":memory:");
        if (sqlite3_open_v2(mainIsFile ? QFile::encodeName(main).constData() : ":memory:", &m_liveRoomHandle,
                            SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK
            || !SqliteDialect::PrepareConnection(m_liveRoomHandle, m_directory, mainIsFile, &failure)) {
            if (failure.isEmpty())
                failure = QString::fromUtf8(m_liveRoomHandle ? sqlite3_errmsg(m_liveRoomHandle) : "out of memory");
            CloseLiveRoomHandle();
            EmbeddedFailure(failure, error);
            return false;
        }
    }
    if (!m_liveRoomWrites.Run(m_liveRoomHandle, SqliteDialect::Translate(text).sql, recordsAffected, &failure)) {
        EmbeddedFailure(failure, error);
        return false;
    }
    return true;
}

void DbConnection::CloseLiveRoomHandle()
{
    m_liveRoomWrites.Clear();
    sqlite3_close_v2(m_liveRoomHandle);
    m_liveRoomHandle = nullptr;
}

} // namespace database
