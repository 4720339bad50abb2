#pragma once
// A SELECT that one connection runs over and over with other integers in it,
// such as the PMS poller's query of each room. On the embedded engine its
// text is translated and prepared once per connection (again after the
// connection reopens) and each run binds its values: SQLite parses and plans
// it once instead of at every run. Elsewhere each run formats the values into
// the text and runs it as a recordset does: on the ODBC engine, and on a
// connection with group commit, whose reads keep the batch's rules.
#include "database/ado_recordset.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QSqlQuery;

namespace database {

class PreparedRead {
public:
    // `sqlServerText` (SQL Server's dialect, GBK) holds %d where each value
    // goes, e.g. "select X from T where A=%d and B=%d".
    PreparedRead(CADODatabase *database, std::string_view sqlServerText);
    ~PreparedRead();
    PreparedRead(const PreparedRead &) = delete;
    PreparedRead &operator=(const PreparedRead &) = delete;

    // Runs with `values`, one for each %d. False when it failed (the
    // connection closed, the engine refused it), with the cause kept.
    bool Exec(std::initializer_list<int32_t> values);
    // After a successful Exec: whether the result has a row.
    bool HasRow() const { return m_hasRow; }
    // The first row's field `column` read as a decimal integer, as
    // platform::LeadingDecimal reads CADORecordset::GetFieldString: 0 for
    // no row, no such column, NULL or a text without digits. Not for a bit
    // column (read as T or F there).
    int32_t FieldInteger(std::string_view column);

    const std::string &GetLastErrorText() const { return m_lastErrorText; }

private:
    bool Prepared();
    bool ExecFormatted(std::initializer_list<int32_t> values);
    void Fail(const ComError &error, const std::string &sql);

    std::shared_ptr<DbConnection> m_connection;
    std::vector<std::string> m_pieces; // the text around each %d
    CADOMyRecordset m_formatted;
    std::unique_ptr<QSqlQuery> m_query; // after m_connection: gone before it
    unsigned m_generation = 0;          // of the connection m_query was prepared on
    QSqlRecord m_columns;               // of the prepared statement's result
    std::vector<QVariant> m_values;     // the first row of the last run
    std::string m_column;               // the last column read, and where it stands
    int m_columnIndex = -1;
    bool m_hasRow = false;
    bool m_usedFormatted = false;
    std::string m_lastErrorText;
};

} // namespace database
