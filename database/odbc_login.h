#pragma once
// A login to an ODBC data source that always ends: the driver's own login
// runs on a thread of its own, and the caller stops waiting at a deadline
// even when the driver does not (FreeTDS, left to pick its protocol version,
// retries a server that accepts and never answers for ever, whatever its
// login time-out). The driver's diagnostics come back with their SQLSTATE,
// which QODBC does not keep. A wait can also be given up from outside: the
// server's shutdown signals end it at once.
#include <chrono>
#include <string>
#include <vector>

namespace database {

struct OdbcDiagnostic {
    std::string state; // SQLSTATE, five characters
    long native = 0;   // the driver's or the server's own code
    std::string text;  // UTF-8
};

struct OdbcLogin {
    enum class Outcome { Connected, Failed, NoAnswer, GivenUp };
    Outcome outcome = Outcome::NoAnswer;
    std::vector<OdbcDiagnostic> diagnostics; // those of a failed login, in order
};

// Connects once with the connection string (UTF-8) and the login time-out
// set, then disconnects. NoAnswer when `deadline` passes first; GivenUp as
// soon as `giveUpFd` (when not -1) is readable, which is only looked at, not
// read. Either way that login is left to end on its own thread, with its own
// handles. A login that ended with `giveUpFd` readable is GivenUp too.
OdbcLogin TryOdbcLogin(const std::string &connectionString, int loginTimeoutSeconds,
                       std::chrono::milliseconds deadline, int giveUpFd = -1);

// Login threads still inside the driver, those left behind included.
int OdbcLoginsRunning();
// Whether a wait ever left its login behind. Such a thread may be inside the
// driver, or still ending, at any time until the process ends: the process
// must then end without running the libraries' own destructors (exit()),
// which free what the driver uses.
bool OdbcLoginLeftBehind();

// "[08S01] (20009) text; [08001] text": each distinct diagnostic once.
std::string DiagnosticText(const std::vector<OdbcDiagnostic> &diagnostics);

} // namespace database
