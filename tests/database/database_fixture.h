#pragma once
// A server data directory in a temp folder: the embedded engine pointed at
// it, velto.db made from the seed, and a database object to open on it.
#include "database/ado_database.h"
#include "database/ado_recordset.h"
#include "database/engine_settings.h"
#include "support/temp_dir.h"

#include <string>

class DatabaseTest : public TempDirTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Copies the seed into the data directory as `name`.
    void InstallSeed(const QString &name = QStringLiteral("velto.db"));
    bool OpenServer() { return m_db.Open(kServerLogin); }
    // Runs a statement that must succeed; returns the rows affected.
    int MustExec(const std::string &sql);
    // The first row's field of a query that must return one.
    std::string QueryField(const std::string &sql, const std::string &field);
    // An empty live-room table of the columns BUILD, FLOOR, ROOMNUM and
    // RMSTATE, on m_db.
    void CreateLiveRoomTable();

    static constexpr const char *kServerLogin = "Driver={SQL Server};Server=127.0.0.1;Uid=velto;Pwd=qubra;";
    CADODatabase m_db;
};
