// Any write text, then the same with other digits, through the statement
// cache and, as they are, through sqlite3 on a twin database: both must
// succeed or fail alike and leave the same rows. The first byte picks the
// statement's opening words, the rest is the text after them. A write of a
// global temporary table (##w) goes to the cache as written and to sqlite3
// as the dialect translates it.
#include "database/sqlite_dialect.h"
#include "database/statement_cache.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <sqlite3.h>
#include <string>

namespace {

constexpr const char *kOpenings[] = {"insert into t", "update t set", "delete from t", "insert into u", "",
                                     "insert into ##w", "update ##w set"};
constexpr size_t kFirstWrittenOpening = 5;

// Functions whose value differs from one call to the next.
constexpr const char *kVolatile[] = {"random", "now", "current_", "changes", "last_insert"};

sqlite3 *Twin()
{
    sqlite3 *handle = nullptr;
    sqlite3_open(":memory:", &handle);
    sqlite3_exec(handle,
                 "create table t(i int primary key, s varchar(20), r real, n int default 7 check (n < 1000));"
                 "create table u(a int, b text unique);"
                 "insert into t values(1, 'a', 1.5, 1), (2, '2', null, 2), (3, 'c', 3, 3);"
                 "insert into u values(1, 'x'), (2, 'y');"
                 "attach ':memory:' as tempdb;"
                 "create table tempdb.w(i int, s varchar(20), n int);"
                 "insert into tempdb.w values(1, 'a', 1), (2, '##', 2)",
                 nullptr, nullptr, nullptr);
    // A bound on the work of one statement; the two sides count their
    // steps differently, so a statement stopped by it proves nothing.
    sqlite3_progress_handler(handle, 100000, [](void *) { return 1; }, nullptr);
    return handle;
}

std::string Rows(sqlite3 *handle)
{
    std::string rows;
    sqlite3_stmt *statement = nullptr;
    sqlite3_progress_handler(handle, 0, nullptr, nullptr);
    sqlite3_prepare_v2(handle,
                       "select typeof(i)||quote(i)||typeof(s)||quote(s)||quote(r)||quote(n) from t "
                       "union all select quote(a)||quote(b) from u "
                       "union all select quote(i)||quote(s)||quote(n) from tempdb.w",
                       -1, &statement, nullptr);
    while (sqlite3_step(statement) == SQLITE_ROW)
        rows += reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)) + std::string("|");
    sqlite3_finalize(statement);
    return rows;
}

// The cache's rule: only blanks and semicolons may follow the statement; a
// NUL, where SQLite stops reading, is not one of them.
bool OnlyBlanks(const char16_t *rest, const char16_t *end)
{
    for (; rest && rest < end; ++rest) {
        if (*rest == 0 || *rest > 0x7F || !std::strchr(" \t\n\r\f\v;", static_cast<char>(*rest)))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t opening = data[0] % std::size(kOpenings);
    const bool written = opening >= kFirstWrittenOpening;
    const QString first = QString::fromLatin1(kOpenings[opening])
                       + QString::fromUtf8(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1));
    for (const char *name : kVolatile) {
        if (first.contains(QLatin1String(name), Qt::CaseInsensitive))
            return 0;
    }
    sqlite3 *cached = Twin();
    sqlite3 *plain = Twin();
    bool compare = true;
    bool cachedOk = false;
    bool plainOk = false;
    {
        database::StatementCache cache;
        database::SqliteStatement translated;
        int changes = 0;
        QString failure;
        // Again: the second run finds the shape prepared, and is held
        // against the first text with each digit one more (9 to 0), as the
        // values of the next statement of one shape differ.
        QString next = first;
        for (QChar &c : next) {
            if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
                c = c == QLatin1Char('9') ? QLatin1Char('0') : QChar(c.unicode() + 1);
        }
        // A third run has every q made ##: values that hold ## after a shape
        // learnt from values that did not.
        QString hashed = first;
        hashed.replace(QLatin1Char('q'), QLatin1String("##"));
        for (int run = 0; run < 3 && compare; ++run) {
            const QString &given = run == 0 ? first : run == 1 ? next : hashed;
            cachedOk = written ? cache.RunWritten(cached, given, translated, &changes, &failure)
                               : cache.Run(cached, given, &changes, &failure);
            const QString text = written ? database::SqliteDialect::Translate(given).sql : given;
            // As Qt's driver runs a text: UTF-16, parsed for this run.
            const auto *utf16 = reinterpret_cast<const char16_t *>(text.utf16());
            sqlite3_stmt *statement = nullptr;
            const char16_t *rest = nullptr;
            int rc = sqlite3_prepare16_v2(plain, utf16, static_cast<int>(text.size() * 2), &statement,
                                          reinterpret_cast<const void **>(&rest));
            const bool empty = rc == SQLITE_OK && !statement;
            if (rc == SQLITE_OK && OnlyBlanks(rest, utf16 + text.size())) {
                rc = SQLITE_DONE;
                while (statement && (rc = sqlite3_step(statement)) == SQLITE_ROW) {
                }
            } else if (rc == SQLITE_OK) {
                rc = SQLITE_ERROR; // several statements: refused
            }
            sqlite3_finalize(statement);
            plainOk = rc == SQLITE_DONE;
            if (rc == SQLITE_INTERRUPT || failure == QLatin1String("interrupted"))
                compare = false;
            else if (cachedOk != plainOk || (cachedOk && !empty && changes != sqlite3_changes(plain)))
                std::abort();
        }
        cache.Clear();
    }
    if (compare && Rows(cached) != Rows(plain))
        std::abort();
    sqlite3_close(cached);
    sqlite3_close(plain);
    return 0;
}
