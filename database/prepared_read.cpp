#include "database/prepared_read.h"

#include "database/db_connection.h"
#include "database/sqlite_dialect.h"
#include "platform/decimal_text.h"
#include "platform/gbk.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <cstdio>
#include <limits>

namespace database {
namespace {

int32_t Clamped(qlonglong value)
{
    if (value > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

} // namespace

PreparedRead::PreparedRead(CADODatabase *database, std::string_view sqlServerText)
    : m_connection(database ? database->GetActiveConnection() : nullptr), m_formatted(database)
{
    for (size_t at = 0;;) {
        const size_t next = sqlServerText.find("%d", at);
        m_pieces.emplace_back(sqlServerText.substr(at, next == std::string_view::npos ? next : next - at));
        if (next == std::string_view::npos)
            break;
        at = next + 2;
    }
}

PreparedRead::~PreparedRead()
{
    m_query.reset(); // before the connection it was prepared on
}

void PreparedRead::Fail(const ComError &error, const std::string &sql)
{
    m_lastErrorText = "Query = " + sql + "\n" + FormatComError("CADORecordset", error);
}

// The text with ? for each value, prepared on this generation of the
// connection. The caller holds the connection's lock.
bool PreparedRead::Prepared()
{
    if (m_query && m_generation == m_connection->Generation())
        return true;
    std::string text = m_pieces.front();
    for (size_t i = 1; i < m_pieces.size(); ++i)
        text += "?" + m_pieces[i];
    m_query.reset();
    m_query = std::make_unique<QSqlQuery>(m_connection->Database());
    m_query->setForwardOnly(true);
    m_generation = m_connection->Generation();
    m_columns = QSqlRecord();
    m_column.clear();
    if (m_query->prepare(SqliteDialect::Translate(platform::QStringFromGbk(text)).sql))
        return true;
    ComError error;
    DbConnection::EmbeddedFailure(m_query->lastError().databaseText(), &error);
    Fail(error, text);
    m_query.reset();
    return false;
}

bool PreparedRead::ExecFormatted(std::initializer_list<int32_t> values)
{
    m_usedFormatted = true;
    std::string sql = m_pieces.front();
    size_t i = 1;
    for (const int32_t value : values) {
        sql += std::to_string(value);
        if (i < m_pieces.size())
            sql += m_pieces[i++];
    }
    if (!m_formatted.Exec(sql)) {
        m_lastErrorText = m_formatted.GetLastErrorText();
        return false;
    }
    m_hasRow = m_formatted.GetRecordCount() > 0;
    return true;
}

bool PreparedRead::Exec(std::initializer_list<int32_t> values)
{
    m_hasRow = false;
    m_usedFormatted = false;
    if (!m_connection)
        return false;
    std::lock_guard lock(m_connection->Mutex());
    if (!m_connection->IsOpen())
        return false;
    if (values.size() + 1 != m_pieces.size()) {
        Fail({kErrInCommand, "ADODB.Command", "The values do not match the statement's parameters."},
             m_pieces.front());
        return false;
    }
    if (m_connection->Settings().engine != Engine::Embedded || m_connection->GroupCommit())
        return ExecFormatted(values);
    ComError error;
    if (!m_connection->IsOwnThread(&error)) {
        Fail(error, m_pieces.front());
        return false;
    }
    if (!Prepared())
        return false;
    int position = 0;
    for (const int32_t value : values)
        m_query->bindValue(position++, value);
    if (!m_query->exec()) {
        DbConnection::EmbeddedFailure(m_query->lastError().databaseText(), &error);
        Fail(error, platform::GbkStringFromQString(m_query->lastQuery()));
        return false;
    }
    // The row is kept and the statement finished at once: while it stood
    // stepped its read transaction would stay open, and the connection go on
    // seeing the database as it was then.
    if (m_query->next()) {
        if (m_columns.isEmpty())
            m_columns = m_query->record();
        m_values.resize(static_cast<size_t>(m_columns.count()));
        for (int i = 0; i < m_columns.count(); ++i)
            m_values[static_cast<size_t>(i)] = m_query->value(i);
        m_hasRow = true;
    }
    m_query->finish();
    return true;
}

int32_t PreparedRead::FieldInteger(std::string_view column)
{
    if (!m_hasRow)
        return 0;
    if (m_usedFormatted)
        return platform::LeadingDecimal(m_formatted.GetFieldString(column));
    if (column != m_column) {
        m_column = column;
        m_columnIndex = m_columns.indexOf(platform::QStringFromGbk(column));
    }
    if (m_columnIndex < 0)
        return 0;
    const QVariant &value = m_values[static_cast<size_t>(m_columnIndex)];
    if (value.isNull())
        return 0;
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
        return Clamped(value.toLongLong());
    case QMetaType::Double: {
        // GetFieldString's form of a float, so the same digits lead.
        char text[64];
        std::snprintf(text, sizeof text, "%.20g", value.toDouble());
        return platform::LeadingDecimal(text);
    }
    case QMetaType::QString: {
        const QByteArray gbk = platform::GbkFromQString(value.toString());
        return platform::LeadingDecimal(std::string_view(gbk.constData(), static_cast<size_t>(gbk.size())));
    }
    default:
        return 0;
    }
}

} // namespace database
