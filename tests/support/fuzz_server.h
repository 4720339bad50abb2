#pragma once
// The server the in-process fuzz targets feed: no sockets, the clock fixed,
// the hotel built from layout (hotel.conf's [Layout] lines) and the embedded
// database a copy of the seed in a temp folder, opened. FuzzInvariants is
// what every input must leave true.
#include "console/kelvor_dlg.h"
#include "database/ado_recordset.h"
#include "database/engine_settings.h"
#include "model/hotel_conf.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

inline CKelvorDlg *StartFuzzServer(const char *layout)
{
    static int argc = 1;
    static char name[] = "kelvor_fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static QTemporaryDir dir;
    const QString db = QDir(dir.path()).filePath(QStringLiteral("velto.db"));
    if (!QFile::copy(QStringLiteral(KELVOR_SEED_DB), db))
        std::abort();
    QFile(db).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    database::EngineSettings settings;
    settings.directory = dir.path();
    database::SetEngineSettings(settings);

    auto *server = new CKelvorDlg;
    server->m_clock = [] { return int64_t{1700000000}; };
    if (!server->m_db.Open("Driver={SQL Server};Server=127.0.0.1;Uid=velto;Pwd=qubra;"))
        std::abort();
    HotelConf conf = ParseHotelConf(layout);
    server->m_hotel.SetLayout(std::move(conf.layout));
    server->m_hotel.BuildRooms();
    return server;
}

// Checked after every input: the traffic counters only grow, the database
// passes SQLite's own check, no table lost a row (no input deletes anything;
// a row gone means a statement ran that no handler writes) and the server
// still answers a request (probe: true when it did). A violation is written
// to stderr and aborts, so libFuzzer keeps the input and the corpus replay
// in CTest fails.
class FuzzInvariants {
public:
    FuzzInvariants(CKelvorDlg &server, std::function<bool()> probe, std::vector<std::string> extraTables = {})
        : m_server(server), m_probe(std::move(probe)), m_rs(&server.m_db), m_tables(std::move(extraTables))
    {
        if (!m_rs.Exec("select name from sqlite_master where type = 'table' order by name"))
            Fail("the table list cannot be read: " + m_rs.GetLastErrorText());
        for (; !m_rs.IsEof(); m_rs.MoveNext())
            m_tables.push_back(m_rs.GetFieldString("name"));
        m_rs.Close();
        m_counters = Counters();
        m_rows = RowCounts();
    }

    void Check()
    {
        const std::array<int, 5> counters = Counters();
        for (size_t i = 0; i < counters.size(); ++i) {
            if (counters[i] < m_counters[i])
                Fail("traffic counter " + std::to_string(i) + " fell from " + std::to_string(m_counters[i]) + " to "
                     + std::to_string(counters[i]));
        }
        m_counters = counters;
        if (!m_server.m_db.IsOpen())
            Fail("the database connection is closed");
        if (!m_rs.Exec("pragma quick_check") || m_rs.GetFieldString("quick_check") != "ok")
            Fail("the database check failed: " + m_rs.GetFieldString("quick_check") + m_rs.GetLastErrorText());
        m_rs.Close();
        const std::vector<long long> rows = RowCounts();
        for (size_t i = 0; i < rows.size(); ++i) {
            if (rows[i] < m_rows[i])
                Fail("table " + m_tables[i] + " lost rows: " + std::to_string(m_rows[i]) + " before, "
                     + std::to_string(rows[i]) + " now");
        }
        m_rows = rows;
        if (!m_probe())
            Fail("the server no longer answers its probe request");
    }

private:
    [[noreturn]] static void Fail(const std::string &what)
    {
        std::fprintf(stderr, "fuzz invariant violated: %s\n", what.c_str());
        std::abort();
    }

    std::array<int, 5> Counters() const
    {
        return {m_server.m_rcuSendCount, m_server.m_clientSendCount, m_server.m_rcuRecvCount,
                m_server.m_rcuKnownCount, m_server.m_clientRecvCount};
    }

    std::vector<long long> RowCounts()
    {
        std::vector<long long> rows;
        for (const std::string &table : m_tables) {
            if (!m_rs.Exec("select count(*) as n from " + table))
                Fail("table " + table + " cannot be read: " + m_rs.GetLastErrorText());
            rows.push_back(std::stoll(m_rs.GetFieldString("n")));
            m_rs.Close();
        }
        return rows;
    }

    CKelvorDlg &m_server;
    std::function<bool()> m_probe;
    CADOMyRecordset m_rs;
    std::vector<std::string> m_tables;
    std::array<int, 5> m_counters{};
    std::vector<long long> m_rows;
};
