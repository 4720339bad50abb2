// Prepared statements shared by the texts of one shape: what is lifted, what
// runs as it is, and that a shaped statement leaves the database exactly as
// its text would (checked against sqlite3_exec on a twin database).
#include "database/db_connection.h"
#include "database/sqlite_dialect.h"
#include "database/statement_cache.h"
#include "database_fixture.h"

#include <QDir>
#include <QFile>
#include <sqlite3.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

using database::SameShape;
using database::ShapeOf;
using database::StatementCache;
using database::StatementShape;
using Literal = StatementShape::Literal;

// A literal as the test spells it: the integer, or the text in quotes.
QStringList Lifted(const QString &sql, const StatementShape &shape)
{
    QStringList values;
    for (int i = 0; i < shape.count; ++i) {
        const Literal &literal = shape.literals[static_cast<size_t>(i)];
        values.push_back(literal.kind == Literal::Kind::Integer
                             ? QString::number(literal.integer)
                             : u'\'' + sql.mid(literal.at, literal.length) + u'\'');
    }
    return values;
}

TEST(StatementShape, LiftsIntegersAndPlainStrings)
{
    struct Case {
        const char16_t *sql;
        const char16_t *key;
        std::vector<const char16_t *> values;
    };
    const std::vector<Case> cases = {
        {u"Insert into event_msg_list(build_num, floor_num, room_num, msg_type, msg_title, card_sn, card_id)"
         u"values(1, 2, 3, 25, '门磁打开', -1000, 1)",
         u"Insert into event_msg_list(build_num, floor_num, room_num, msg_type, msg_title, card_sn, card_id)"
         u"values(?, ?, ?, ?, ?, -?, ?)",
         {u"1", u"2", u"3", u"25", u"'门磁打开'", u"1000", u"1"}},
        {u"update tempdb.REALTIMEROOM set\r\nDOOR =1\r\nwhere build = 1 and floor = 12 and roomnum =40\r\n",
         u"update tempdb.REALTIMEROOM set\r\nDOOR =?\r\nwhere build = ? and floor = ? and roomnum =?\r\n",
         {u"1", u"1", u"12", u"40"}},
        // Digits inside names, quoted names and comments are not values.
        {u"update t2 set [col 3]=4, \"x5\"=6, `y7`=8 -- 9\nwhere a_10=11 /* 12 */",
         u"update t2 set [col 3]=?, \"x5\"=?, `y7`=? -- 9\nwhere a_10=? /* 12 */",
         {u"4", u"6", u"8", u"11"}},
        // Numbers that are not plain integers, and strings of another kind
        // or with an embedded quote, stay where they are.
        {u"insert into t values(1.5, .5, 1e3, 2E-4, 0x1F, 12abc, x'0A', N'wide', 'it''s', '')",
         u"insert into t values(1.5, .5, 1e3, 2E-4, 0x1F, 12abc, x'0A', N'wide', 'it''s', ?)",
         {u"''"}},
        // Values bound as UTF-16 that SQLite would read otherwise (a byte-order
        // mark, a lone surrogate), and a string a word runs into.
        {u"insert into t values('\uFEFFa', '\uFFFEb', 'c\xD800" u"', 'k'7e0, 'd')",
         u"insert into t values('\uFEFFa', '\uFFFEb', 'c\xD800" u"', 'k'7e0, ?)",
         {u"'d'"}},
        {u"delete from t where a=123456789012345678 or a=1234567890123456789",
         u"delete from t where a=? or a=1234567890123456789",
         {u"123456789012345678"}},
    };
    StatementShape shape;
    for (const Case &c : cases) {
        const QString sql = QString::fromUtf16(c.sql);
        ASSERT_TRUE(ShapeOf(sql, shape)) << sql.toStdString();
        EXPECT_EQ(shape.key, QString::fromUtf16(c.key));
        QStringList values;
        for (const char16_t *value : c.values)
            values.push_back(QString::fromUtf16(value));
        EXPECT_EQ(Lifted(sql, shape), values) << sql.toStdString();
    }
}

TEST(StatementShape, RefusesTextsThatMustRunAsTheyAre)
{
    std::string manyLiterals = "insert into t values(0";
    for (int i = 1; i <= StatementShape::kMaxLiterals; ++i)
        manyLiterals += "," + std::to_string(i);
    manyLiterals += ")";
    const char *const refused[] = {
        "insert into t values(?)",
        "insert into t values(:a)",
        "insert into t values(@a)",
        "insert into t values($a)",
        "insert into t values(#1)",
        "insert into t select a from u order by 1",
        "insert into t select a, count(*) from u group\nby 1",
        "insert into t values('open",
        "insert into t values(1) /* open",
        "insert into [t values(1)",
        manyLiterals.c_str(),
    };
    StatementShape shape;
    for (const char *sql : refused)
        EXPECT_FALSE(ShapeOf(QString::fromUtf8(sql), shape)) << sql;
}

// Whether ShapeOf gives `sql` the key `key`, and the literals `shape` holds.
bool ShapeOfAgrees(const QString &sql, const QString &key, const StatementShape &shape)
{
    StatementShape own;
    if (!ShapeOf(sql, own) || own.key != key || own.count != shape.count)
        return false;
    return Lifted(sql, own) == Lifted(sql, shape);
}

// A text held against a known text of a shape: taken as that shape only
// where ShapeOf would give it the same key, with the values ShapeOf lifts.
TEST(StatementShape, ATextHeldAgainstAKnownOneIsTakenOnlyWhereShapeOfAgrees)
{
    using namespace std::literals;
    const QString known = QString::fromUtf16(u"insert into t(i, s, r) values(12, '门磁', 3) -- 4\nwhere b=5");
    StatementShape knownShape;
    ASSERT_TRUE(ShapeOf(known, knownShape));
    struct Case {
        std::u16string_view sql;
        bool same;
    };
    const Case cases[] = {
        {u"insert into t(i, s, r) values(7, '', 123456789012345678) -- 4\nwhere b=5"sv, true},
        {u"insert into t(i, s, r) values(007, 'it is', 3) -- 4\nwhere b=55"sv, true},
        // What ShapeOf keeps as it stands where the known text had a value,
        // and texts that differ outside the values.
        {u"insert into t(i, s, r) values(1.5, '门磁', 3) -- 4\nwhere b=5"sv, false},
        {u"insert into t(i, s, r) values(12e3, '门磁', 3) -- 4\nwhere b=5"sv, false},
        {u"insert into t(i, s, r) values(12, '门磁', 1234567890123456789) -- 4\nwhere b=5"sv, false},
        {u"insert into t(i, s, r) values(12, 'it''s', 3) -- 4\nwhere b=5"sv, false},
        {u"insert into t(i, s, r) values(12, '\uFEFFbom', 3) -- 4\nwhere b=5"sv, false},
        {u"insert into t(i, s, r) values(12, 'lone\xD800" u"', 3) -- 4\nwhere b=5"sv, false},
        {u"insert into t(i, s, r) values(12, 'a\0b', 3) -- 4\nwhere b=5"sv, false},
        {u"insert into t(i, s, r) values(, '门磁', 3) -- 4\nwhere b=5"sv, false},
        {u"insert into t(i, s, r) values(12, '门磁', 3) -- 4\nwhere b=5 "sv, false},
        {u"insert into t(i, s, r) values(12, '门磁', 3) -- 4\nwhere b="sv, false},
        {u"insert into t(i, s, r) values(12, '门磁, 3) -- 4\nwhere b=5"sv, false},
        {u"insert into t(i, s, r) values(12, '门磁', 3) -- 4\nwhere by=5"sv, false},
    };
    for (const Case &c : cases) {
        const QString sql = QStringView(c.sql).toString();
        StatementShape shape;
        EXPECT_EQ(SameShape(sql, known, knownShape, shape), c.same) << sql.toStdString();
        if (c.same) {
            EXPECT_TRUE(ShapeOfAgrees(sql, knownShape.key, shape)) << sql.toStdString();
        }
    }

    // Known texts and their neighbours one character away: a change, an
    // insertion or a removal anywhere. Whatever is taken, ShapeOf agrees.
    const QString knownTexts[] = {
        known,
        QStringLiteral("update tempdb.REALTIMEROOM set\r\nDOOR =1\r\nwhere build = 1 and floor = 12 and roomnum =40\r\n"),
        QString::fromUtf16(u"insert into t values(-1, 'a', x'0A', [c 1], \"d2\", `e3`, 4 /* 5 */, .6, 7)"),
        QStringLiteral("insert into t values('','',0,'')"),
    };
    const QChar replacements[] = {u'0', u'9', u'\'', u'.', u'e', u'b', u'y', u'x', u'-', u' ', u'\0', u'$', u'?', u'#',
                                  u'[', u']', u'"', u'/', u'*', u'\n', QChar(0xFEFF), QChar(0xD800), QChar(0x95E8)};
    int taken = 0;
    for (const QString &base : knownTexts) {
        ASSERT_TRUE(ShapeOf(base, knownShape)) << base.toStdString();
        for (qsizetype at = 0; at <= base.size(); ++at) {
            for (const QChar replacement : replacements) {
                QString variants[3] = {base, base, base};
                if (at < base.size())
                    variants[0][at] = replacement;
                variants[1].insert(at, replacement);
                if (at < base.size())
                    variants[2].remove(at, 1);
                for (const QString &sql : variants) {
                    StatementShape shape;
                    if (!SameShape(sql, base, knownShape, shape))
                        continue;
                    ++taken;
                    ASSERT_TRUE(ShapeOfAgrees(sql, knownShape.key, shape)) << sql.toStdString();
                }
            }
        }
    }
    EXPECT_GT(taken, 100); // the neighbours that are only other values
}

// Two SQLite files made alike: one written through the cache, the other by
// sqlite3_exec on the same texts.
class StatementCacheTest : public TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        m_cached = Open("cached.db");
        m_plain = Open("plain.db");
        for (sqlite3 *handle : {m_cached, m_plain})
            ASSERT_EQ(sqlite3_exec(handle,
                                   "create table t(i int, s varchar(20), r real, n int default 7);"
                                   "create table u(a int, b text)",
                                   nullptr, nullptr, nullptr),
                      SQLITE_OK);
    }
    void TearDown() override
    {
        m_cache.Clear();
        sqlite3_close(m_cached);
        sqlite3_close(m_plain);
        TempDirTest::TearDown();
    }
    sqlite3 *Open(const char *name)
    {
        sqlite3 *handle = nullptr;
        sqlite3_open(QDir(Path()).filePath(QString::fromLatin1(name)).toUtf8().constData(), &handle);
        return handle;
    }
    // Each row of the query's one column, a line each.
    static std::string Lines(sqlite3 *handle, const char *query)
    {
        std::string rows;
        sqlite3_stmt *statement = nullptr;
        sqlite3_prepare_v2(handle, query, -1, &statement, nullptr);
        while (sqlite3_step(statement) == SQLITE_ROW)
            rows += reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)) + std::string("\n");
        sqlite3_finalize(statement);
        return rows;
    }
    static std::string Rows(sqlite3 *handle)
    {
        return Lines(handle, "select typeof(i)||':'||quote(i)||' '||typeof(s)||':'||quote(s)||' '||quote(r)||' '||"
                             "quote(n) from t order by rowid");
    }
    static std::string TemporaryRows(sqlite3 *handle)
    {
        return Lines(handle, "select typeof(i)||':'||quote(i)||' '||typeof(s)||':'||quote(s)||' '||typeof(n)||':'||"
                             "quote(n) from tempdb.w order by rowid");
    }
    // The text as Qt's driver runs it: UTF-16, parsed for this run.
    bool RunPlain(const QString &text)
    {
        sqlite3_stmt *statement = nullptr;
        int rc = sqlite3_prepare16_v2(m_plain, text.utf16(), static_cast<int>(text.size() * 2), &statement, nullptr);
        while (rc == SQLITE_OK && statement && (rc = sqlite3_step(statement)) == SQLITE_ROW) {
        }
        sqlite3_finalize(statement);
        return rc == SQLITE_OK || rc == SQLITE_DONE;
    }
    static int PreparedStatements(sqlite3 *handle)
    {
        int count = 0;
        for (sqlite3_stmt *s = sqlite3_next_stmt(handle, nullptr); s; s = sqlite3_next_stmt(handle, s))
            ++count;
        return count;
    }

    StatementCache m_cache;
    sqlite3 *m_cached = nullptr;
    sqlite3 *m_plain = nullptr;
};

TEST_F(StatementCacheTest, ShapedWritesLeaveWhatTheirTextsLeave)
{
    // Literals of every kind against the columns' affinities, and texts of
    // one shape with different values one after another.
    const char16_t *const texts[] = {
        u"insert into t(i, s, r) values(1, 'a', 1.5)",
        u"insert into t(i, s, r) values(2, '门磁打开', 2)",
        u"insert into t(i, s, r) values('3', 4, '4.5')",
        u"insert into t(i, s, r) values(-5, '', -0)",
        u"insert into t(i, s, r) values('x', 'it''s', 1e2)",
        u"insert into t(i, s, r) values(123456789012345678, '00012', 0012)",
        u"insert into t(i, s) values(6, x'41')",
        u"insert into t values(7, 'b', null, 8)",
        u"update t set s = 'c' where i = '1'",
        u"update t set r = r + 1 where s = 4",
        u"update t set n = n * 2 where i in (2, 3, 7) and s like '%'",
        u"insert into t(i, s) select a, b from u where a > 0",
        u"insert into u values(9, 'u9'); ",
        u"insert into t(i, s) select a, b from u where a > 0",
        u"delete from t where i = 6 or s = '00012'",
        u"insert into t(nope) values(1)",
        u"update t set i = 1 where",
        u"insert into t(i, s) values(8, '\uFEFFbom')",
        u"insert into t(i, s) values(9, '\uFFFEswapped')",
        u"insert into t(i, s) values(10, 'lone\xD800" u"')",
        u"update t set s = (select 'k'7e0)",
        u"insert into t(i, s) select 11, 'x'12abc",
    };
    for (const char16_t *sql : texts) {
        const QString text = QString::fromUtf16(sql);
        int changes = -1;
        QString failure;
        const bool ok = m_cache.Run(m_cached, text, &changes, &failure);
        const bool plainOk = RunPlain(text);
        EXPECT_EQ(ok, plainOk) << text.toStdString() << ": " << failure.toStdString();
        if (ok)
            EXPECT_EQ(changes, sqlite3_changes(m_plain)) << text.toStdString();
        else
            EXPECT_EQ(failure.toStdString(), sqlite3_errmsg(m_plain)) << text.toStdString();
        ASSERT_EQ(Rows(m_cached), Rows(m_plain)) << "after " << text.toStdString();
    }
}

// A value that closed its quote early must not bring a statement of its
// own, whether the text has a shape or not.
TEST_F(StatementCacheTest, RefusesATextOfSeveralStatements)
{
    ASSERT_EQ(sqlite3_exec(m_cached, "insert into t(i) values(1)", nullptr, nullptr, nullptr), SQLITE_OK);
    const char *const texts[] = {
        "insert into t(s) values('a'); delete from t",
        "insert into t(i) select 2 order by 1; delete from t",
        "insert into t(s) values('a');\n  ;delete from t",
    };
    for (const char *text : texts) {
        int changes = 0;
        QString failure;
        EXPECT_FALSE(m_cache.Run(m_cached, QString::fromUtf8(text), &changes, &failure)) << text;
        EXPECT_EQ(failure.toStdString(), "Unable to execute multiple statements at a time") << text;
    }
    EXPECT_EQ(Rows(m_cached), "integer:1 null:NULL NULL 7\n");
}

TEST_F(StatementCacheTest, TextsOfOneShapeShareOneStatement)
{
    for (int room = 1; room <= 200; ++room) {
        int changes = 0;
        QString failure;
        const QString text = QStringLiteral("insert into t(i, s) values(%1, 'room %1')").arg(room);
        ASSERT_TRUE(m_cache.Run(m_cached, text, &changes, &failure)) << failure.toStdString();
        EXPECT_EQ(changes, 1);
    }
    EXPECT_EQ(PreparedStatements(m_cached), 1);
    // Shapes beyond the bound start the cache again rather than grow it.
    for (int column = 0; column < 3 * StatementCache::kMaxShapes; ++column) {
        int changes = 0;
        QString failure;
        // A number with a fraction stays in the shape.
        const QString text = QStringLiteral("update t set r = r where r <> 1.%1").arg(column);
        ASSERT_TRUE(m_cache.Run(m_cached, text, &changes, &failure)) << failure.toStdString();
    }
    EXPECT_LE(PreparedStatements(m_cached), StatementCache::kMaxShapes);
    m_cache.Clear();
    EXPECT_EQ(PreparedStatements(m_cached), 0);
}

// Writes of a global temporary table given as the program wrote them: the
// cache translates a text only where its shape is new, and every text
// leaves what its translation run as it is leaves.
TEST_F(StatementCacheTest, WritesOfTemporaryTablesLeaveWhatTheirTranslationsLeave)
{
    for (sqlite3 *handle : {m_cached, m_plain})
        ASSERT_EQ(sqlite3_exec(handle,
                               "attach ':memory:' as tempdb; create table tempdb.w(i int, s varchar(20), n int)",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
    const char *const texts[] = {
        "insert into ##w values(1, 'a', 1)",
        "insert into ##w values(2, '##w', 2)",
        "update ##w set n =5\r\nwhere i = 1 and s = 'a'\r\n",
        "update ##w set n =6\r\nwhere i = 2 and s = '##w'\r\n",
        "update ##w set n = (select count(*) from ##w where i = 2) where i = 1",
        "update ##w set n = (select count(*) from ##w where i = 3) where i = 2",
        // A quote in a comment: the renaming takes it for a literal's, and
        // renames the ## of the literal after it.
        "insert into ##w values(4, 'tempdb.', 4)",
        "update ##w set n = 7 /* it's ##w */ where s = '##'",
        "update ##w set n = 8 /* it's ##w */ where s = 'a'",
        // The same, a value without ## first: the next text's ## value must
        // not be taken as written.
        "update ##w set n = 9 /* it's */ , s = 'a' where i = 1",
        "update ##w set n = 10 /* it's */ , s = '##b' where i = 1",
        "update ##w set \"it's\" = 1, s = 'c' where i = 2",
        "update ##w set \"it's\" = 1, s = '##d' where i = 2",
        "insert into ##w values(3, 'it''s', 3)",
        "insert into ##missing values(1)",
    };
    database::SqliteStatement translated;
    for (const char *sql : texts) {
        const QString text = QString::fromUtf8(sql);
        int changes = -1;
        QString failure;
        const bool ok = m_cache.RunWritten(m_cached, text, translated, &changes, &failure);
        const bool plainOk = RunPlain(database::SqliteDialect::Translate(text).sql);
        EXPECT_EQ(ok, plainOk) << sql << ": " << failure.toStdString();
        if (ok) {
            EXPECT_EQ(changes, sqlite3_changes(m_plain)) << sql;
        }
        ASSERT_EQ(TemporaryRows(m_cached), TemporaryRows(m_plain)) << "after " << sql;
    }
    EXPECT_EQ(TemporaryRows(m_cached),
              "integer:1 text:'tempdb.b' integer:10\ninteger:2 text:'##w' integer:0\ninteger:4 text:'tempdb.' integer:7\n"
              "integer:3 text:'it''s' integer:3\n");
}

TEST_F(StatementCacheTest, WritesOfTemporaryTablesOfOneShapeShareOneStatement)
{
    ASSERT_EQ(sqlite3_exec(m_cached, "attach ':memory:' as tempdb; create table tempdb.w(i int, s varchar(20))",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    database::SqliteStatement translated;
    for (int room = 1; room <= 50; ++room) {
        int changes = 0;
        QString failure;
        const QString text = QStringLiteral("insert into ##w(i, s) values(%1, 'room %1')").arg(room);
        ASSERT_TRUE(m_cache.RunWritten(m_cached, text, translated, &changes, &failure)) << failure.toStdString();
        EXPECT_EQ(changes, 1);
    }
    EXPECT_EQ(PreparedStatements(m_cached), 1);
    // Translated once, for the first text.
    EXPECT_EQ(translated.sql, QStringLiteral("insert into tempdb.w(i, s) values(1, 'room 1')"));
    sqlite3_stmt *statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(m_cached, "select count(*), sum(i), max(s) from tempdb.w", -1, &statement, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(statement, 0), 50);
    EXPECT_EQ(sqlite3_column_int(statement, 1), 50 * 51 / 2);
    EXPECT_STREQ(reinterpret_cast<const char *>(sqlite3_column_text(statement, 2)), "room 9");
    sqlite3_finalize(statement);
}

// The connection's handle closes for real: a prepared statement left behind
// would keep it open, and with it velto.db's -wal file.
class StatementCacheConnectionTest : public DatabaseTest {};

TEST_F(StatementCacheConnectionTest, CloseFinalizesTheStatementsOfBothHandles)
{
    InstallSeed();
    ASSERT_TRUE(OpenServer());
    m_db.GetActiveConnection()->SetGroupCommit(true);
    MustExec("CREATE TABLE ##REALTIMEROOM ([BUILD] [tinyint] NOT NULL, [DOOR] [tinyint] NOT NULL) ON [PRIMARY]");
    for (int i = 0; i < 3; ++i) {
        MustExec("insert into event_msg_list(build_num, msg_type, msg_title) values(1, " + std::to_string(i) + ", 'x')");
        MustExec("insert into ##REALTIMEROOM(BUILD, DOOR) values(1, " + std::to_string(i) + ")");
    }
    EXPECT_EQ(QueryField("select count(*) as N from event_msg_list where msg_title = 'x'", "N"), "3");
    m_db.Close();
    EXPECT_FALSE(QFile::exists(QDir(Path()).filePath(QStringLiteral("velto.db-wal"))));
    EXPECT_FALSE(QFile::exists(QDir(Path()).filePath(QStringLiteral("tempdb.db-wal"))));
    ASSERT_TRUE(OpenServer());
    EXPECT_EQ(QueryField("select count(*) as N from ##REALTIMEROOM", "N"), "3");
    MustExec("insert into ##REALTIMEROOM(BUILD, DOOR) values(1, 9)");
    EXPECT_EQ(QueryField("select count(*) as N from ##REALTIMEROOM", "N"), "4");
}

} // namespace
