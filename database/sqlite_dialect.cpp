#include "database/sqlite_dialect.h"

#include "database/ascii_words.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlResult>
#include <algorithm>
#include <array>
#include <cstdio>
#include <mutex>
#include <set>
#include <sqlite3.h>
#include <thread>

namespace database {
namespace {

constexpr auto kOptions = QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption;

// Rewrites of CREATE TABLE texts, applied outside string literals.
struct Rewrite {
    QRegularExpression pattern;
    QString replacement;
};

// Statements that are not SQL for SQLite, matched against the whole text.
struct Special {
    QRegularExpression pattern;
    SqliteStatement::Kind kind;
};

// QRegularExpression objects are reentrant, not shareable: one table per
// thread (the server's thread and the PMS poller).
const std::vector<Rewrite> &Rewrites()
{
    thread_local const std::vector<Rewrite> table = {
        // An identity column is SQLite's growing 64-bit rowid.
        {QRegularExpression(QStringLiteral(R"(\[?\b(?:big|small|tiny)?int\b\]?\s+IDENTITY\s*(?:\(\s*-?\d+\s*,\s*-?\d+\s*\))?)"), kOptions),
         QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT")},
        // The file group of a CREATE TABLE.
        {QRegularExpression(QStringLiteral(R"(\)\s*ON\s+\[PRIMARY\]\s*;?\s*$)"), kOptions), QStringLiteral(")")},
    };
    return table;
}

const std::vector<Special> &Specials()
{
    using Kind = SqliteStatement::Kind;
    thread_local const std::vector<Special> table = {
        {QRegularExpression(QStringLiteral(R"(^\s*BACKUP\s+DATABASE\s+\[?(\w+)\]?\s+TO\s+DISK\s*=\s*N?'((?:[^']|'')*)'.*$)"), kOptions), Kind::Backup},
        {QRegularExpression(QStringLiteral(R"(^\s*RESTORE\s+DATABASE\s+\[?(\w+)\]?\s+FROM\s+DISK\s*=\s*N?'((?:[^']|'')*)'.*$)"), kOptions), Kind::Restore},
        {QRegularExpression(QStringLiteral(R"(^\s*USE\s+\[?\w+\]?\s*;?\s*$)"), kOptions), Kind::Ignored},
        {QRegularExpression(QStringLiteral(R"(^\s*EXEC(?:UTE)?\s+(?:dbo\.)?sp_\w+\b.*$)"), kOptions), Kind::Ignored},
        // The option writer: code, disabled flag, value.
        {QRegularExpression(QStringLiteral(R"(^\s*(?:EXEC(?:UTE)?\s+)?(?:dbo\.)?UpdateSysOptions\s+(-?\d+)\s*,\s*(-?\d+)\s*,\s*N?('(?:[^']|'')*')\s*;?\s*$)"), kOptions), Kind::Query},
    };
    return table;
}

bool StartsWithSpecialWord(QStringView text)
{
    // Most statements are a row's INSERT or UPDATE: their first letter
    // alone rules most of the words out.
    if (!text.isEmpty() && text.front().unicode() < 0x80) {
        char16_t first = text.front().unicode();
        if (first >= u'a' && first <= u'z')
            first = static_cast<char16_t>(first - u'a' + u'A');
        switch (first) {
        case u'B': case u'R': case u'U': case u'E': case u'D':
            break;
        default:
            return false;
        }
    }
    static constexpr QLatin1String kWords[] = {QLatin1String("BACKUP"), QLatin1String("RESTORE"),
                                               QLatin1String("USE"),    QLatin1String("EXEC"),
                                               QLatin1String("UPDATESYSOPTIONS"), QLatin1String("DBO.")};
    for (const QLatin1String word : kWords) {
        if (StartsWithIgnoringCase(text, word))
            return true;
    }
    return false;
}

bool StartsWithRowWord(QStringView text)
{
    static constexpr QLatin1String kWords[] = {QLatin1String("INSERT"), QLatin1String("UPDATE"),
                                               QLatin1String("DELETE"), QLatin1String("SELECT")};
    for (const QLatin1String w : kWords) {
        if (StartsWithIgnoringCase(text, w) && (text.size() == w.size() || !text[w.size()].isLetterOrNumber()))
            return true;
    }
    return false;
}

// SQLite names the schema of an index on the index, not on its table:
// CREATE INDEX IX ON ##T (...) is CREATE INDEX tempdb.IX ON T (...).
void QualifyIndexOnTemporaryTable(QString &text)
{
    if (!text.contains(QLatin1String("INDEX"), Qt::CaseInsensitive))
        return;
    thread_local const QRegularExpression index(
        QStringLiteral(R"(^(\s*CREATE\s+(?:UNIQUE\s+)?INDEX\s+)(\[?\w+\]?)(\s+ON\s+)##)"), kOptions);
    text.replace(index, QStringLiteral("\\1tempdb.\\2\\3"));
}

bool NeedsTableRewrite(const QString &text)
{
    return text.contains(QLatin1String("IDENTITY"), Qt::CaseInsensitive)
        || text.contains(QLatin1String("[PRIMARY]"), Qt::CaseInsensitive);
}

// Global temporary tables live in the attached tempdb: ##NAME is tempdb.NAME,
// each ## read from the left. Done by hand, the pairs counted first so the
// new text is made in one allocation: the live-room update is the commonest
// statement of all.
void RenameTemporaryTables(QString &code)
{
    const auto nextPair = [&code](qsizetype from) {
        for (qsizetype at = code.indexOf(QLatin1Char('#'), from); at >= 0 && at + 1 < code.size();
             at = code.indexOf(QLatin1Char('#'), at + 1)) {
            if (code[at + 1] == QLatin1Char('#'))
                return at;
        }
        return qsizetype(-1);
    };
    qsizetype pairs = 0;
    for (qsizetype at = nextPair(0); at >= 0; at = nextPair(at + 2))
        ++pairs;
    if (pairs == 0)
        return;
    const QLatin1String schema("tempdb.");
    QString renamed(code.size() + pairs * (schema.size() - 2), Qt::Uninitialized);
    QChar *out = renamed.data();
    qsizetype from = 0;
    for (qsizetype at = nextPair(0); at >= 0; at = nextPair(from)) {
        out = std::copy(code.constData() + from, code.constData() + at, out);
        for (const char c : schema)
            *out++ = QLatin1Char(c);
        from = at + 2;
    }
    std::copy(code.constData() + from, code.constData() + code.size(), out);
    code = std::move(renamed);
}

// Where the '...' literal opening at `quote` closes (its doubled quotes
// inside it), or the text's end when it does not.
qsizetype LiteralEnd(const QString &text, qsizetype quote)
{
    qsizetype end = quote + 1;
    while (end < text.size()) {
        if (text[end] == QLatin1Char('\'')) {
            if (end + 1 < text.size() && text[end + 1] == QLatin1Char('\''))
                ++end;
            else
                break;
        }
        ++end;
    }
    return end;
}

// RenameTemporaryTables over every stretch outside the literals, the text
// searched in place rather than cut into stretches: a row's statement with
// its values in quotes, the live-room update among them, goes this way.
// Returns false, leaving `out` alone, past kMaxPairs pairs. `out` is not
// `text`: its storage is used again for the renamed text.
bool RenameTemporaryTablesOutsideLiterals(const QString &text, QString &out)
{
    constexpr int kMaxPairs = 8;
    std::array<qsizetype, kMaxPairs> pairs{};
    int count = 0;
    qsizetype quote = text.indexOf(QLatin1Char('\''));
    for (qsizetype from = 0; from < text.size();) {
        qsizetype at = text.indexOf(QLatin1Char('#'), from);
        while (at >= 0 && at + 1 < text.size() && text[at + 1] != QLatin1Char('#'))
            at = text.indexOf(QLatin1Char('#'), at + 1);
        if (at < 0 || at + 1 >= text.size())
            break;
        if (quote >= 0 && quote < at) { // a literal first: the search resumes after it
            from = LiteralEnd(text, quote) + 1;
            quote = from < text.size() ? text.indexOf(QLatin1Char('\''), from) : -1;
            continue;
        }
        if (count == kMaxPairs)
            return false;
        pairs[static_cast<size_t>(count++)] = at;
        from = at + 2;
    }
    if (count == 0) {
        out = text;
        return true;
    }
    const QLatin1String schema("tempdb.");
    out.resize(text.size() + count * (schema.size() - 2));
    QChar *to = out.data();
    qsizetype from = 0;
    for (int i = 0; i < count; ++i) {
        to = std::copy(text.constData() + from, text.constData() + pairs[static_cast<size_t>(i)], to);
        for (const char c : schema)
            *to++ = QLatin1Char(c);
        from = pairs[static_cast<size_t>(i)] + 2;
    }
    std::copy(text.constData() + from, text.constData() + text.size(), to);
    return true;
}

// Applies the rewrites to every stretch of the text that is not inside a
// '...' literal, so that no value ever changes.
void RewriteOutsideLiterals(const QString &text, bool tableRewrites, QString &rewritten)
{
    if (!tableRewrites && RenameTemporaryTablesOutsideLiterals(text, rewritten))
        return;
    QString out;
    out.reserve(text.size() + 32);
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype quote = text.indexOf(QLatin1Char('\''), pos);
        QString code = text.mid(pos, quote < 0 ? -1 : quote - pos);
        RenameTemporaryTables(code);
        if (tableRewrites) {
            for (const Rewrite &rewrite : Rewrites())
                code.replace(rewrite.pattern, rewrite.replacement);
        }
        out += code;
        if (quote < 0)
            break;
        // The literal, with its doubled quotes, up to the closing quote.
        const qsizetype end = LiteralEnd(text, quote);
        out += text.mid(quote, end + 1 - quote);
        pos = end + 1;
    }
    rewritten = std::move(out);
}

QString Unquote(QString literal)
{
    return literal.replace(QLatin1String("''"), QLatin1String("'"));
}

QString LastError(sqlite3 *handle)
{
    return QString::fromUtf8(handle ? sqlite3_errmsg(handle) : "out of memory");
}

bool ExecOn(sqlite3 *handle, const char *sql, QString *error)
{
    char *message = nullptr;
    if (sqlite3_exec(handle, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    *error = QString::fromUtf8(message ? message : sqlite3_errmsg(handle));
    sqlite3_free(message);
    return false;
}

// col_length('table', 'column'): a length for an existing column, NULL for a
// missing one (the program only tests for NULL).
void ColLength(sqlite3_context *context, int, sqlite3_value **argv)
{
    const auto *table = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    const auto *column = reinterpret_cast<const char *>(sqlite3_value_text(argv[1]));
    if (!table || !column) {
        sqlite3_result_null(context);
        return;
    }
    const char *schema = nullptr;
    if (table[0] == '#' && table[1] == '#') {
        schema = "tempdb";
        table += 2;
    }
    const char *declared = nullptr;
    if (sqlite3_table_column_metadata(sqlite3_context_db_handle(context), schema, table, column, &declared,
                                      nullptr, nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_result_null(context);
        return;
    }
    const QString type = QString::fromUtf8(declared ? declared : "").toLower();
    thread_local const QRegularExpression sized(QStringLiteral(R"(\(\s*(\d+))"));
    const QRegularExpressionMatch match = sized.match(type);
    int length = 4;
    if (match.hasMatch())
        length = match.captured(1).toInt();
    else if (type.contains(QLatin1String("tinyint")) || type.contains(QLatin1String("bool")) || type == QLatin1String("bit"))
        length = 1;
    else if (type.contains(QLatin1String("smallint")))
        length = 2;
    else if (type.contains(QLatin1String("bigint")) || type.contains(QLatin1String("date")) || type.contains(QLatin1String("real")) || type.contains(QLatin1String("float")))
        length = 8;
    sqlite3_result_int(context, length);
}

// The first attach of a tempdb in this process empties it: a server run
// starts with no global temporary table, as after a restart of SQL Server.
// Dropping the tables rather than deleting the file keeps outside readers
// that still hold it open on the same file.
bool EmptyTempdbOnce(sqlite3 *handle, const QString &file, QString *error)
{
    static std::mutex mutex;
    static std::set<QString> emptied;
    std::lock_guard lock(mutex);
    const QString key = QFileInfo(file).absoluteFilePath();
    if (emptied.count(key))
        return true;
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(handle, "SELECT name FROM tempdb.sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_%'",
                           -1, &statement, nullptr) != SQLITE_OK) {
        *error = LastError(handle);
        return false;
    }
    std::vector<QString> tables;
    while (sqlite3_step(statement) == SQLITE_ROW)
        tables.push_back(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0))));
    sqlite3_finalize(statement);
    for (QString table : tables) {
        const QString drop = QStringLiteral("DROP TABLE tempdb.\"%1\"").arg(table.replace(QLatin1String("\""), QLatin1String("\"\"")));
        if (!ExecOn(handle, drop.toUtf8().constData(), error))
            return false;
    }
    emptied.insert(key);
    return true;
}

sqlite3 *OpenFile(const QString &file, int flags, QString *error)
{
    sqlite3 *handle = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &handle, flags, nullptr) != SQLITE_OK) {
        *error = LastError(handle);
        sqlite3_close(handle);
        return nullptr;
    }
    sqlite3_busy_timeout(handle, 5000);
    return handle;
}

// Copies all of `from` into `to` in one step; a writer on the source makes
// the step retry for up to about five seconds.
bool CopyDatabase(sqlite3 *to, sqlite3 *from, QString *error)
{
    sqlite3_backup *backup = sqlite3_backup_init(to, "main", from, "main");
    if (!backup) {
        *error = LastError(to);
        return false;
    }
    int rc = SQLITE_OK;
    for (int attempt = 0; attempt < 500; ++attempt) {
        rc = sqlite3_backup_step(backup, -1);
        if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE) {
        *error = QString::fromUtf8(sqlite3_errstr(rc));
        return false;
    }
    return true;
}

} // namespace

SqliteStatement SqliteDialect::Translate(const QString &text)
{
    return Translate(text, NamesTemporaryTable(text));
}

SqliteStatement SqliteDialect::Translate(const QString &text, bool temporaryTable)
{
    SqliteStatement statement;
    Translate(text, temporaryTable, statement);
    return statement;
}

void SqliteDialect::Translate(const QString &text, bool temporaryTable, SqliteStatement &statement)
{
    statement.kind = SqliteStatement::Kind::Query;
    statement.database = QString();
    statement.path = QString();
    const QStringView trimmed = Trimmed(text);
    if (StartsWithSpecialWord(trimmed)) {
        for (const Special &special : Specials()) {
            const QRegularExpressionMatch match = special.pattern.match(text);
            if (!match.hasMatch())
                continue;
            statement.kind = special.kind;
            statement.sql = QString();
            if (special.kind == SqliteStatement::Kind::Backup || special.kind == SqliteStatement::Kind::Restore) {
                statement.database = match.captured(1);
                statement.path = Unquote(match.captured(2));
            } else if (special.kind == SqliteStatement::Kind::Query) {
                statement.sql = QStringLiteral("UPDATE sysoptions SET Disabled=%2, Value=%3 WHERE Optioncode=%1")
                                    .arg(match.captured(1), match.captured(2), match.captured(3));
            }
            return;
        }
    }
    // The rewrites of CREATE texts never apply to a row's statement, the
    // commonest by far.
    const bool rowStatement = StartsWithRowWord(trimmed);
    QString code = text;
    if (temporaryTable && !rowStatement)
        QualifyIndexOnTemporaryTable(code);
    const bool tableRewrites = !rowStatement && NeedsTableRewrite(code);
    if (tableRewrites || temporaryTable)
        RewriteOutsideLiterals(code, tableRewrites, statement.sql);
    else
        statement.sql = code;
}

// A search for the one character, then a look at the next: far cheaper
// than a search for the two-character string, and it runs for every
// statement.
bool SqliteDialect::NamesTemporaryTable(QStringView text)
{
    for (qsizetype at = text.indexOf(QLatin1Char('#')); at >= 0 && at + 1 < text.size();
         at = text.indexOf(QLatin1Char('#'), at + 1)) {
        if (text[at + 1] == QLatin1Char('#'))
            return true;
    }
    return false;
}

bool SqliteDialect::WritesTemporaryTable(const QString &text)
{
    // Read by hand: it runs for every write of a storm of reports.
    QStringView rest = Trimmed(text);
    const auto takeWord = [&rest](QLatin1String w) {
        if (!StartsWithIgnoringCase(rest, w) || rest.size() == w.size() || !rest[w.size()].isSpace())
            return false;
        rest = Trimmed(rest.mid(w.size()));
        return true;
    };
    if (takeWord(QLatin1String("insert")))
        takeWord(QLatin1String("into"));
    else if (takeWord(QLatin1String("delete")))
        takeWord(QLatin1String("from"));
    else if (!takeWord(QLatin1String("update")))
        return false;
    return rest.startsWith(QLatin1String("##"));
}

QString SqliteDialect::DatabaseFile(const QString &directory, const QString &database)
{
    return QDir(directory).filePath(database.toLower() + QStringLiteral(".db"));
}

QString SqliteDialect::TempdbFile(const QString &directory)
{
    return QDir(directory).filePath(QStringLiteral("tempdb.db"));
}

bool SqliteDialect::PrepareConnection(sqlite3 *handle, const QString &directory, bool mainIsFile, QString *error)
{
    sqlite3_busy_timeout(handle, 5000);
    // WAL: the PMS poller's connection and outside readers read while the
    // server writes, and never see "database is locked".
    if (mainIsFile && !ExecOn(handle, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;", error))
        return false;
    sqlite3_stmt *attach = nullptr;
    if (sqlite3_prepare_v2(handle, "ATTACH DATABASE ?1 AS tempdb", -1, &attach, nullptr) != SQLITE_OK) {
        *error = LastError(handle);
        return false;
    }
    const QByteArray tempdb = TempdbFile(directory).toUtf8();
    sqlite3_bind_text(attach, 1, tempdb.constData(), static_cast<int>(tempdb.size()), SQLITE_TRANSIENT);
    const int rc = sqlite3_step(attach);
    sqlite3_finalize(attach);
    if (rc != SQLITE_DONE) {
        *error = LastError(handle);
        return false;
    }
    // The live-room state is rebuilt at every start: no need to sync it.
    if (!ExecOn(handle, "PRAGMA tempdb.journal_mode=WAL; PRAGMA tempdb.synchronous=OFF;", error))
        return false;
    if (!EmptyTempdbOnce(handle, TempdbFile(directory), error))
        return false;
    if (sqlite3_create_function_v2(handle, "col_length", 2, SQLITE_UTF8, nullptr, ColLength, nullptr, nullptr,
                                   nullptr) != SQLITE_OK) {
        *error = LastError(handle);
        return false;
    }
    return true;
}

bool SqliteDialect::DeclaredBit(const char *declared)
{
    return declared && QString::fromUtf8(declared).remove(QLatin1Char('[')).remove(QLatin1Char(']')).trimmed()
                               .compare(QLatin1String("bit"), Qt::CaseInsensitive) == 0;
}

void SqliteDialect::TypeBitColumns(const QSqlQuery &query, QSqlRecord &columns)
{
    const QVariant handle = query.result() ? query.result()->handle() : QVariant();
    if (qstrcmp(handle.typeName(), "sqlite3_stmt*") != 0)
        return;
    sqlite3_stmt *statement = *static_cast<sqlite3_stmt *const *>(handle.constData());
    if (!statement)
        return;
    const int count = std::min(columns.count(), sqlite3_column_count(statement));
    for (int column = 0; column < count; ++column) {
        if (!DeclaredBit(sqlite3_column_decltype(statement, column)))
            continue;
        QSqlField field = columns.field(column);
        field.setMetaType(QMetaType(QMetaType::Bool));
        columns.replace(column, field);
    }
}

bool SqliteDialect::Backup(const QString &databaseFile, const QString &target, QString *error)
{
    if (!QFileInfo::exists(databaseFile)) {
        *error = QStringLiteral("Database '%1' does not exist.").arg(databaseFile);
        return false;
    }
    sqlite3 *from = OpenFile(databaseFile, SQLITE_OPEN_READONLY, error);
    if (!from)
        return false;
    // Written beside the target and renamed over it: a failed backup never
    // leaves half a file under the chosen name.
    const QString part = target + QStringLiteral(".part");
    QFile::remove(part);
    sqlite3 *to = OpenFile(part, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, error);
    bool ok = to && CopyDatabase(to, from, error) && ExecOn(to, "PRAGMA journal_mode=DELETE", error);
    sqlite3_close(to);
    sqlite3_close(from);
    if (ok && std::rename(QFile::encodeName(part).constData(), QFile::encodeName(target).constData()) != 0) {
        *error = QStringLiteral("Cannot open backup device '%1'.").arg(target);
        ok = false;
    }
    if (!ok)
        QFile::remove(part);
    return ok;
}

bool SqliteDialect::Restore(const QString &source, const QString &databaseFile, QString *error)
{
    QString file = source;
    // The repair statement names the file Windows-style ("<dir>\velto.bak").
    if (!QFileInfo::exists(file) && file.contains(QLatin1Char('\\')))
        file.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!QFileInfo(file).isFile()) {
        *error = QStringLiteral("Cannot open backup device '%1'. Operating system error 2(The system cannot find the file specified.).").arg(source);
        return false;
    }
    sqlite3 *from = OpenFile(file, SQLITE_OPEN_READONLY, error);
    if (!from)
        return false;
    if (!ExecOn(from, "SELECT count(*) FROM sqlite_master", error)) {
        *error = QStringLiteral("The media family on device '%1' is incorrectly formed.").arg(source);
        sqlite3_close(from);
        return false;
    }
    sqlite3 *to = OpenFile(databaseFile, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, error);
    const bool ok = to && CopyDatabase(to, from, error) && ExecOn(to, "PRAGMA journal_mode=WAL", error);
    sqlite3_close(to);
    sqlite3_close(from);
    return ok;
}

} // namespace database
