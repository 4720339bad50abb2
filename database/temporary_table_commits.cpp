#include "database/temporary_table_commits.h"

#include "database/db_connection.h"

#include <QSqlQuery>

namespace database {

TemporaryTableCommits::TemporaryTableCommits(CADODatabase *database)
    : m_connection(database ? database->GetActiveConnection() : nullptr)
{
}

TemporaryTableCommits::~TemporaryTableCommits()
{
    m_query.reset(); // before the connection it was prepared on
}

bool TemporaryTableCommits::SinceLastLook()
{
    if (!m_connection)
        return true;
    std::lock_guard lock(m_connection->Mutex());
    ComError error;
    if (!m_connection->IsOpen() || m_connection->Settings().engine != Engine::Embedded
        || !m_connection->IsOwnThread(&error))
        return true;
    if (!m_query || m_generation != m_connection->Generation()) {
        m_known = false;
        m_query.reset();
        m_query = std::make_unique<QSqlQuery>(m_connection->Database());
        m_query->setForwardOnly(true);
        m_generation = m_connection->Generation();
        // tempdb is the schema SqliteDialect::PrepareConnection attaches
        // tempdb.db as. The version of the main schema would not move for
        // its commits.
        if (!m_query->prepare(QStringLiteral("PRAGMA tempdb.data_version"))) {
            m_query.reset();
            return true;
        }
    }
    if (!m_query->exec() || !m_query->next()) {
        m_known = false;
        return true;
    }
    const uint64_t version = m_query->value(0).toULongLong();
    m_query->finish();
    const bool changed = !m_known || version != m_version;
    m_known = true;
    m_version = version;
    return changed;
}

} // namespace database
