#pragma once
// The rows of one statement on the embedded engine, read straight from
// SQLite into the values Qt's SQLite driver would have given: an integer as
// a qlonglong, a float as a double, text as a QString, a blob as a
// QByteArray, NULL as a null text; the columns named and typed as the
// driver names and types them, a column declared bit typed boolean. A
// recordset reads every row at once, and Qt's cached result costs several
// times SQLite's own step for each of them (a workstation's push reads
// thousands of event rows after a burst).
#include <QSqlRecord>
#include <QString>
#include <QVariant>

#include <cstddef>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace database {

// A result read whole: a recordset's client-side cursor.
struct ResultRows {
    QSqlRecord columns;
    int columnCount = 0;
    std::vector<QVariant> values; // row after row, columnCount each
    size_t rowCount = 0;
    bool read = false;       // the rows were read here, not left on a QSqlQuery
    bool hasColumns = false; // the statement returns a result set
    int changes = 0;         // without one: the rows it changed, as the driver counts them
};

// Runs one statement (SQLite's dialect) on `handle` and reads all its rows
// into `rows` (emptied first). A text of several statements is refused, as
// the driver refuses it; a step that fails after some rows fails the whole
// read, rather than leaving a result cut short. `failure` gets the engine's
// text.
bool ReadEmbeddedRows(sqlite3 *handle, const QString &sql, ResultRows &rows, QString *failure);

// Prepares the one statement of `sql` for a single run (null for a text of
// none). A text of several statements is refused, as the driver refuses it:
// a value that closed its quote early must not bring a statement of its own.
bool PrepareOneStatement(sqlite3 *handle, const QString &sql, sqlite3_stmt **statement, QString *failure);

} // namespace database
