#include "database/db_connection.h"

#include "database/sqlite_dialect.h"
#include "platform/gbk.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QThread>
#include <atomic>
#include <sqlite3.h>

namespace database {
namespace {

constexpr const char *kEmbeddedSource = "Microsoft OLE DB Provider for SQLite";
constexpr const char *kOdbcSource = "Microsoft OLE DB Provider for ODBC Drivers";


// "Uid=sa;" in the connection string (or the user argument) is the server's
// administrator, who logs in without the program's database (SQL Server's
// master) to restore it.
bool IsAdministrator(const std::string &connectionString, const std::string &user)
{
    thread_local const QRegularExpression uid(QStringLiteral(R"((?:^|;)\s*(?:Uid|User ID)\s*=\s*sa\s*(?:;|$))"),
                                        QRegularExpression::CaseInsensitiveOption);
    return QString::fromStdString(user).compare(QLatin1String("sa"), Qt::CaseInsensitive) == 0
        || uid.match(QString::fromStdString(connectionString)).hasMatch();
}

// SQL Server's native errors for a refused login (18456) and a database the
// login cannot open (4060); anything else, including a login time-out, means
// the server did not answer.
uint32_t OdbcOpenCode(const QSqlError &error)
{
    thread_local const QRegularExpression refused(QStringLiteral(R"(\b(?:18456|4060)\b)"));
    if (refused.match(error.nativeErrorCode()).hasMatch())
        return kErrLoginRefused;
    return kErrServerNotAnswering;
}

} // namespace

DbConnection::DbConnection()
{
    static std::atomic<unsigned> counter{0};
    m_name = QStringLiteral("kelvor-connection-%1").arg(++counter);
}

DbConnection::~DbConnection()
{
    Close();
    if (m_db.isValid()) {
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
}

void DbConnection::UseDriver(const char *driver)
{
    const QString wanted = QString::fromLatin1(driver);
    if (m_db.isValid() && m_db.driverName() == wanted)
        return;
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
    m_db = QSqlDatabase::addDatabase(wanted, m_name);
}

bool DbConnection::Open(const EngineSettings &settings, const std::string &connectionString,
                        const std::string &user, const std::string &password, ComError *error)
{
    std::lock_guard lock(m_mutex);
    Close();
    ++m_generation;
    m_settings = settings;
    m_user = user;
    m_password = password;
    m_connectionString = connectionString;
    const bool ok = settings.engine == Engine::Embedded ? OpenEmbedded(connectionString, user, error)
                                                        : OpenOdbc(connectionString, user, password, error);
    m_open = ok;
    m_thread = QThread::currentThread();
    if (!ok && m_db.isValid())
        m_db.close();
    return ok;
}

bool DbConnection::OpenEmbedded(const std::string &connectionString, const std::string &user, ComError *error)
{
    error->source = kEmbeddedSource;
    m_directory = QDir(m_settings.directory.isEmpty() ? QDir::currentPath() : m_settings.directory).absolutePath();
    m_settings.directory = m_directory; // a sibling opens the same files wherever its thread stands
    const QFileInfo directory(m_directory);
    if (!directory.isDir() || !directory.isWritable()) {
        error->code = kErrServerNotAnswering;
        error->description = platform::GbkStringFromQString(QStringLiteral("[SQLite]The data directory %1 cannot be used.").arg(m_directory));
        return false;
    }
    const QString file = SqliteDialect::DatabaseFile(m_directory, QStringLiteral("velto"));
    const bool exists = QFileInfo(file).isFile();
    if (!exists && !IsAdministrator(connectionString, user)) {
        error->code = kErrLoginRefused;
        error->description = platform::GbkStringFromQString(QStringLiteral("[SQLite]Cannot open database \"velto\" requested by the login. "
                                                "The login failed. (%1 does not exist)").arg(file));
        return false;
    }
    UseDriver("QSQLITE");
    m_db.setDatabaseName(exists ? file : QStringLiteral(":memory:"));
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    QString failure;
    if (!m_db.open()) {
        failure = m_db.lastError().databaseText();
    } else if (!SqliteDialect::PrepareConnection(SqliteHandle(), m_directory, exists, &failure)) {
        m_db.close();
    } else {
        return true;
    }
    error->code = kErrServerNotAnswering;
    error->description = platform::GbkStringFromQString(QStringLiteral("[SQLite]") + failure);
    return false;
}

bool DbConnection::OpenOdbc(const std::string &connectionString, const std::string &user,
                            const std::string &password, ComError *error)
{
    error->source = kOdbcSource;
    UseDriver("QODBC");
    m_db.setDatabaseName(platform::QStringFromGbk(connectionString));
    m_db.setUserName(platform::QStringFromGbk(user));
    m_db.setPassword(platform::QStringFromGbk(password));
    // Without a login time-out a server that accepts the connection and never
    // answers would hold start-up for ever.
    m_db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(m_settings.loginTimeoutSeconds));
    if (m_db.open())
        return true;
    const QSqlError failure = m_db.lastError();
    error->code = OdbcOpenCode(failure);
    error->description = platform::GbkStringFromQString(failure.databaseText().isEmpty() ? failure.text() : failure.databaseText());
    return false;
}

void DbConnection::Close()
{
    std::lock_guard lock(m_mutex);
    CommitBatch();
    RunLiveRoomWrites();
    CloseLiveRoomHandle();
    m_probe.reset();
    m_writes.Clear();
    if (m_open)
        m_db.close();
    m_open = false;
}

bool DbConnection::IsOpen() const
{
    return m_open;
}

sqlite3 *DbConnection::SqliteHandle() const
{
    const QVariant handle = m_db.driver()->handle();
    if (qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

bool DbConnection::IsOwnThread(ComError *error) const
{
    if (QThread::currentThread() == m_thread)
        return true;
    error->code = kErrInCommand;
    error->source = "ADODB.Connection";
    error->description = "The connection belongs to another thread: that thread opens its own (OpenSibling).";
    return false;
}

bool DbConnection::Execute(QSqlQuery &query, const QString &text, int *recordsAffected, ComError *error)
{
    std::lock_guard lock(m_mutex);
    const bool counted = recordsAffected != nullptr;
    int uncounted = 0;
    if (!counted)
        recordsAffected = &uncounted;
    *recordsAffected = 0;
    const bool embedded = m_settings.engine == Engine::Embedded;
    const StatementKind classified = m_groupCommit || embedded ? Classify(text) : StatementKind::Alone;
    StatementKind kind = m_groupCommit ? classified : StatementKind::Alone;
    if (m_groupCommit && m_open && embedded && SqliteDialect::NamesTemporaryTable(text)) {
        if (kind == StatementKind::Write && SqliteDialect::WritesTemporaryTable(text)) {
            if (m_liveRoomGroups > 0 && !counted) {
                KeepLiveRoomWrite(text);
                return true;
            }
            RunLiveRoomWrites();
            return ExecuteLiveRoomWrite(text, recordsAffected, error);
        }
        if (kind == StatementKind::Read)
            kind = StatementKind::Alone;
        RunLiveRoomWrites();
    } else if (kind == StatementKind::Alone) {
        RunLiveRoomWrites();
    }
    if (m_groupCommit)
        BeforeStatement(kind);
    const bool ok = embedded ? ExecuteEmbedded(query, text, classified == StatementKind::Write, recordsAffected, error)
                             : ExecuteOdbc(query, text, recordsAffected, error);
    if (m_batchOpen && kind == StatementKind::Write)
        AfterWrite(ok, *error);
    return ok;
}

bool DbConnection::ExecuteOdbc(QSqlQuery &query, const QString &text, int *recordsAffected, ComError *error)
{
    if (!query.exec(text)) {
        error->code = kErrInCommand;
        error->source = kOdbcSource;
        error->description = platform::GbkStringFromQString(query.lastError().databaseText());
        return false;
    }
    *recordsAffected = query.isSelect() ? -1 : query.numRowsAffected();
    return true;
}

bool DbConnection::ExecuteEmbedded(QSqlQuery &query, const QString &text, bool write, int *recordsAffected,
                                   ComError *error)
{
    const SqliteStatement statement = SqliteDialect::Translate(text);
    QString failure;
    bool ok = true;
    switch (statement.kind) {
    case SqliteStatement::Kind::Ignored:
        return true;
    case SqliteStatement::Kind::Backup:
        ok = SqliteDialect::Backup(SqliteDialect::DatabaseFile(m_directory, statement.database), statement.path,
                                   &failure);
        break;
    case SqliteStatement::Kind::Restore:
        ok = SqliteDialect::Restore(statement.path, SqliteDialect::DatabaseFile(m_directory, statement.database),
                                    &failure);
        break;
    case SqliteStatement::Kind::Query:
        if (write) {
            ok = m_writes.Run(SqliteHandle(), statement.sql, recordsAffected, &failure);
            break;
        }
        ok = query.exec(statement.sql);
        if (ok)
            *recordsAffected = query.isSelect() ? -1 : query.numRowsAffected();
        else
            failure = query.lastError().databaseText();
        break;
    }
    if (!ok)
        EmbeddedFailure(failure, error);
    return ok;
}

void DbConnection::EmbeddedFailure(const QString &failure, ComError *error)
{
    error->code = kErrInCommand;
    error->source = kEmbeddedSource;
    error->description = platform::GbkStringFromQString(QStringLiteral("[SQLite]") + failure);
}

} // namespace database
