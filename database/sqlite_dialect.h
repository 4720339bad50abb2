#pragma once
// The one place where SQL Server's dialect meets SQLite. The program builds
// every statement as SQL Server expects it; on the embedded engine each text
// passes through SqliteDialect::Translate, which rewrites the forms SQLite
// spells differently and recognises the statements that are actions rather
// than SQL for SQLite (BACKUP, RESTORE, use, the sp_ procedures).
//
// Global temporary tables (##NAME) live in tempdb.db beside velto.db,
// attached to every connection as schema "tempdb": every connection of the
// process and any outside program see the same table, and the first
// connection of a server run empties it, as a restart of SQL Server would.
#include <QString>

class QSqlQuery;
class QSqlRecord;
struct sqlite3;

namespace database {

struct SqliteStatement {
    enum class Kind {
        Query,   // run `sql`
        Ignored, // succeeds without touching the database (use, sp_addlogin, ...)
        Backup,  // copy database `database` to the file `path`
        Restore, // replace database `database` by the content of the file `path`
    };
    Kind kind = Kind::Query;
    QString sql;
    QString database; // Backup, Restore: the database name ("velto")
    QString path;     // Backup, Restore: the file, quotes undoubled
};

class SqliteDialect {
public:
    static SqliteStatement Translate(const QString &sqlServerText);
    // The same for a text whose NamesTemporaryTable answer the caller has
    // already: a write's text is searched for ## once, not at every step.
    static SqliteStatement Translate(const QString &sqlServerText, bool namesTemporaryTable);
    // The same into `statement`, whose storage is used again where it can
    // be: for a statement translated again and again.
    static void Translate(const QString &sqlServerText, bool namesTemporaryTable, SqliteStatement &statement);
    // True for an INSERT, UPDATE or DELETE whose target is a global
    // temporary table (##NAME), i.e. one that writes tempdb.db alone.
    static bool WritesTemporaryTable(const QString &sqlServerText);
    // Whether the text has "##" anywhere (a global temporary table's name).
    static bool NamesTemporaryTable(QStringView sqlServerText);

    // The file of a database name within the data directory: "velto" gives
    // <directory>/velto.db.
    static QString DatabaseFile(const QString &directory, const QString &database);
    static QString TempdbFile(const QString &directory);

    // Sets the journal and busy behaviour on a fresh connection, attaches
    // tempdb (emptied on the first attach of this process) and registers
    // col_length. `mainIsFile` is false for an administrator connection
    // opened on no database.
    static bool PrepareConnection(sqlite3 *handle, const QString &directory, bool mainIsFile,
                                  QString *error);

    // SQL Server's bit is a boolean, read as T or F. SQLite stores it as an
    // integer and Qt's driver reports the column as text, so the columns of
    // `query`'s result that are declared bit get the boolean type in
    // `columns`. Results of another driver are left alone.
    static void TypeBitColumns(const QSqlQuery &query, QSqlRecord &columns);
    // Whether a column's declared type (SQLite's text of it; null for none)
    // is bit, [bit] included.
    static bool DeclaredBit(const char *declared);

    // A consistent copy of a live database file into `target` (replaced).
    static bool Backup(const QString &databaseFile, const QString &target, QString *error);
    // The live database file takes the content of `source` in one write
    // transaction; connections that stay open see it at their next read.
    static bool Restore(const QString &source, const QString &databaseFile, QString *error);
};

} // namespace database
