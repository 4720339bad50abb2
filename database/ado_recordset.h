#pragma once
// A result set read through a CADODatabase's connection. CADOMyRecordset runs
// one SQL text (SQL Server's dialect; GBK) and leaves its rows to read as
// text. Every failure is a false result with the code and diagnostic text
// kept; nothing here shows a message or throws.
#include "database/ado_database.h"
#include "database/result_rows.h"

#include <QSqlRecord>
#include <QVariant>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QSqlQuery;

class CADORecordset {
public:
    explicit CADORecordset(CADODatabase *database);
    virtual ~CADORecordset();
    CADORecordset(const CADORecordset &) = delete;
    CADORecordset &operator=(const CADORecordset &) = delete;

    // True while the last statement's rows can be read.
    bool IsOpen() const;
    void Close();

    // The rows of the result, counted by walking; the current row is the
    // first one again afterwards. 0 for no result.
    int GetRecordCount();
    bool IsFieldNull(int16_t index);
    // The current row's field as text; dateFormat (strftime codes) applies
    // to date values, "%Y-%m-%d %H:%M:%S" when empty. The text is GBK.
    bool GetFieldValue(std::string_view fieldName, std::string &value, std::string_view dateFormat = {});
    // GetFieldValue with the default date format; empty on failure.
    std::string GetFieldString(std::string_view fieldName);
    bool IsEof() const;
    void MoveNext();

    std::string GetQuery() const { return m_sql; }
    void SetQuery(std::string_view sql) { m_sql = sql; }
    uint32_t GetLastError() const { return m_lastError; }
    const std::string &GetLastErrorText() const { return m_lastErrorText; }

protected:
    void Fail(const database::ComError &error);
    void FailAdo(uint32_t code, const char *description);
    bool Readable() const;
    // False, with the failure kept as ADO reports it, when the current row's
    // field at `column` (-1: no such name) cannot be read.
    bool CanRead(int column);
    bool HasRow() const { return m_row < m_result.rowCount; }
    const QVariant &Field(int column) const
    {
        return m_result.values[m_row * static_cast<size_t>(m_result.columnCount) + static_cast<size_t>(column)];
    }
    // The column of a field name in this result (-1: none), and whether it
    // was declared as a bit: looked up once per name and result, as a walk
    // of thousands of rows reads the same few names on every row.
    int ColumnOf(std::string_view fieldName, bool *declaredBit);

    std::shared_ptr<database::DbConnection> m_connection;
    std::unique_ptr<QSqlQuery> m_recordset;
    unsigned m_generation = 0; // of the connection the query was made on
    // A client-side cursor: the rows are read into memory by Exec, so they
    // can be counted and walked again whatever the driver's cursors allow,
    // and no read stays open on the database.
    database::ResultRows m_result;
    struct NamedColumn {
        std::string name;
        int column;
        bool declaredBit;
    };
    std::vector<NamedColumn> m_columnsByName;
    size_t m_nextNamed = 0; // where ColumnOf looks first
    size_t m_row = 0;
    bool m_open = false;
    std::string m_lastErrorText;
    uint32_t m_lastError = 0;
    std::string m_sql;
    QString m_text; // m_sql decoded for the engine, its storage kept for the next statement
};

class CADOMyRecordset : public CADORecordset {
public:
    explicit CADOMyRecordset(CADODatabase *database) : CADORecordset(database) {}

    // Runs `sql` (which replaces the stored text); recordsAffected receives
    // the rows the statement changed.
    bool Exec(std::string_view sql, int *recordsAffected = nullptr);
    // Runs the text already stored (SetQuery).
    bool Exec(int *recordsAffected = nullptr);
    // Exec for a statement whose failure nobody above can act on: it is
    // told on standard error as "<what>: <error text>".
    bool ExecOrTell(std::string_view sql, const char *what);
};
