// The rows a recordset reads straight from SQLite are the ones Qt's SQLite
// driver gives for the same statement: names, types and values, row by row
// (checked against a QSqlQuery on the same database).
#include "database/result_rows.h"
#include "database/sqlite_dialect.h"
#include "database_fixture.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>

#include <string>

namespace {

class ResultRowsTest : public DatabaseTest {
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        m_qt = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("result_rows_test"));
        m_qt.setDatabaseName(Path(QStringLiteral("rows.db")));
        ASSERT_TRUE(m_qt.open());
        const QVariant handle = m_qt.driver()->handle();
        m_handle = *static_cast<sqlite3 *const *>(handle.constData());
        for (const char *sql : {
                 "create table t (i int, n integer, b bit, flag boolean, r real, f float, d numeric(10,2),"
                 " v varchar(20), w datetime, x blob, u)",
                 "insert into t values (1, -9000000000, 1, 0, 1.5, 2.25, 3.5, 'abc', '2026-12-11 07:00:00',"
                 " x'00ff', 'free')",
                 "insert into t values (null, null, null, null, null, null, null, null, null, null, null)",
                 // Storage classes other than the declared ones, text beyond
                 // ASCII, an empty blob and a malformed UTF-8 sequence.
                 "insert into t values ('12abc', 3.75, 0, 1, 7, 'x', '', '客房门磁', 5, x'', cast(x'c328e282' as text))",
             }) {
            QSqlQuery query(m_qt);
            ASSERT_TRUE(query.exec(QString::fromUtf8(sql))) << sql << query.lastError().text().toStdString();
        }
    }

    void TearDown() override
    {
        m_qt.close();
        m_qt = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("result_rows_test"));
        DatabaseTest::TearDown();
    }

    // The driver's result of `sql`, as a recordset read it before.
    bool DriverRows(const QString &sql, database::ResultRows &rows, QString &failure)
    {
        QSqlQuery query(m_qt);
        query.setForwardOnly(true);
        if (!query.exec(sql)) {
            failure = query.lastError().databaseText();
            return false;
        }
        rows.hasColumns = query.isSelect();
        rows.changes = query.isSelect() ? 0 : query.numRowsAffected();
        if (rows.hasColumns) {
            rows.columns = query.record();
            database::SqliteDialect::TypeBitColumns(query, rows.columns);
            rows.columnCount = rows.columns.count();
            while (query.next()) {
                for (int column = 0; column < rows.columnCount; ++column)
                    rows.values.push_back(query.value(column));
                ++rows.rowCount;
            }
        }
        return true;
    }

    QSqlDatabase m_qt;
    sqlite3 *m_handle = nullptr;
};

TEST_F(ResultRowsTest, RowsReadAsTheDriverGivesThem)
{
    for (const char *sql : {
             "select * from t",
             "select i, n as [alias], t.v, \"u\", v || 'z', i + 1, 2.5 * r, null, x'ab' from t",
             "select count(*), max(v) from t",
             // No row: an expression column has no type to take from one.
             "select i, i + 1, 'k' from t where 0",
             "select * from t where i = 1 union all select * from t where i is null",
             "pragma table_info(t)",
             "update t set u = u where i is null",
             "create table t2 (a int)",
         }) {
        SCOPED_TRACE(sql);
        const QString text = QString::fromUtf8(sql);
        database::ResultRows expected;
        QString expectedFailure;
        ASSERT_TRUE(DriverRows(text, expected, expectedFailure)) << expectedFailure.toStdString();
        if (text.startsWith(QLatin1String("create"))) {
            ASSERT_TRUE(QSqlQuery(m_qt).exec(QStringLiteral("drop table t2")));
        }
        database::ResultRows rows;
        QString failure;
        ASSERT_TRUE(database::ReadEmbeddedRows(m_handle, text, rows, &failure)) << failure.toStdString();
        EXPECT_TRUE(rows.read);
        EXPECT_EQ(rows.hasColumns, expected.hasColumns);
        EXPECT_EQ(rows.changes, expected.changes);
        ASSERT_EQ(rows.columnCount, expected.columnCount);
        for (int column = 0; column < rows.columnCount; ++column) {
            const QSqlField field = rows.columns.field(column);
            const QSqlField expectedField = expected.columns.field(column);
            EXPECT_EQ(field.name(), expectedField.name()) << column;
            EXPECT_EQ(field.tableName(), expectedField.tableName()) << column;
            EXPECT_EQ(field.metaType().id(), expectedField.metaType().id()) << field.name().toStdString();
        }
        ASSERT_EQ(rows.rowCount, expected.rowCount);
        ASSERT_EQ(rows.values.size(), expected.values.size());
        for (size_t at = 0; at < rows.values.size(); ++at) {
            const QVariant &value = rows.values[at];
            const QVariant &expectedValue = expected.values[at];
            SCOPED_TRACE(expectedValue.toString().toStdString());
            EXPECT_EQ(value.typeId(), expectedValue.typeId()) << at;
            EXPECT_EQ(value.isNull(), expectedValue.isNull()) << at;
            EXPECT_EQ(value, expectedValue) << at;
        }
    }
}

TEST_F(ResultRowsTest, RefusalsAndFailuresAreTheEngines)
{
    struct Case {
        const char *sql;
        const char *failure;
    };
    for (const Case &c : {
             Case{"select * from missing", "no such table: missing"},
             Case{"select 1; select 2", "Unable to execute multiple statements at a time"},
             // A failure after the first rows fails the read: a push must not
             // take a result cut short for the whole of it.
             Case{"select case when i is null then abs(-9223372036854775807 - 1) else i end from t",
                  "integer overflow"},
         }) {
        SCOPED_TRACE(c.sql);
        database::ResultRows rows;
        QString failure;
        EXPECT_FALSE(database::ReadEmbeddedRows(m_handle, QString::fromUtf8(c.sql), rows, &failure));
        EXPECT_EQ(failure.toStdString(), c.failure);
        EXPECT_EQ(rows.rowCount, 0u);
        EXPECT_TRUE(rows.values.empty());
    }
}

// Through the server's own recordset: the failing row is told, not dropped.
TEST_F(ResultRowsTest, ARecordsetTellsARowThatFailedToRead)
{
    InstallSeed();
    ASSERT_TRUE(OpenServer());
    MustExec("create table overflow (i int)");
    MustExec("insert into overflow values (1)");
    MustExec("insert into overflow values (null)");
    CADOMyRecordset recordset(&m_db);
    EXPECT_FALSE(recordset.Exec("select case when i is null then abs(-9223372036854775807 - 1) else i end as v "
                                "from overflow"));
    EXPECT_NE(recordset.GetLastErrorText().find("integer overflow"), std::string::npos)
        << recordset.GetLastErrorText();
    EXPECT_FALSE(recordset.IsOpen());
}

} // namespace
