#pragma once
// Prepared statements of one SQLite handle, one for each statement shape
// (statement_shape.h): a write whose shape was seen before runs without
// being parsed again, its literals bound as values. A text is first held
// against the last texts of the shapes used lately: where it is one of them
// with other values, its shape is known without a scan of its own.
#include "database/statement_shape.h"

#include <QHash>
#include <QString>

#include <array>
#include <cstdint>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace database {

struct SqliteStatement;

class StatementCache {
public:
    // More shapes than this and the cache starts again: the program has a
    // few dozen; a stream of texts that do not share shapes must not grow
    // it without bound.
    static constexpr qsizetype kMaxShapes = 128;

    StatementCache() = default;
    ~StatementCache() { Clear(); }
    StatementCache(const StatementCache &) = delete;
    StatementCache &operator=(const StatementCache &) = delete;

    // Runs a statement that returns no rows (any rows it returns are
    // skipped) on `handle`; `changes` gets the rows it changed. On failure
    // `failure` gets the engine's error text. A text without a shape, or
    // whose shape SQLite will not prepare, runs as it is; a text of
    // several statements fails.
    bool Run(sqlite3 *handle, const QString &sql, int *changes, QString *failure);
    // Run for a write of global temporary tables as the program wrote it
    // (SQL Server's names, ##NAME), translated into `translated` (its
    // storage used again) only where its shape is new: a text of a shape
    // seen before binds its values to that shape's statement as it stands.
    // Run is then given no text that names a ## table: it could be held
    // against a written text's shape.
    bool RunWritten(sqlite3 *handle, const QString &written, SqliteStatement &translated, int *changes,
                    QString *failure);

    // Finalizes every statement: before the handle closes, which it must
    // not outlive.
    void Clear();

    // Shapes remembered by a text of each; a storm of reports cycles through
    // about a dozen.
    static constexpr int kRecentShapes = 16;

private:
    struct RecentShape {
        QString text; // shared with the text it was first seen in
        StatementShape shape;
        sqlite3_stmt *statement = nullptr;
        int next = -1;      // the shape used after this one, last time
        int otherNext = -1; // the one used after it before that
        uint64_t lastUse = 0;
    };

    sqlite3_stmt *Prepared(sqlite3 *handle);
    sqlite3_stmt *Recent(const QString &sql);
    sqlite3_stmt *Use(int index);
    void Remember(const QString &sql, sqlite3_stmt *statement);
    static bool RunAsItIs(sqlite3 *handle, const QString &sql, int *changes, QString *failure);
    bool RunBound(sqlite3 *handle, sqlite3_stmt *statement, const QString &text, int *changes, QString *failure);
    bool PlaceInWritten(const QString &written, const QString &sql);
    static bool Step(sqlite3 *handle, sqlite3_stmt *statement, int *changes, QString *failure);
    void EncodeTexts(const QString &sql);

    sqlite3 *m_handle = nullptr;
    QHash<QString, sqlite3_stmt *> m_statements;
    StatementShape m_shape;
    std::string m_utf8; // the shape's text values, bound from here
    std::array<size_t, StatementShape::kMaxLiterals> m_utf8Lengths{};
    std::array<RecentShape, kRecentShapes> m_recent;
    int m_recentCount = 0;
    int m_lastRecent = -1;
    uint64_t m_uses = 0;
};

} // namespace database
