#include "database/odbc_login.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <sql.h>
#include <sqlext.h>
#include <thread>
#include <unistd.h>

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
// last frees it. The thread writes one byte to `ended` once `login` is set,
// so the wait can watch it beside the caller's descriptor.
struct Pending {
    OdbcLogin login; // the thread's until it has written to `ended`
    int ended[2] = {-1, -1}; // [0] watched by the waiter, [1] written by the thread
    ~Pending()
    {
        for (int fd : ended)
            if (fd >= 0)
                ::close(fd);
    }
};

std::atomic<int> g_loginsRunning{0};
std::atomic<bool> g_loginLeftBehind{false};

bool Readable(const pollfd &watched) { return (watched.revents & (POLLIN | POLLHUP | POLLERR)) != 0; }

} // namespace

OdbcLogin TryOdbcLogin(const std::string &connectionString, int loginTimeoutSeconds,
                       std::chrono::milliseconds deadline, int giveUpFd)
{
    auto pending = std::make_shared<Pending>();
    if (::pipe2(pending->ended, O_CLOEXEC) != 0) {
        OdbcLogin failed;
        failed.outcome = OdbcLogin::Outcome::Failed;
        failed.diagnostics.push_back({"HY001", 0, std::string("no pipe for the login thread: ") + std::strerror(errno)});
        return failed;
    }
    ++g_loginsRunning;
    std::thread worker([pending, connectionString, loginTimeoutSeconds] {
        pending->login = LoginOnce(connectionString, loginTimeoutSeconds);
        --g_loginsRunning;
        const char done = 1;
        while (::write(pending->ended[1], &done, 1) < 0 && errno == EINTR) {
        }
    });
    const auto until = std::chrono::steady_clock::now() + deadline;
    pollfd watched[2] = {{pending->ended[0], POLLIN, 0}, {giveUpFd, POLLIN, 0}};
    nfds_t count = giveUpFd >= 0 ? 2 : 1;
    OdbcLogin left;
    bool ended = false;
    for (;;) {
        const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (remaining.count() <= 0)
            break; // left.outcome is NoAnswer
        // A shutdown signal makes the give-up descriptor readable, which
        // ends the poll whichever thread the signal was delivered to.
        const int ready = ::poll(watched, count, static_cast<int>(std::min<long long>(remaining.count(), 60000)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            left.outcome = OdbcLogin::Outcome::Failed;
            left.diagnostics.push_back({"HY000", 0, std::string("the wait for the login failed: ") + std::strerror(errno)});
            break;
        }
        if (ready == 0)
            continue;
        if (Readable(watched[0])) {
            ended = true;
            break;
        }
        if (count == 2 && (watched[1].revents & POLLNVAL)) {
            count = 1; // a descriptor closed under the wait gives nothing up
        } else if (count == 2 && Readable(watched[1])) {
            left.outcome = OdbcLogin::Outcome::GivenUp;
            break;
        }
    }
    if (!ended) {
        // A driver that never gives up keeps its thread; the process must
        // not wait for it.
        g_loginLeftBehind = true;
        worker.detach();
        return left;
    }
    // The thread has only to end: joined, it leaves nothing of the driver's
    // (its thread-local state) behind.
    worker.join();
    // What follows a login (QODBC's own) cannot be given up: a signal that
    // came with its end gives it up here.
    if (count == 2 && ::poll(&watched[1], 1, 0) > 0 && Readable(watched[1])) {
        left.outcome = OdbcLogin::Outcome::GivenUp;
        return left;
    }
    return std::move(pending->login);
}

int OdbcLoginsRunning() { return g_loginsRunning.load(); }

bool OdbcLoginLeftBehind() { return g_loginLeftBehind.load(); }

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
