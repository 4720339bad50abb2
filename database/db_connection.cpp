#include "database/db_connection.h"

#include "database/odbc_login.h"
#include "database/sqlite_dialect.h"
#include "platform/error_line.h"
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

// The schema of the main database read once: SQLite's own reason when the
// file is not a database or is damaged.
bool ReadsSchema(sqlite3 *handle, QString *failure)
{
    if (!handle) {
        *failure = QStringLiteral("no SQLite handle");
        return false;
    }
    if (sqlite3_exec(handle, "SELECT count(*) FROM main.sqlite_master", nullptr, nullptr, nullptr) == SQLITE_OK)
        return true;
    *failure = QString::fromUtf8(sqlite3_errmsg(handle));
    return false;
}

// What a driver may take beyond the login time-out to tell its own failure.
constexpr std::chrono::seconds kLoginGrace{2};

// The codes of OdbcOpenCode, from the login's diagnostics.
uint32_t OdbcLoginCode(const OdbcLogin &login)
{
    for (const OdbcDiagnostic &d : login.diagnostics)
        if (d.native == 18456 || d.native == 4060)
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
    const QString shown = QDir::toNativeSeparators(m_directory);
    const auto fail = [error](uint32_t code, const QString &text) {
        error->code = code;
        error->description = platform::GbkStringFromQString(QStringLiteral("[SQLite]") + text);
        return false;
    };
    const QFileInfo directory(m_directory);
    if (!directory.isDir())
        return fail(kErrServerNotAnswering, QStringLiteral("The data directory %1 does not exist.").arg(shown));
    // SQLite keeps velto.db's write-ahead log and its index beside it.
    if (!directory.isWritable())
        return fail(kErrServerNotAnswering,
                    QStringLiteral("The data directory %1 is not writable: velto.db needs velto.db-wal and "
                                   "velto.db-shm beside it.").arg(shown));
    const QString file = SqliteDialect::DatabaseFile(m_directory, QStringLiteral("velto"));
    const bool exists = QFileInfo(file).isFile();
    if (!exists && !IsAdministrator(connectionString, user)) {
        // The first-start repair restores velto.bak from the working directory.
        const bool backup = QFileInfo(QDir(m_directory).filePath(QStringLiteral("velto.bak"))).isFile();
        return fail(kErrLoginRefused,
                    QStringLiteral("Cannot open database \"velto\" requested by the login. The login failed. "
                                   "(%1 does not exist; %2)")
                        .arg(QDir::toNativeSeparators(file),
                             backup ? QStringLiteral("velto.bak beside it can be copied to velto.db, or restored "
                                                     "at the administrator login")
                                    : QStringLiteral("nor does velto.bak to restore it from")));
    }
    UseDriver("QSQLITE");
    m_db.setDatabaseName(exists ? file : QStringLiteral(":memory:"));
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!m_db.open())
        return fail(kErrServerNotAnswering,
                    QDir::toNativeSeparators(file) + QStringLiteral(": ") + m_db.lastError().databaseText());
    // SQLite reads the file only when asked: a file that is not a database,
    // or one cut short, is told here by its own name.
    QString failure;
    if (exists && !ReadsSchema(SqliteHandle(), &failure)) {
        m_db.close();
        return fail(kErrServerNotAnswering, QDir::toNativeSeparators(file) + QStringLiteral(": ") + failure);
    }
    if (!SqliteDialect::PrepareConnection(SqliteHandle(), m_directory, exists, &failure)) {
        m_db.close();
        return fail(kErrServerNotAnswering,
                    QStringLiteral("%1 with %2: ")
                            .arg(QDir::toNativeSeparators(file),
                                 QDir::toNativeSeparators(SqliteDialect::TempdbFile(m_directory))) +
                        failure);
    }
    return true;
}

bool DbConnection::OpenOdbc(const std::string &connectionString, const std::string &user,
                            const std::string &password, ComError *error)
{
    error->source = kOdbcSource;
    const QString text = platform::QStringFromGbk(connectionString);
    // The login QODBC makes: a text without "=" names a data source.
    QString login = text.contains(u'=') ? text : QStringLiteral("DSN=") + text;
    if (!user.empty())
        login += QStringLiteral(";UID=") + platform::QStringFromGbk(user);
    if (!password.empty())
        login += QStringLiteral(";PWD=") + platform::QStringFromGbk(password);
    // Tried first on a thread of its own with a deadline, since a driver may
    // not keep to the login time-out: start-up, the operator's database
    // login and the poller's connection then never wait longer, and a
    // failure keeps its SQLSTATE.
    const int timeout = m_settings.loginTimeoutSeconds;
    const std::chrono::seconds deadline = std::chrono::seconds(timeout) + kLoginGrace;
    const OdbcLogin tried = TryOdbcLogin(login.toStdString(), timeout, deadline, m_loginGiveUpFd);
    if (tried.outcome == OdbcLogin::Outcome::GivenUp) {
        error->code = kErrLoginGivenUp;
        error->description = "the login was given up: the server is stopping";
        return false;
    }
    if (tried.outcome == OdbcLogin::Outcome::NoAnswer) {
        error->code = kErrServerNotAnswering;
        error->description = "SQL Server did not answer the login within " + std::to_string(deadline.count()) +
                             " s (LOGIN TIMEOUT " + std::to_string(timeout) +
                             " s); the driver's own login is still waiting";
        return false;
    }
    if (tried.outcome == OdbcLogin::Outcome::Failed) {
        error->code = OdbcLoginCode(tried);
        error->description = platform::GbkFromUtf8(DiagnosticText(tried.diagnostics));
        return false;
    }
    UseDriver("QODBC");
    m_db.setDatabaseName(text);
    m_db.setUserName(platform::QStringFromGbk(user));
    m_db.setPassword(platform::QStringFromGbk(password));
    // Without a login time-out a server that accepts the connection and never
    // answers would hold start-up for ever.
    m_db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(timeout));
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
    ComError lost;
    if (!CommitTransaction(&lost))
        platform::WriteErrorLine("closing the connection", lost.description);
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

// Asked of the driver once per open: it is wanted for nearly every
// statement.
sqlite3 *DbConnection::SqliteHandle() const
{
    if (m_sqliteHandleGeneration == m_generation && m_db.isOpen())
        return m_sqliteHandle;
    m_sqliteHandle = DriverHandle();
    m_sqliteHandleGeneration = m_generation;
    return m_sqliteHandle;
}

sqlite3 *DbConnection::DriverHandle() const
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

bool DbConnection::Execute(QSqlQuery &query, const QString &text, int *recordsAffected, ComError *error,
                           ResultRows *rows)
{
    std::lock_guard lock(m_mutex);
    if (rows)
        rows->read = false;
    const bool counted = recordsAffected != nullptr;
    int uncounted = 0;
    if (!counted)
        recordsAffected = &uncounted;
    *recordsAffected = 0;
    const bool embedded = m_settings.engine == Engine::Embedded;
    const StatementKind classified = m_groupCommit || embedded ? Classify(text) : StatementKind::Alone;
    StatementKind kind = m_groupCommit ? classified : StatementKind::Alone;
    const bool namesTemporaryTable = embedded && SqliteDialect::NamesTemporaryTable(text);
    if (m_groupCommit && m_open && namesTemporaryTable) {
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
    const bool ok = embedded ? ExecuteEmbedded(query, text, namesTemporaryTable, classified == StatementKind::Write,
                                               recordsAffected, error, rows)
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

bool DbConnection::ExecuteEmbedded(QSqlQuery &query, const QString &text, bool namesTemporaryTable, bool write,
                                   int *recordsAffected, ComError *error, ResultRows *rows)
{
    const SqliteStatement statement = SqliteDialect::Translate(text, namesTemporaryTable);
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
        if (sqlite3 *handle = rows ? SqliteHandle() : nullptr) {
            ok = ReadEmbeddedRows(handle, statement.sql, *rows, &failure);
            if (ok)
                *recordsAffected = rows->hasColumns ? -1 : rows->changes;
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
