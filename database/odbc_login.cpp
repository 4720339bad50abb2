#include "database/odbc_login.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <sql.h>
#include <sqlext.h>
#include <thread>

namespace database {
namespace {

void CollectDiagnostics(SQLSMALLINT type, SQLHANDLE handle, std::vector<OdbcDiagnostic> &out)
{
    for (SQLSMALLINT record = 1;; ++record) {
        SQLCHAR state[SQL_SQLSTATE_SIZE + 1] = {};
        SQLINTEGER native = 0;
        SQLCHAR text[SQL_MAX_MESSAGE_LENGTH] = {};
        SQLSMALLINT length = 0;
        const SQLRETURN rc = SQLGetDiagRec(type, handle, record, state, &native, text, sizeof text, &length);
        if (!SQL_SUCCEEDED(rc))
            return;
        out.push_back({reinterpret_cast<const char *>(state), static_cast<long>(native),
                       reinterpret_cast<const char *>(text)});
    }
}

OdbcLogin LoginOnce(const std::string &connectionString, int loginTimeoutSeconds)
{
    OdbcLogin login;
    login.outcome = OdbcLogin::Outcome::Failed;
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) {
        login.diagnostics.push_back({"HY001", 0, "no ODBC environment could be made"});
        return login;
    }
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
        CollectDiagnostics(SQL_HANDLE_ENV, env, login.diagnostics);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
        return login;
    }
    SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(loginTimeoutSeconds)), 0);
    SQLCHAR completed[1024];
    SQLSMALLINT completedLength = 0;
    const SQLRETURN rc =
        SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR *>(const_cast<char *>(connectionString.c_str())),
                         SQL_NTS, completed, sizeof completed, &completedLength, SQL_DRIVER_NOPROMPT);
    if (SQL_SUCCEEDED(rc)) {
        login.outcome = OdbcLogin::Outcome::Connected;
        SQLDisconnect(dbc);
    } else {
        CollectDiagnostics(SQL_HANDLE_DBC, dbc, login.diagnostics);
    }
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return login;
}

// What the login thread and the one waiting for it share; whichever ends
// last frees it.
struct Pending {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    OdbcLogin login;
};

} // namespace

OdbcLogin TryOdbcLogin(const std::string &connectionString, int loginTimeoutSeconds,
                       std::chrono::milliseconds deadline)
{
    auto pending = std::make_shared<Pending>();
    std::thread worker([pending, connectionString, loginTimeoutSeconds] {
        OdbcLogin login = LoginOnce(connectionString, loginTimeoutSeconds);
        std::lock_guard lock(pending->mutex);
        pending->login = std::move(login);
        pending->done = true;
        pending->ended.notify_all();
    });
    std::unique_lock lock(pending->mutex);
    if (!pending->ended.wait_for(lock, deadline, [&] { return pending->done; })) {
        // A driver that never gives up keeps its thread; the process must
        // not wait for it.
        lock.unlock();
        worker.detach();
        return OdbcLogin{};
    }
    // The thread has only to end: joined, it leaves nothing of the driver's
    // (its thread-local state) behind.
    OdbcLogin login = std::move(pending->login);
    lock.unlock();
    worker.join();
    return login;
}

std::string DiagnosticText(const std::vector<OdbcDiagnostic> &diagnostics)
{
    std::string text;
    for (size_t i = 0; i < diagnostics.size(); ++i) {
        const OdbcDiagnostic &d = diagnostics[i];
        bool repeated = false;
        for (size_t j = 0; j < i && !repeated; ++j)
            repeated = diagnostics[j].state == d.state && diagnostics[j].native == d.native &&
                       diagnostics[j].text == d.text;
        if (repeated)
            continue;
        if (!text.empty())
            text += "; ";
        text += "[" + d.state + "] ";
        if (d.native != 0)
            text += "(" + std::to_string(d.native) + ") ";
        text += d.text;
    }
    return text;
}

} // namespace database
