// Group commit on the server's own connection. With synchronous commits every
// single-statement transaction waits for a disk sync; a storm of status
// reports runs many thousands of writes a second, so the writes between two
// idle moments of the event loop share one transaction and one sync.
#include "database/db_connection.h"

#include "database/ascii_words.h"

#include "platform/error_line.h"
#include "platform/gbk.h"

#include <QSqlDriver>
#include <QSqlError>
#include <sqlite3.h>

#include <ctime>

namespace database {
namespace {

// The batch's age is looked at after every write, thousands of times a
// second: the kernel's coarse clock answers from a shared page without
// reading the time-stamp counter. It lags the precise one by up to one tick,
// so a batch counts as due one tick early on each side of its age and never
// grows older than kBatchMaxAge between two writes.
std::chrono::nanoseconds CoarseMonotonicNow()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &t);
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

std::chrono::nanoseconds CoarseDueAge()
{
    static const std::chrono::nanoseconds due = [] {
        timespec tick {};
        if (clock_getres(CLOCK_MONOTONIC_COARSE, &tick) != 0)
            tick = {0, 10'000'000};
        const auto twoTicks = 2 * (std::chrono::seconds(tick.tv_sec) + std::chrono::nanoseconds(tick.tv_nsec));
        return twoTicks < kBatchMaxAge ? std::chrono::nanoseconds(kBatchMaxAge) - twoTicks
                                       : std::chrono::nanoseconds(0);
    }();
    return due;
}

bool StartsWithWord(QStringView code, QLatin1String w)
{
    if (!StartsWithIgnoringCase(code, w))
        return false;
    if (code.size() == w.size())
        return true;
    const QChar next = code[w.size()];
    return !next.isLetterOrNumber() && next != QLatin1Char('_');
}

} // namespace

DbConnection::StatementKind DbConnection::Classify(const QString &text)
{
    const QStringView code = Trimmed(text);
    // Only the word its first letter can begin is compared: this runs for
    // every statement, and Qt's case-blind comparison is not cheap.
    struct RowWord {
        char16_t first;
        QLatin1String word;
        StatementKind kind;
    };
    static constexpr RowWord kRowWords[] = {{u's', QLatin1String("select"), StatementKind::Read},
                                            {u'i', QLatin1String("insert"), StatementKind::Write},
                                            {u'u', QLatin1String("update"), StatementKind::Write},
                                            {u'd', QLatin1String("delete"), StatementKind::Write}};
    if (!code.isEmpty()) {
        const char16_t first = code.front().unicode();
        const char16_t folded = first >= u'A' && first <= u'Z' ? static_cast<char16_t>(first - u'A' + u'a')
                                : first < 0x80                 ? first
                                                               : code.front().toCaseFolded().unicode();
        for (const RowWord &row : kRowWords)
            if (row.first == folded)
                return StartsWithWord(code, row.word) ? row.kind : StatementKind::Alone;
    }
    // DDL, BACKUP, RESTORE, USE, EXEC: SQL Server refuses some of them inside
    // a transaction, and a backup must hold every row written before it.
    return StatementKind::Alone;
}

void DbConnection::SetGroupCommit(bool on, BatchLossReporter reporter, BatchBegunListener begun)
{
    std::lock_guard lock(m_mutex);
    if (!on)
        CommitBatch();
    m_groupCommit = on;
    m_batchLossReporter = std::move(reporter);
    m_batchBegun = std::move(begun);
}

void DbConnection::BeforeStatement(StatementKind kind)
{
    if (kind == StatementKind::Alone) {
        CommitBatch();
        return;
    }
    if (kind != StatementKind::Write || m_batchOpen || !m_open)
        return;
    if (!m_db.driver()->hasFeature(QSqlDriver::Transactions))
        return;
    if (!m_db.transaction()) {
        // The write still runs, on its own.
        platform::WriteErrorLine("group commit: cannot begin a transaction",
                                 platform::GbkStringFromQString(m_db.lastError().text()));
        return;
    }
    m_batchOpen = true;
    m_batchStatements = 0;
    m_batchStart = CoarseMonotonicNow();
    if (m_batchBegun)
        m_batchBegun();
}

void DbConnection::AfterWrite(bool ok, const ComError &error)
{
    if (ok) {
        ++m_batchStatements;
    } else if (!BatchSurvived()) {
        if (m_batchOpen) // not yet reported by a commit that failed
            LoseBatch(error.description);
        return;
    } else if (m_batchOpen && m_batchStatements == 0) {
        // The batch's first write failed (velto.db locked past the busy
        // time-out, say): the batch ends there, so that no read of it keeps
        // an old view of the file on which every later write would fail.
        // Committed rather than rolled back: a write that failed part way
        // (OR FAIL) keeps what it did, as it would outside a batch.
        CommitBatch();
        return;
    }
    if (m_batchOpen && BatchDue())
        CommitBatch();
}

// After a failing write: whether the engine kept the transaction. SQLite
// rolls it back itself on a full disk, an I/O error or a trigger's
// RAISE(ROLLBACK); SQL Server on errors that abort the batch. Where the
// engine cannot be asked, the batch is committed here and then, so a loss
// shows as that commit's failure.
bool DbConnection::BatchSurvived()
{
    if (m_settings.engine == Engine::Embedded) {
        sqlite3 *handle = SqliteHandle();
        return !handle || sqlite3_get_autocommit(handle) == 0;
    }
    if (!m_probe)
        m_probe = std::make_unique<QSqlQuery>(m_db);
    const bool asked = m_probe->exec(QStringLiteral("SELECT @@TRANCOUNT")) && m_probe->next();
    const int open = asked ? m_probe->value(0).toInt() : 0;
    m_probe->finish();
    if (asked)
        return open > 0;
    return CommitBatch();
}

void DbConnection::LoseBatch(const std::string &reason)
{
    const BatchLoss loss{m_batchStatements, reason};
    m_batchOpen = false;
    m_batchStatements = 0;
    // Ends whatever the engine left open (ODBC: autocommit on again); fails
    // harmlessly when the engine has already rolled back.
    if (!m_db.rollback() && m_settings.engine == Engine::Odbc) {
        // A driver whose own transaction flag outlived the engine's rollback
        // (the SQLite ODBC driver) refuses every later COMMIT and ROLLBACK,
        // and Qt leaves autocommit off: a transaction to end brings them back
        // in step.
        if (!m_probe)
            m_probe = std::make_unique<QSqlQuery>(m_db);
        m_probe->exec(QStringLiteral("BEGIN TRANSACTION"));
        m_probe->finish();
        m_db.rollback();
    }
    if (m_batchLossReporter)
        m_batchLossReporter(loss);
    else
        platform::WriteErrorLine(
            ("the database rolled back " + std::to_string(loss.statements) + " uncommitted writes").c_str(),
            loss.reason);
}

bool DbConnection::BatchDue() const
{
    return m_batchStatements >= kBatchMaxStatements
        || CoarseMonotonicNow() - m_batchStart >= CoarseDueAge();
}

bool DbConnection::CommitBatch()
{
    std::lock_guard lock(m_mutex);
    RunLiveRoomWrites();
    if (!m_batchOpen)
        return true;
    if (m_db.commit()) {
        m_batchOpen = false;
        m_batchStatements = 0;
        return true;
    }
    const QSqlError failure = m_db.lastError();
    LoseBatch(
        platform::GbkStringFromQString(failure.databaseText().isEmpty() ? failure.text() : failure.databaseText()));
    return false;
}

} // namespace database
