#include "support/server_fixture.h"

#include "database/ado_recordset.h"
#include "database/engine_settings.h"
#include "console/settings.h"
#include "support/small_disk.h"

#include <QDir>
#include <QFile>
#include <QSettings>

const char *const ServerTest::kHotelConf = "[Hotel]\nName=Test Hotel\nAddress=1 Test Street\n"
                                           "[Layout]\nitem1=1 2 10 0\nitem2=2 1 3\n";

void ServerTest::SetUp()
{
    TempDirTest::SetUp();
    for (auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, Path(QStringLiteral("profile")));
    m_previousDir = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(Path()));
    database::EngineSettings settings;
    settings.engine = database::Engine::Embedded;
    settings.directory = Path();
    database::SetEngineSettings(settings);
    WriteHotelConf();
    ASSERT_TRUE(m_roomUnits.bind(QHostAddress::LocalHost, 0));
    m_ports.rcuUdp = m_roomUnits.localPort();
}

void ServerTest::TearDown()
{
    m_server.reset();
    database::SetEngineSettings(database::EngineSettings{});
    QDir::setCurrent(m_previousDir);
}

void ServerTest::WriteHotelConf(const std::string &text)
{
    QFile file(Path(QStringLiteral("hotel.conf")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.data(), static_cast<qint64>(text.size()));
}

void ServerTest::InstallSeed(const QString &name)
{
    QFile::remove(Path(name));
    ASSERT_TRUE(QFile::copy(QStringLiteral(KELVOR_SEED_DB), Path(name)));
    QFile(Path(name)).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
}

void ServerTest::UseDatabaseFolder(const QString &folder)
{
    database::EngineSettings settings;
    settings.engine = database::Engine::Embedded;
    settings.directory = Path(folder);
    database::SetEngineSettings(settings);
    InstallSeed(folder + QStringLiteral("/velto.db"));
}

void ServerTest::StartOnSmallDisk(SmallDisk &disk)
{
    std::string why;
    if (!disk.Mount(Path(QStringLiteral("disk")), 2 << 20, why))
        GTEST_SKIP() << "no small file system here: " << why;
    Stop();
    UseDatabaseFolder(QStringLiteral("disk"));
    Start();
    ASSERT_EQ(m_server->Mode(), StartMode::Full);
}

void ServerTest::SetSetting(const QString &key, const QVariant &value)
{
    OpenProfileSettings()->setValue(key, value);
}

void ServerTest::SetRcuBroadcastToLoopback()
{
    SetSetting(QStringLiteral("Network Configuration/RCU IP ADDRESS HIWORD"), 0x7F00);
    SetSetting(QStringLiteral("Network Configuration/RCU IP ADDRESS LOWORD"), 0x0001);
}

QVariant ServerTest::Setting(const QString &key)
{
    return OpenProfileSettings()->value(key);
}

void ServerTest::CommitServerBatch()
{
    if (m_server)
        m_server->m_db.CommitBatch();
}

void ServerTest::SeedExec(const std::string &sql)
{
    CommitServerBatch();
    CADODatabase db;
    ASSERT_TRUE(db.Open("Driver={SQL Server};Server=127.0.0.1;Uid=velto;Pwd=qubra;"));
    CADOMyRecordset rs(&db);
    ASSERT_TRUE(rs.Exec(sql)) << sql << "\n" << rs.GetLastErrorText();
}


CKelvorDlg &ServerTest::Start()
{
    m_server = std::make_unique<CKelvorDlg>(m_ports);
    m_server->m_clock = [this] { return m_now; };
    m_server->OnInitDialog();
    m_startupLogLines = m_server->LogModel().rowCount();
    return *m_server;
}

quint16 ServerTest::ServerUdpPort() const
{
    EXPECT_TRUE(m_server && m_server->HasUdpSocket()) << "the server has no UDP socket";
    return m_server ? m_server->UdpPort() : 0;
}

quint16 ServerTest::PmsPort(quint16 installationPort) const
{
    EXPECT_TRUE(installationPort == 40000 || installationPort == 9766) << installationPort;
    const quint16 port = m_server ? m_server->PmsListenerPort(installationPort == 9766 ? 1 : 0) : 0;
    EXPECT_NE(port, 0) << "no PMS listener for " << installationPort;
    return port;
}
