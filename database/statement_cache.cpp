#include "database/statement_cache.h"

#include "database/ascii_words.h"
#include "database/result_rows.h"
#include "database/sqlite_dialect.h"

#include <sqlite3.h>

#include <algorithm>

namespace database {
namespace {

QString ErrorText(sqlite3 *handle)
{
    return QString::fromUtf8(sqlite3_errmsg(handle));
}

} // namespace

void StatementCache::Clear()
{
    for (sqlite3_stmt *statement : std::as_const(m_statements))
        sqlite3_finalize(statement);
    m_statements.clear();
    m_handle = nullptr;
    for (int i = 0; i < m_recentCount; ++i)
        m_recent[static_cast<size_t>(i)].text.clear();
    m_recentCount = 0;
    m_lastRecent = -1;
}

// The statements of a datagram come in much the same order every time, so
// the two shapes that came after the last one are tried first.
sqlite3_stmt *StatementCache::Recent(const QString &sql)
{
    int guesses[2] = {-1, -1};
    if (m_lastRecent >= 0) {
        const RecentShape &last = m_recent[static_cast<size_t>(m_lastRecent)];
        guesses[0] = last.next;
        guesses[1] = last.otherNext;
    }
    for (const int guess : guesses) {
        if (guess < 0)
            continue;
        const RecentShape &recent = m_recent[static_cast<size_t>(guess)];
        if (SameShape(sql, recent.text, recent.shape, m_shape))
            return Use(guess);
    }
    for (int index = 0; index < m_recentCount; ++index) {
        const RecentShape &recent = m_recent[static_cast<size_t>(index)];
        if (index != guesses[0] && index != guesses[1] && SameShape(sql, recent.text, recent.shape, m_shape))
            return Use(index);
    }
    return nullptr;
}

sqlite3_stmt *StatementCache::Use(int index)
{
    if (m_lastRecent >= 0) {
        RecentShape &last = m_recent[static_cast<size_t>(m_lastRecent)];
        if (last.next != index) {
            last.otherNext = last.next;
            last.next = index;
        }
    }
    m_lastRecent = index;
    RecentShape &recent = m_recent[static_cast<size_t>(index)];
    recent.lastUse = ++m_uses;
    return recent.statement;
}

// In the place of the one used longest ago.
void StatementCache::Remember(const QString &sql, sqlite3_stmt *statement)
{
    int index = m_recentCount;
    if (m_recentCount < kRecentShapes) {
        ++m_recentCount;
    } else {
        index = 0;
        for (int i = 1; i < kRecentShapes; ++i) {
            if (m_recent[static_cast<size_t>(i)].lastUse < m_recent[static_cast<size_t>(index)].lastUse)
                index = i;
        }
    }
    RecentShape &recent = m_recent[static_cast<size_t>(index)];
    recent.text = sql;
    recent.shape.count = m_shape.count;
    std::copy_n(m_shape.literals.begin(), m_shape.count, recent.shape.literals.begin());
    recent.statement = statement;
    recent.next = -1;
    recent.otherNext = -1;
    Use(index);
}

sqlite3_stmt *StatementCache::Prepared(sqlite3 *handle)
{
    if (handle != m_handle) {
        Clear();
        m_handle = handle;
    }
    if (sqlite3_stmt *statement = m_statements.value(m_shape.key))
        return statement;
    sqlite3_stmt *statement = nullptr;
    const auto bytes = static_cast<int>(m_shape.key.size() * static_cast<qsizetype>(sizeof(QChar)));
    const char16_t *rest = nullptr;
    if (sqlite3_prepare16_v3(handle, m_shape.key.utf16(), bytes, SQLITE_PREPARE_PERSISTENT, &statement,
                             reinterpret_cast<const void **>(&rest)) != SQLITE_OK
        || !statement) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    // A second statement after the first: the text runs as it is, which
    // refuses it.
    if (!OnlyBlanks(rest, reinterpret_cast<const char16_t *>(m_shape.key.utf16()) + m_shape.key.size())) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    if (m_statements.size() >= kMaxShapes) {
        Clear();
        m_handle = handle;
    }
    m_statements.insert(m_shape.key, statement);
    return statement;
}

bool StatementCache::Step(sqlite3 *handle, sqlite3_stmt *statement, int *changes, QString *failure)
{
    int rc = SQLITE_ROW;
    while (rc == SQLITE_ROW)
        rc = sqlite3_step(statement);
    const bool ok = rc == SQLITE_DONE;
    if (ok)
        *changes = sqlite3_changes(handle);
    else
        *failure = ErrorText(handle);
    return ok;
}

// One statement, parsed for this run only.
bool StatementCache::RunAsItIs(sqlite3 *handle, const QString &sql, int *changes, QString *failure)
{
    sqlite3_stmt *statement = nullptr;
    if (!PrepareOneStatement(handle, sql, &statement, failure))
        return false;
    const bool ok = !statement || Step(handle, statement, changes, failure);
    sqlite3_finalize(statement);
    return ok;
}

bool StatementCache::Run(sqlite3 *handle, const QString &sql, int *changes, QString *failure)
{
    *changes = 0;
    sqlite3_stmt *statement = handle == m_handle ? Recent(sql) : nullptr;
    if (!statement) {
        statement = ShapeOf(sql, m_shape) ? Prepared(handle) : nullptr;
        if (!statement)
            return RunAsItIs(handle, sql, changes, failure);
        Remember(sql, statement);
    }
    return RunBound(handle, statement, sql, changes, failure);
}

bool StatementCache::RunWritten(sqlite3 *handle, const QString &written, SqliteStatement &translated, int *changes,
                                QString *failure)
{
    *changes = 0;
    if (sqlite3_stmt *statement = handle == m_handle ? Recent(written) : nullptr)
        return RunBound(handle, statement, written, changes, failure);
    SqliteDialect::Translate(written, true, translated);
    const QString &sql = translated.sql;
    sqlite3_stmt *statement = ShapeOf(sql, m_shape) ? Prepared(handle) : nullptr;
    if (!statement)
        return RunAsItIs(handle, sql, changes, failure);
    // Not remembered by the translation: no text of written's kind would
    // ever be held against it.
    if (!PlaceInWritten(written, sql))
        return RunBound(handle, statement, sql, changes, failure);
    Remember(written, statement);
    return RunBound(handle, statement, written, changes, failure);
}

// The shape's literals, found in `sql`, placed where they stand in `written`
// when `sql` is `written` with each ## outside its quotes spelt tempdb.
// (the translation of a write of global temporary tables), and its only
// quotes are those of the lifted text values. Then every other text of
// written's shape translates to a text of sql's, its literals in the same
// order: the ## of each stretch between two literals are renamed alike
// whatever the literals are, and a value's ## stay as they are. Anything
// else and the shape is left as it was, false.
bool StatementCache::PlaceInWritten(const QString &written, const QString &sql)
{
    const QLatin1String schema("tempdb.");
    const QChar *from = written.constData();
    const QChar *to = sql.constData();
    const qsizetype fromSize = written.size();
    const qsizetype toSize = sql.size();
    std::array<qsizetype, StatementShape::kMaxLiterals> places{};
    int next = 0;
    bool quoted = false;
    qsizetype quotes = 0;
    qsizetype w = 0, t = 0;
    for (;;) {
        if (next < m_shape.count && m_shape.literals[static_cast<size_t>(next)].at == t)
            places[static_cast<size_t>(next++)] = w;
        if (w == fromSize)
            break;
        if (!quoted && from[w] == u'#' && w + 1 < fromSize && from[w + 1] == u'#') {
            if (toSize - t < schema.size() || QStringView(to + t, schema.size()) != schema)
                return false;
            t += schema.size();
            w += 2;
            continue;
        }
        if (from[w] == u'\'') {
            quoted = !quoted;
            ++quotes;
        }
        if (t == toSize || to[t] != from[w])
            return false;
        ++t;
        ++w;
    }
    if (t != toSize || next != m_shape.count)
        return false;
    // The renaming tells a value's quotes by counting them, as the shape
    // does not: a quote anywhere else (in a comment, a quoted name, a value
    // left in the text) would have it take a stretch for a value, or a later
    // text's value for a stretch. So every quote must be one of a lifted
    // value's two, and every value there as it is.
    int texts = 0;
    for (int i = 0; i < m_shape.count; ++i) {
        const StatementShape::Literal &literal = m_shape.literals[static_cast<size_t>(i)];
        const qsizetype place = places[static_cast<size_t>(i)];
        if (place + literal.length > fromSize
            || QStringView(from + place, literal.length) != QStringView(to + literal.at, literal.length))
            return false;
        if (literal.kind != StatementShape::Literal::Kind::Text)
            continue;
        if (place == 0 || from[place - 1] != u'\'' || place + literal.length == fromSize
            || from[place + literal.length] != u'\'')
            return false;
        ++texts;
    }
    if (quotes != 2 * texts)
        return false;
    for (int i = 0; i < m_shape.count; ++i)
        m_shape.literals[static_cast<size_t>(i)].at = places[static_cast<size_t>(i)];
    return true;
}

// `text` is the one m_shape's literals were found in.
bool StatementCache::RunBound(sqlite3 *handle, sqlite3_stmt *statement, const QString &text, int *changes,
                              QString *failure)
{
    EncodeTexts(text);
    size_t utf8At = 0;
    bool boundText = false;
    for (int i = 0; i < m_shape.count; ++i) {
        const StatementShape::Literal &literal = m_shape.literals[static_cast<size_t>(i)];
        int rc = SQLITE_OK;
        if (literal.kind == StatementShape::Literal::Kind::Integer) {
            rc = sqlite3_bind_int64(statement, i + 1, literal.integer);
        } else {
            const size_t length = m_utf8Lengths[static_cast<size_t>(i)];
            rc = sqlite3_bind_text(statement, i + 1, m_utf8.data() + utf8At, static_cast<int>(length), SQLITE_STATIC);
            utf8At += length;
            boundText = true;
        }
        if (rc != SQLITE_OK) {
            *failure = ErrorText(handle);
            sqlite3_clear_bindings(statement);
            return false;
        }
    }
    const bool ok = Step(handle, statement, changes, failure);
    sqlite3_reset(statement);
    // The text values point into m_utf8, which the next statement rewrites;
    // integers hold nothing of ours, and the next run binds every value.
    if (boundText)
        sqlite3_clear_bindings(statement);
    return ok;
}

// The text literals in UTF-8, one after the other: the database's own
// encoding, so SQLite stores them without a conversion (and an allocation)
// of its own. A shape lifts no literal with a surrogate, so each UTF-16 unit
// is a whole character of one to three bytes.
void StatementCache::EncodeTexts(const QString &sql)
{
    const QChar *text = sql.constData();
    size_t used = 0;
    for (int i = 0; i < m_shape.count; ++i) {
        const StatementShape::Literal &literal = m_shape.literals[static_cast<size_t>(i)];
        if (literal.kind != StatementShape::Literal::Kind::Text)
            continue;
        const size_t most = used + 3 * static_cast<size_t>(literal.length);
        if (m_utf8.size() < most)
            m_utf8.resize(most);
        char *const start = m_utf8.data() + used;
        char *out = start;
        for (qsizetype at = literal.at; at < literal.at + literal.length; ++at) {
            const char16_t u = text[at].unicode();
            if (u < 0x80) {
                *out++ = static_cast<char>(u);
            } else if (u < 0x800) {
                *out++ = static_cast<char>(0xC0 | (u >> 6));
                *out++ = static_cast<char>(0x80 | (u & 0x3F));
            } else {
                *out++ = static_cast<char>(0xE0 | (u >> 12));
                *out++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
                *out++ = static_cast<char>(0x80 | (u & 0x3F));
            }
        }
        m_utf8Lengths[static_cast<size_t>(i)] = static_cast<size_t>(out - start);
        used += static_cast<size_t>(out - start);
    }
}

} // namespace database
