#include "console/kelvor_dlg.h"

#include "database/db_connection.h"
#include "database/engine_settings.h"
#include "pms/pms_link.h"
#include "protocol/udp_socket.h"
#include "platform/gbk.h"
#include "platform/message_box.h"

#include <QAbstractEventDispatcher>
#include <QDir>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <limits>

CKelvorDlg::CKelvorDlg(const ServerPorts &ports, QObject *parent) : QObject(parent), m_ports(ports)
{
    m_clock = [] { return static_cast<int64_t>(std::time(nullptr)); };
    // The option accessors report a closed connection rather than do nothing.
    SetOptionDatabase(&m_db);
    m_batchTimer.setSingleShot(true);
    m_batchTimer.setTimerType(Qt::PreciseTimer);
    m_batchTimer.setInterval(database::kBatchMaxAge);
    connect(&m_batchTimer, &QTimer::timeout, this, [this] { m_db.CommitBatch(); });
    m_db.EnableGroupCommit([this](const database::BatchLoss &loss) { LogBatchLoss(loss); },
                           [this] { m_batchTimer.start(); });
    m_monitorPassTimer.setSingleShot(true);
    m_monitorPassTimer.setInterval(kPendingPassInterval);
    m_db.SetLiveRoomFailureReporter([this](const std::string &diagnostic) { ReportFailedStatement(diagnostic); });
    for (int id = 0; id < 4; ++id)
        connect(&m_timers[id], &QTimer::timeout, this, [this, id] { OnTimer(id); });
}

CKelvorDlg::~CKelvorDlg() { OnDestroy(); }

int64_t CKelvorDlg::Now() const { return m_clock(); }

bool CKelvorDlg::OnInitDialog()
{
    // Also in the reduced modes: the operator may open the database later.
    if (auto *dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &CKelvorDlg::ContinueModal);
    InitSockets();
    // Nobody sees the box without a display, and a server without its UDP
    // socket serves no room unit and no workstation: start-up stops here and
    // the mode stays NotStarted, so the run can end as a failed one that a
    // service manager starts again.
    if (!m_udpSocket && m_udpRequired)
        return true;
    LogReceiveBuffer();
    const Bringup db = BringUpDatabase();
    if (db == Bringup::Failed) {
        m_mode = StartMode::Bare;
        emit StatusChanged();
        return true;
    }
    if (m_db.IsOpen())
        ConnectionBookkeeping();
    LoadHotel();
    if (m_db.IsOpen()) {
        CreateLiveRoomTable();
        LoadBuildingNames();
        if (IsPolledPmsType(m_pmsType))
            StartPmsThread();
    }
    LoadAlarmOptions();
    StartTimers();
    m_db.CommitBatch(); // the live-room rows, before anything else may look
    m_mode = m_db.IsOpen() ? StartMode::Full : StartMode::WithoutDatabase;
    emit StatusChanged();
    return true;
}

std::string CKelvorDlg::StartupSummary() const
{
    const char *mode = "not started";
    switch (m_mode) {
    case StartMode::NotStarted: break;
    case StartMode::Full: mode = "full"; break;
    case StartMode::WithoutDatabase: mode = "without database"; break;
    case StartMode::Bare: mode = "bare"; break;
    }
    const database::EngineSettings engine = database::CurrentEngineSettings();
    std::string line = std::string("kelvor-server started: mode ") + mode + ", engine ";
    if (engine.engine == database::Engine::Odbc) {
        line += "SQL Server through ODBC";
    } else {
        const QString folder = engine.directory.isEmpty() ? QDir::currentPath() : engine.directory;
        line += "embedded SQLite in " + platform::GbkFromQString(QDir::toNativeSeparators(folder)).toStdString();
    }
    line += ", " + std::to_string(m_hotel.GetTotalRooms()) + " rooms, serving";
    bool any = false;
    auto serves = [&](const char *what, int port) {
        line += (any ? ", " : " ") + std::string(what) + " " + std::to_string(port);
        any = true;
    };
    if (const uint16_t udp = UdpPort())
        serves("UDP", udp);
    for (int i = 0; i < 2; ++i)
        if (const uint16_t tcp = PmsListenerPort(i))
            serves("TCP", tcp);
    if (!any) {
        line += " no port";
        if (!m_udpFailure.empty())
            line += " (" + m_udpFailure + ")";
    }
    return line;
}

// Qt needs no socket layer start; the UDP socket and both listeners are made
// independently of each other, then the settings are read.
void CKelvorDlg::InitSockets()
{
    auto *udp = new CUdpSocket(this);
    if (udp->Create(m_ports.serverUdp)) {
        m_udpSocket = udp;
    } else {
        // The box says only that it failed; the log says why.
        m_udpFailure = udp->FailureText();
        delete udp;
        m_udpSocket = nullptr;
        platform::WriteStderrLine(m_udpFailure);
        platform::MessageBox("创建UDP SOCKET失败！");
    }
    CreatePmsListeners();
    ReadSettings();
}

void CKelvorDlg::StartTimers()
{
    // The parameters dialog accepts 3..2000 s; a profile value below 1 would
    // make the poll spin, so it falls back to the default 10 s, and one too
    // large for a millisecond period is taken as the longest period there is.
    int interval = m_broadcastInterval >= 1 ? m_broadcastInterval : 10;
    interval = std::min(interval, std::numeric_limits<int>::max() / 1000);
    const int periods[4] = {1000, interval * 1000, 480000, 60000};
    for (int id = 0; id < 4; ++id)
        m_timers[id].start(periods[id]);
}

// The idle hook of the modal loop: the event loop is about to wait. Datagrams
// still queued on the socket count as waiting messages, so a burst is
// handled before the monitor runs, and its writes share one transaction
// until then (or until a bound of the group commit ends it: the batch timer
// for its age, the connection itself for its length).
void CKelvorDlg::ContinueModal()
{
    if (m_inIdlePass || !m_db.IsOpen() || (m_udpSocket && m_udpSocket->hasPendingDatagrams()))
        return;
    // Committed before the pushes, so a workstation told of an event finds
    // its row; and after, for the rows the monitor wrote itself.
    m_db.CommitBatch();
    if (m_idleLoopLevel >= 0 && QThread::currentThread()->loopLevel() != m_idleLoopLevel)
        return;
    m_inIdlePass = true;
    ++m_idlePasses;
    ScanRooms();
    m_inIdlePass = false;
    m_db.CommitBatch();
}

void CKelvorDlg::LogBatchLoss(const database::BatchLoss &loss)
{
    char text[sizeof m_logText];
    std::snprintf(text, sizeof text, "数据库回滚了%d条未提交的语句: %s", loss.statements, loss.reason.c_str());
    AddLog(text);
    RewindEventIndex();
}

void CKelvorDlg::OnDestroy()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    if (auto *dispatcher = QAbstractEventDispatcher::instance())
        disconnect(dispatcher, nullptr, this, nullptr);
    if (m_mode != StartMode::NotStarted)
        HandleQueuedDatagrams();
    // On SQL Server the poller's reads wait for the rows an open batch has
    // written: committed first, the poller can come to see the flag.
    m_db.CommitBatch();
    m_pmsPollerGate.Stop(m_stopThread);
    // The poller tests the flag at least every 400 ms; should it still run
    // after that, the connection it uses is not closed under it.
    if (m_pmsThread && !m_pmsThread->wait(400))
        m_pmsThread->wait();
    for (QTimer &timer : m_timers)
        timer.stop();
    m_monitorPassTimer.stop();
    if (m_mode != StartMode::NotStarted)
        ShutdownServer();
    else
        CloseSockets(); // a start cut short after the sockets has nothing else to end or write back
}

// Reports queued on the socket when the stop came were sent before it and
// are handled (and committed) like any other; a socket that never empties
// ends the handling after kShutdownReadLimit.
void CKelvorDlg::HandleQueuedDatagrams()
{
    if (!m_udpSocket || !m_db.IsOpen())
        return;
    const auto deadline = std::chrono::steady_clock::now() + kShutdownReadLimit;
    int handled = 0;
    while (m_udpSocket->hasPendingDatagrams()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            std::snprintf(m_logText, sizeof m_logText, "停止服务: %lld秒内处理了%d个排队的UDP报文，其余的未处理",
                          static_cast<long long>(kShutdownReadLimit.count()), handled);
            AddLog(m_logText);
            break;
        }
        // One at a time: the deadline is looked at between any two.
        handled += ReceiveDatagrams(1);
    }
    m_db.CommitBatch();
}

void CKelvorDlg::ShutdownServer()
{
    m_db.Close();
    WriteSettings();
    FreeOnlineClients();
    CloseSockets();
}

void CKelvorDlg::CloseSockets()
{
    delete m_udpSocket;
    m_udpSocket = nullptr;
    for (CTcpSocket *&listener : m_pmsListeners) {
        delete listener;
        listener = nullptr;
    }
    delete m_pmsLink;
    m_pmsLink = nullptr;
}
