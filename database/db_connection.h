#pragma once
// The connection object shared by a CADODatabase and every recordset made on
// it: a recordset that outlives its database stays safe to close. One lock
// serialises its use; a QSqlDatabase belongs to the thread that opened it, so
// another thread opens a sibling connection (CADODatabase::OpenSibling).
#include "database/com_error.h"
#include "database/engine_settings.h"

#include <QSqlDatabase>
#include <QSqlQuery>

class QThread;
#include <mutex>
#include <string>

struct sqlite3;

namespace database {

class DbConnection {
public:
    DbConnection();
    ~DbConnection();
    DbConnection(const DbConnection &) = delete;
    DbConnection &operator=(const DbConnection &) = delete;

    bool Open(const EngineSettings &settings, const std::string &connectionString, const std::string &user,
              const std::string &password, ComError *error);
    void Close();
    bool IsOpen() const;

    // False, with the reason, on any thread but the one that opened it.
    bool IsOwnThread(ComError *error) const;

    // Runs one statement (GBK text already converted) on `query`, which must
    // have been made on Database(). `query` is active afterwards only for a
    // statement that returned a result set.
    bool Execute(QSqlQuery &query, const QString &text, int *recordsAffected, ComError *error);

    QSqlDatabase Database() const { return m_db; }
    // Grows with every Open: a query made before it belongs to a closed
    // connection.
    unsigned Generation() const { return m_generation; }
    std::recursive_mutex &Mutex() { return m_mutex; }

    // What the last successful Open was given, for a sibling connection.
    EngineSettings Settings() const { return m_settings; }
    std::string User() const { return m_user; }
    std::string Password() const { return m_password; }
    std::string ConnectionString() const { return m_connectionString; }

private:
    bool OpenEmbedded(const std::string &connectionString, const std::string &user, ComError *error);
    bool OpenOdbc(const std::string &connectionString, const std::string &user, const std::string &password,
                  ComError *error);
    bool ExecuteEmbedded(QSqlQuery &query, const QString &text, int *recordsAffected, ComError *error);
    void UseDriver(const char *driver);
    sqlite3 *SqliteHandle() const;

    std::recursive_mutex m_mutex;
    QString m_name;
    QSqlDatabase m_db;
    bool m_open = false;
    QThread *m_thread = nullptr; // the one the connection was opened on
    unsigned m_generation = 0;
    EngineSettings m_settings;
    QString m_directory; // embedded: the resolved folder of velto.db
    std::string m_user;
    std::string m_password;
    std::string m_connectionString;
};

} // namespace database
