#pragma once
// Whether anything has been committed to the global temporary tables since a
// reader last looked, for a reader that would otherwise read them over and
// over to find out (the PMS poller). On the embedded engine they live in
// tempdb.db, whose data version SQLite raises whenever another connection
// commits to it: one of this process (the server's own live-room writes) or
// of another (the PMS software). SQL Server has no such count.
#include "database/ado_database.h"

#include <cstdint>
#include <memory>

class QSqlQuery;

namespace database {

class TemporaryTableCommits {
public:
    explicit TemporaryTableCommits(CADODatabase *database);
    ~TemporaryTableCommits();
    TemporaryTableCommits(const TemporaryTableCommits &) = delete;
    TemporaryTableCommits &operator=(const TemporaryTableCommits &) = delete;

    // True unless the engine tells that no other connection has committed
    // to the global temporary tables since the last look on this connection:
    // so also at the first look, after the connection reopened, on the ODBC
    // engine, and when the engine could not be asked. This connection's own
    // commits do not count.
    bool SinceLastLook();

private:
    std::shared_ptr<DbConnection> m_connection;
    std::unique_ptr<QSqlQuery> m_query; // after m_connection: gone before it
    unsigned m_generation = 0;          // of the connection m_version was read on
    bool m_known = false;
    uint64_t m_version = 0;
};

} // namespace database
