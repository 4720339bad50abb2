#pragma once
// Which database engine the server talks to. The program always speaks SQL
// Server's dialect; the embedded engine is SQLite (velto.db in the working
// directory) reached through the compatibility step of sqlite_dialect.h.
//
// Read once from the settings, section "Database Configuration":
//   "DATABASE ENGINE"  0 = embedded SQLite (default), 1 = SQL Server through ODBC
//   "LOGIN TIMEOUT"    seconds an ODBC login may take (default 5)
#include <QString>

namespace database {

enum class Engine { Embedded, Odbc };

struct EngineSettings {
    Engine engine = Engine::Embedded;
    // Embedded engine: the folder of velto.db; empty means the working
    // directory at the time of each Open.
    QString directory;
    int loginTimeoutSeconds = 5;
};

// The settings in force: those given to SetEngineSettings, or else the ones
// read from the settings store on first use.
EngineSettings CurrentEngineSettings();
void SetEngineSettings(const EngineSettings &settings);

} // namespace database
