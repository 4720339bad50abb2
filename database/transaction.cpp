// One transaction around writes that come all at once. Group commit would put
// the live-room writes of the embedded engine on their own handle, one commit
// each (live_room_writes.cpp): right for a storm of reports, where an outside
// writer must find tempdb.db's lock free between them, but thousands of
// commits where start-up fills the table in one go.
#include "database/db_connection.h"

#include "platform/gbk.h"

#include <QSqlDriver>
#include <QSqlError>

namespace database {
namespace {

void Failure(const QSqlDatabase &db, const char *what, ComError *error)
{
    error->code = kErrInCommand;
    error->source = db.driverName() == QLatin1String("QSQLITE") ? "Microsoft OLE DB Provider for SQLite"
                                                                 : "Microsoft OLE DB Provider for ODBC Drivers";
    error->description = std::string(what) + ": " + platform::GbkStringFromQString(db.lastError().text());
}

} // namespace

bool DbConnection::BeginTransaction(ComError *error)
{
    std::lock_guard lock(m_mutex);
    if (!m_open || m_transaction) {
        error->code = kErrInCommand;
        error->description = m_open ? "a transaction is open already" : "the connection is closed";
        return false;
    }
    CommitBatch();
    m_groupCommitResting = m_groupCommit;
    m_groupCommit = false;
    if (!m_db.driver()->hasFeature(QSqlDriver::Transactions) || !m_db.transaction()) {
        Failure(m_db, "cannot begin a transaction", error);
        m_groupCommit = m_groupCommitResting;
        return false;
    }
    m_transaction = true;
    return true;
}

bool DbConnection::CommitTransaction(ComError *error)
{
    std::lock_guard lock(m_mutex);
    if (!m_transaction)
        return true;
    m_transaction = false;
    m_groupCommit = m_groupCommitResting;
    if (m_db.commit())
        return true;
    Failure(m_db, "the transaction did not commit", error);
    m_db.rollback();
    return false;
}

} // namespace database
