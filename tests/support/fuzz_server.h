#pragma once
// The server the in-process fuzz targets feed: no sockets, the clock fixed,
// the hotel built from layout (hotel.conf's [Layout] lines) and the embedded
// database a copy of the seed in a temp folder, opened.
#include "console/kelvor_dlg.h"
#include "database/engine_settings.h"
#include "model/hotel_conf.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <utility>

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
