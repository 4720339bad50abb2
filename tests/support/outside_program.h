#pragma once
// Another program on the server's database files, such as the PMS software
// writing the live-room table in tempdb.db: plain sqlite3, a connection of
// its own for each call.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <string>

// Runs `sql` (SQLite's dialect; several statements allowed) on `file` with a
// busy timeout of 5 s. A failure fails the test.
inline void ExecAsOutsideProgram(const std::string &file, const std::string &sql)
{
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK) << file;
    sqlite3_busy_timeout(db, 5000);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql << ": " << sqlite3_errmsg(db);
    sqlite3_close(db);
}
