// Arbitrary datagrams through the dispatcher of a server whose hotel is built
// and whose embedded database is open (a copy of the seed in a temp folder),
// with the PMS XML form tried first. No sockets: the bytes go straight into
// the receive buffer, as a socket read would leave them.
#include "console/kelvor_dlg.h"
#include "database/engine_settings.h"
#include "model/hotel_conf.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

CKelvorDlg *g_server = nullptr;

void StartServer()
{
    static int argc = 1;
    static char name[] = "dispatcher_fuzz";
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

    g_server = new CKelvorDlg;
    g_server->m_clock = [] { return int64_t{1700000000}; };
    if (!g_server->m_db.Open("Driver={SQL Server};Server=127.0.0.1;Uid=velto;Pwd=qubra;"))
        std::abort();
    g_server->SetOptionDatabase(&g_server->m_db);
    HotelConf conf = ParseHotelConf("[Layout]\nitem1=1 2 10 0\nitem2=2 1 3\nitem3=1 3 100\n");
    g_server->m_hotel.SetLayout(std::move(conf.layout));
    g_server->m_hotel.BuildRooms();
    g_server->m_pmsType = 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!g_server)
        StartServer();
    const size_t length = size < kFrameBufferSize ? size : kFrameBufferSize;
    std::memcpy(g_server->m_recvBuf, data, length);
    g_server->HandleDatagram(static_cast<int>(length), 0x7F000001, 40001);
    return 0;
}
