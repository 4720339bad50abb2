#include "database/result_rows.h"

#include "database/ascii_words.h"
#include "database/sqlite_dialect.h"

#include <QSqlField>
#include <sqlite3.h>

namespace database {
namespace {

QString ErrorText(sqlite3 *handle)
{
    return QString::fromUtf8(sqlite3_errmsg(handle));
}

QString Unquoted(const char *name)
{
    return QString::fromUtf8(name).remove(QLatin1Char('"'));
}

bool IsWord(const QString &declared, const char *word)
{
    return declared.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

// The driver's type of a column from its declared type, or, for an
// expression, from the storage class of its first row (none: unknown).
QMetaType::Type ColumnType(const char *declared, int firstRowClass)
{
    if (declared && *declared) {
        const QString name = QString::fromUtf8(declared);
        if (IsWord(name, "integer") || IsWord(name, "int"))
            return QMetaType::Int;
        if (IsWord(name, "double") || IsWord(name, "float") || IsWord(name, "real")
            || name.startsWith(QLatin1String("numeric"), Qt::CaseInsensitive))
            return QMetaType::Double;
        if (IsWord(name, "blob"))
            return QMetaType::QByteArray;
        // SQL Server's bit: stored as an integer and read as T or F.
        if (IsWord(name, "boolean") || IsWord(name, "bool") || SqliteDialect::DeclaredBit(declared))
            return QMetaType::Bool;
        return QMetaType::QString;
    }
    switch (firstRowClass) {
    case SQLITE_INTEGER:
        return QMetaType::Int;
    case SQLITE_FLOAT:
        return QMetaType::Double;
    case SQLITE_BLOB:
        return QMetaType::QByteArray;
    case SQLITE_TEXT:
        return QMetaType::QString;
    default:
        return QMetaType::UnknownType;
    }
}

void ReadColumns(sqlite3_stmt *statement, int count, bool emptyResult, QSqlRecord &columns)
{
    for (int column = 0; column < count; ++column) {
        const QMetaType::Type type = ColumnType(sqlite3_column_decltype(statement, column),
                                                emptyResult ? -1 : sqlite3_column_type(statement, column));
        columns.append(QSqlField(Unquoted(sqlite3_column_name(statement, column)), QMetaType(type),
                                 Unquoted(sqlite3_column_table_name(statement, column))));
    }
}

// Text of ASCII alone, as nearly every field is, is taken as it stands;
// any other goes through SQLite's own UTF-16, as the driver reads it, so a
// malformed sequence an outside program stored reads the same.
QString TextValue(sqlite3_stmt *statement, int column)
{
    const auto *text = sqlite3_column_text(statement, column);
    const int bytes = sqlite3_column_bytes(statement, column);
    bool ascii = true;
    for (int i = 0; i < bytes && ascii; ++i)
        ascii = text[i] < 0x80;
    if (ascii)
        return QString::fromLatin1(reinterpret_cast<const char *>(text), bytes);
    const auto *wide = static_cast<const QChar *>(sqlite3_column_text16(statement, column));
    return QString(wide, sqlite3_column_bytes16(statement, column) / static_cast<int>(sizeof(QChar)));
}

void ReadRow(sqlite3_stmt *statement, int count, std::vector<QVariant> &values)
{
    for (int column = 0; column < count; ++column) {
        switch (sqlite3_column_type(statement, column)) {
        case SQLITE_INTEGER:
            values.emplace_back(static_cast<qlonglong>(sqlite3_column_int64(statement, column)));
            break;
        case SQLITE_FLOAT:
            values.emplace_back(sqlite3_column_double(statement, column));
            break;
        case SQLITE_BLOB:
            values.emplace_back(QByteArray(static_cast<const char *>(sqlite3_column_blob(statement, column)),
                                           sqlite3_column_bytes(statement, column)));
            break;
        case SQLITE_NULL:
            // Whatever the column's type, as the driver gives it.
            values.emplace_back(QMetaType::fromType<QString>());
            break;
        default:
            values.emplace_back(TextValue(statement, column));
            break;
        }
    }
}

bool Step(sqlite3 *handle, sqlite3_stmt *statement, ResultRows &rows, QString *failure)
{
    const int count = sqlite3_column_count(statement);
    rows.hasColumns = count > 0;
    int rc = sqlite3_step(statement);
    if (rows.hasColumns && (rc == SQLITE_ROW || rc == SQLITE_DONE)) {
        ReadColumns(statement, count, rc == SQLITE_DONE, rows.columns);
        rows.columnCount = count;
    }
    for (; rc == SQLITE_ROW; rc = sqlite3_step(statement)) {
        if (!rows.hasColumns)
            continue;
        ReadRow(statement, count, rows.values);
        ++rows.rowCount;
    }
    if (rc != SQLITE_DONE) {
        *failure = ErrorText(handle);
        return false;
    }
    if (!rows.hasColumns)
        rows.changes = sqlite3_changes(handle);
    return true;
}

} // namespace

bool ReadEmbeddedRows(sqlite3 *handle, const QString &sql, ResultRows &rows, QString *failure)
{
    if (!rows.columns.isEmpty())
        rows.columns.clear();
    rows.columnCount = 0;
    rows.values.clear();
    rows.rowCount = 0;
    rows.read = true;
    rows.hasColumns = false;
    rows.changes = 0;
    sqlite3_stmt *statement = nullptr;
    if (!PrepareOneStatement(handle, sql, &statement, failure))
        return false;
    const bool ok = !statement || Step(handle, statement, rows, failure);
    sqlite3_finalize(statement);
    if (!ok) {
        rows.values.clear();
        rows.rowCount = 0;
    }
    return ok;
}

bool PrepareOneStatement(sqlite3 *handle, const QString &sql, sqlite3_stmt **statement, QString *failure)
{
    // UTF-16 as it stands, as the driver hands SQLite every text.
    const auto *text = reinterpret_cast<const char16_t *>(sql.utf16());
    const char16_t *end = text + sql.size();
    const char16_t *rest = nullptr;
    *statement = nullptr;
    if (sqlite3_prepare16_v2(handle, text, static_cast<int>(sql.size() * static_cast<qsizetype>(sizeof(QChar))),
                             statement, reinterpret_cast<const void **>(&rest))
        != SQLITE_OK) {
        *failure = ErrorText(handle);
        return false;
    }
    if (!OnlyBlanks(rest, end)) {
        sqlite3_finalize(*statement);
        *statement = nullptr;
        *failure = QStringLiteral("Unable to execute multiple statements at a time");
        return false;
    }
    return true;
}

} // namespace database
