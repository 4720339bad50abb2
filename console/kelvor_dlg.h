#pragma once
// The server's main object: it owns every long-lived thing of the running
// server (sockets, database connection, hotel, buffers, counters, settings,
// timers) and carries the datagram, timer and start-up handlers. It knows no
// widgets: the operator window (console/widgets) views it through the log
// model, the room list and the StatusChanged signal.
//
// Handlers of the protocol engine and the PMS link live in their own source
// files (protocol/, pms/) as members of this class; their members are grouped
// below by area so each area can grow on its own.
#include "database/ado_database.h"
#include "database/ado_recordset.h"
#include "database/sys_option.h"
#include "model/hotel.h"
#include "platform/error_line.h"
#include "pms/pms_commands.h"
#include "pms/pms_poller.h"
#include "pms/pms_type.h"
#include "protocol/msg.h"
#include "protocol/online_client.h"
#include "protocol/room_monitor.h"
#include "protocol/statement_forms.h"
#include "xml/xml_doc.h"

#include <QItemSelectionModel>
#include <QObject>
#include <QStringListModel>
#include <QTimer>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CUdpSocket;
class CTcpSocket;
class CClientSocket;
class CRoom;
class PmsCommandStream;
class QThread;

// The ports of the installation (not settings): the server's own UDP port,
// the port the room units listen on, and the two PMS listeners. The program
// runs on these; tests give port 0 (the system picks one) for the server's
// own ports and a socket of theirs for the room units'.
struct ServerPorts {
    uint16_t serverUdp = 3338;
    uint16_t rcuUdp = 3341;
    std::array<uint16_t, 2> pmsTcp = {40000, 9766};
};
constexpr int kFrameBufferSize = 3000;
// How long an orderly shutdown goes on reading what is queued on the UDP
// socket before it stops.
constexpr std::chrono::seconds kShutdownReadLimit{2};
constexpr int kLogLines = 500;

// How start-up ended; the window runs in that mode until shutdown.
enum class StartMode { NotStarted, Full, WithoutDatabase, Bare };

// The texts of the status area, in GBK, as the window shows them.
struct StatusTexts {
    bool dbOpen = false;
    std::string dbState;      // 1024
    std::string rcuRecv;      // 1019, "known/all"
    std::string rcuSend;      // 1021
    std::string clientRecv;   // 1028
    std::string clientSend;   // 1029
    std::string hotelInfo;    // 1041
    std::string roomCount;    // 1042
    std::string statusNote;   // 1043
    std::string hotelName;    // 1027 (hidden)
    std::string hotelAddress; // 1030 (hidden)
    std::string totalRooms;   // 1057 (hidden)
};

// One item of the (hidden) room selector: the text and the room it names,
// null for "所有房间".
struct RoomListItem {
    std::string text; // GBK
    CRoom *room = nullptr;
};

class CKelvorDlg : public QObject, public CSysOption {
    Q_OBJECT
public:
    explicit CKelvorDlg(const ServerPorts &ports = ServerPorts{}, QObject *parent = nullptr);
    ~CKelvorDlg() override;
    CKelvorDlg(const CKelvorDlg &) = delete;
    CKelvorDlg &operator=(const CKelvorDlg &) = delete;

    // ---- Start-up and shutdown -------------------------------------------
    // The server's part of the window's initialisation: sockets, settings,
    // database, hotel, live-room table, timers. Always true.
    bool OnInitDialog();
    // Set without a display: a start whose UDP socket cannot be made ends
    // after the sockets, in mode NotStarted (the desktop shows the box and
    // runs on).
    bool m_udpRequired = false;
    void InitSockets();
    // Handles the datagrams already queued and commits, then stops the
    // poller, the timers and everything ShutdownServer frees (in mode
    // NotStarted only the sockets: nothing was served, nothing is written
    // back). Runs once; the destructor runs it when nobody did.
    void OnDestroy();
    void ShutdownServer();
    // The UDP socket, the PMS listeners and the PMS link, each when set:
    // ShutdownServer's last step, and all a start cut short after the
    // sockets (mode NotStarted) has to end, with nothing written back.
    void CloseSockets();
    StartMode Mode() const { return m_mode; }
    // One line for the log of a server without a display: the mode, the
    // database engine, the rooms in service and the ports served.
    std::string StartupSummary() const;

    // Asked on the first start, when the server's own login is refused: the
    // database administrator's password for user "sa" (GBK). False when the
    // operator cancels. The window fills it with CDlgSql; tests fill it directly.
    std::function<bool(std::string &saPassword)> m_askAdminPassword;

    // The clock, whole seconds since 1970 (UTC). Replaceable for tests.
    std::function<int64_t()> m_clock;
    int64_t Now() const;

    // ---- Event log and window texts --------------------------------------
    void AddLog(std::string_view text, int unused = 0);
    // Without a display every log line also goes to stderr (platform/error_line.h).
    bool m_logToStderr = false;
    // The log lines' "[%H:%M]  " stamp, made again when the minute changes.
    int64_t m_logStampMinute = -1;
    char m_logStamp[16] = "[00:00]  ";
    QStringListModel &LogModel() { return m_logModel; }
    QItemSelectionModel &LogSelection() { return m_logSelection; }
    StatusTexts GetStatusTexts() const;
    const std::vector<RoomListItem> &RoomList() const { return m_roomList; }

    // ---- Timers (ids 0..3) -----------------------------------------------
    void OnTimer(int id);
    const QTimer &Timer(int id) const { return m_timers[id]; }
    // System options 13, 14 and 15 into the alarm settings: by timer 0, and
    // once at start-up, so that the reports and the monitor's passes before
    // its first tick judge by them and not by zeros.
    void LoadAlarmOptions();

    // ---- Idle hook ---------------------------------------------------------
    // Runs once whenever the event queue has drained: the room monitor, while
    // the database is open. Only in the event loop of the given level (the
    // window's modal run; -1: any), so a message box opened by a handler
    // never starts a monitor pass in the middle of that handler.
    void ContinueModal();
    // A line in the event log for writes the database threw away, and the
    // last event index back to the highest committed row.
    void LogBatchLoss(const database::BatchLoss &loss);
    void RewindEventIndex();
    int m_idleLoopLevel = -1;
    int m_idlePasses = 0; // monitor passes run so far

    // ---- UDP socket and dispatcher -----------------------------------------
    // The bytes sent; 0 or below when nothing went out. Callers go on without
    // looking: a datagram that did not go out is only left uncounted, and
    // the units and workstations ask again (polls, keep-alives, requests).
    int SendUdp(int length, int port, const char *address);
    // To every room unit: the RCU broadcast address, the room units' port.
    int SendToRcuBroadcast(int length);
    // The port every room unit listens on (3341 in an installation).
    int RcuPort() const { return m_ports.rcuUdp; }
    // The ports the server's sockets are bound to; 0 for a socket that
    // could not be made.
    uint16_t UdpPort() const;
    uint16_t PmsListenerPort(int index) const;
    void OnUdpReceive();
    // Reads and handles up to `most` queued datagrams; how many it took off
    // the queue.
    int ReceiveDatagrams(int most);
    // The dispatcher's work on the datagram of length bytes that has just
    // been read into m_recvBuf.
    void HandleDatagram(int length, uint32_t senderIp, uint16_t senderPort);
    bool HasUdpSocket() const { return m_udpSocket != nullptr; }
    // Start-up: the receive buffer the kernel granted, and how to raise its
    // limit when it is short.
    void LogReceiveBuffer();
    // Timer 0: a line when the kernel dropped datagrams for a full receive
    // buffer since the last look.
    void ReportKernelDrops();

signals:
    // The status texts may have changed (once a second, and when the mode
    // changes); the window re-reads GetStatusTexts.
    void StatusChanged();
    // An online client was removed; the online users dialog refreshes.
    void OnlineClientRemoved();
    // An online client was added by a login; the online users dialog refreshes.
    void OnlineClientAdded();

public:
    // ---- Connection, hotel and start-up bookkeeping ------------------------
    CADODatabase m_db;
    int64_t m_connectedSince = 0;  // when the connection last opened
    uint64_t m_lastEventIndex = 0; // highest event row pushed to workstations
    int m_newEvent = 0;            // set by every event row insert
    CHotel m_hotel;
    std::string m_hotelName, m_hotelAddress; // GBK, from hotel.conf

    // ---- Settings ("Network Configuration", "Interface Configuration") -----
    int m_localUdpPort = 0;
    int m_broadcastInterval = 0;
    int m_rcuUdpPort = 0;
    uint32_t m_gatewayAddr = 0;
    uint32_t m_rcuBroadcastIp = 0;
    int m_pmsType = kPmsNone; // a PmsType, or whatever else the settings hold
    int m_hmsPort = 0;
    uint32_t m_hmsIp = 0;
    int m_hmsIpAuto = 0;
    int m_autoCheckTime = 0;
    int m_autoCheckInterval = 0;

    // ---- Alarm options 14, 15 and 13, reloaded every second ----------------
    int m_rangeLow = 0, m_rangeHigh = 0, m_doorAlarmDelay = 0;

    // ---- UDP socket and sending; the counters only grow ---------------------
    CUdpSocket *m_udpSocket = nullptr;
    std::string m_udpFailure; // why there is no socket: "UDP port 3338: ..."
    uint8_t m_sendBuf[kFrameBufferSize] = {};
    int m_rcuSendCount = 0, m_clientSendCount = 0;
    int64_t m_kernelDrops = 0; // datagrams the kernel dropped, as last reported

    // ---- Dispatcher, and its storage shared by the handlers it calls -------
    uint8_t m_recvBuf[kFrameBufferSize + 1] = {};
    int m_recvLength = 0; // length of the datagram in m_recvBuf
    int m_rcuRecvCount = 0, m_rcuKnownCount = 0, m_clientRecvCount = 0;
    char m_senderAddr[16] = {}; // dotted IPv4 of the last datagram's sender
    uint32_t m_senderIp = 0;    // the same, host order
    uint16_t m_senderPort = 0;
    CRoom *m_curMsgRoom = nullptr; // the room of the RCU datagram in hand
    CMsg m_request;                // the workstation request in hand
    char m_logText[512] = {};      // reused for the handlers' log lines
    CXmlDoc m_pmsUdpCommand;       // a foxhis command that came as a datagram

    // ---- Online clients (protocol/online_client.cpp) ----------------------------
    OnlineClients m_clients; // login order
    // The window-free builder over m_clients; frame holds kFrameBufferSize
    // bytes (always m_sendBuf).
    uint16_t BuildClientFrame(uint8_t *frame, const CMsg &msg, bool secondPart);
    // Removes and destroys the client at that position; the dialog refreshes.
    void RemoveOnlineClient(size_t index);
    void OnClientLogin(int64_t now);
    // protocol/client_room_commands.cpp: an accepted request in m_request
    // that is none of the login, keep-alive, logout and query codes.
    void OnClientRoomCommand(int64_t now);

    // ---- Statements and log line of the datagram handlers (status reports area)
    // The dispatcher's one recordset, made on first use and kept, and its SQL
    // text. ExecDispatchSql runs the first length bytes of m_dispatchSql and
    // closes the recordset; a failure changes nothing of what the handler
    // does, it is only reported (a length below 0, a statement that did not
    // fit, runs nothing).
    CADOMyRecordset &DispatchRecordset();
    void ExecDispatchSql(int length);
    // An event row or live-room statement of the handlers, the monitor or the
    // PMS commands that failed: its error text to standard error, at most a
    // line a second; the event log says it once for each connection opened.
    void ReportFailedStatement(const CADORecordset &recordset);
    // The same for a statement kept and run at the end of the datagram.
    void ReportFailedStatement(const std::string &diagnostic);
    // "房间状态改变" for a room, with the change code of the datagram in hand.
    void LogRoomChanged(int build, int floor, int room, int changeCode);
    std::unique_ptr<CADOMyRecordset> m_dispatchRecordset;
    char m_dispatchSql[kStatementSize] = {};
    platform::ThrottledErrorLine m_statementErrors;
    bool m_statementsFailing = false; // the event log has said so on this connection

    // ---- Room monitor (protocol/room_monitor.cpp) -------------------------------
    // Builds the reply once and sends it to every logged-in online client.
    void PushToLoggedInClients(const CMsg &msg);
    void HandlePolledPmsChange(CRoom &room);
    void CheckDoorAlarm(CRoom &room, int64_t now);
    void PushNewEvents();
    std::unique_ptr<RoomMonitorStorage> m_monitor; // made by the first pass

    // ---- Workstation room commands -------------------------------------------
    int16_t m_cmdSeq = 0;

    // ---- The other RCU reports and answers (protocol/rcu_reports.cpp) -------
    // Reply 0x88 or 0x8D from the answer in m_recvBuf, to every online client
    // waiting for an answer.
    void ForwardRcuAnswer(uint16_t replyCode);

    // ---- PMS link and poller --------------------------------------------------
    CTcpSocket *m_pmsListeners[2] = {nullptr, nullptr}; // TCP 40000, 9766 in an installation
    CClientSocket *m_pmsLink = nullptr;
    uint8_t m_pmsReplyBuf[kFrameBufferSize] = {};
    uint8_t m_pmsRecvBuf[kFrameBufferSize + 1] = {};
    QThread *m_pmsThread = nullptr;
    std::atomic<int> m_stopThread{0};
    PmsPollerGate m_pmsPollerGate; // a restore closes the poller's connection through it
    // pms/: the accept of a new link; one read from it (false when nothing
    // was read) and the commands it completed, in order; the command handler
    // on the command that is in m_pmsRecvBuf (length bytes); the replies.
    void OnPmsAccepted(CClientSocket *link);
    bool OnPmsReceive();
    // link: the connection the stream belongs to (null: none), whose
    // replacement ends the handling.
    void HandlePmsCommands(PmsCommandStream &commands, CClientSocket *link);
    void HandlePmsCommand(int length);
    // The first length bytes of m_pmsReplyBuf to the link; 0 without a link.
    int SendToPms(int length);
    int SendToPmsLink(const void *data, size_t length);
    CPmsCommands m_pmsCommands{*this};

    // ---- Settings I/O -------------------------------------------------------
    void ReadSettings();
    void WriteSettings();

    // ---- Operator commands of the window (console/operator_commands.cpp) ----
    void OnBtnRefreshState();
    void OnBtnSendTime() { BroadcastTime(); }
    void OnBtnTest();
    // The room of the selector's item; null for none or "所有房间".
    void OnBtnGetRoomState(CRoom *selected);
    void OnBtnGetHostTime(CRoom *selected);
    void OnBtnLoginDb();
    // "velto%d%02d%02d-%02d%02d%02d.bak" of the local time now.
    std::string BackupFileName() const;
    // The backup to, and the restore (after the operator's Yes) from, a file
    // the database server reads or writes itself; path in GBK.
    void BackupDatabase(const std::string &path);
    void RestoreDatabase(const std::string &path);

private:
    // Start-up steps.
    enum class Bringup { Open, Closed, Failed };
    // The highest event row already in the table into index (left as it is
    // when the query failed: false), or into m_lastEventIndex.
    bool ReadHighestEventIndex(uint64_t &index);
    bool ReadLastEventIndex();
    Bringup BringUpDatabase();
    bool RunRepairPath();
    void ForgetAdminLogin();
    void ConnectionBookkeeping();
    void LoadHotel();
    void CreateLiveRoomTable();
    void LoadBuildingNames();
    void CreatePmsListeners();
    void StartTimers();
    void HandleQueuedDatagrams();

    // Dispatcher steps.
    void DispatchDatagram(int length);
    bool TryPmsXmlDatagram(int length);

    // Where the dispatcher, the timers and shutdown hand over to the handlers
    // of the other areas, each in its own file.
    // protocol/status_report.cpp: RCU reports 0x81 and 0x84.
    void OnRcuStatusReport(int64_t now, CRoom *room, int code);
    // protocol/rcu_reports.cpp: the other RCU reports and answers.
    void OnRcuOtherReport(int64_t now, CRoom *room, int code);
    // protocol/floor_panel.cpp: call masks 0x91 and 0x92 of a floor panel.
    void OnPanelCallMask(int64_t now, int build, int floor, int room, int code);
    // protocol/online_client.cpp: a workstation request in m_request; the
    // expiry of silent clients (timer 0); freeing them at shutdown.
    void OnClientRequest(int64_t now);
    void ExpireOnlineClients(int64_t now);
    void FreeOnlineClients();
    // protocol/room_monitor.cpp: one pass of the room monitor.
    void ScanRooms();
    // pms/pms_udp.cpp: a well-formed datagram, parsed into the document,
    // from the sender's dotted address; true when it was a foxhis command
    // (root "foxhis" with a "func" child), handled and answered.
    // pms/pms_poller.cpp: the PMS room-state poller.
    bool OnPmsDatagram(CXmlDoc &datagram, const char *senderAddress);
    void StartPmsThread();

    // Timer work.
    void BroadcastPoll();
    void BroadcastTime();

    const ServerPorts m_ports;
    StartMode m_mode = StartMode::NotStarted;
    bool m_destroyed = false;
    bool m_inIdlePass = false;
    std::array<QTimer, 4> m_timers;
    QTimer m_batchTimer; // commits a batch of writes that has grown old
    // Wakes the event loop while rooms are still marked changed; its idle
    // hook then runs the next monitor pass.
    QTimer m_monitorPassTimer;
    QStringListModel m_logModel;
    QItemSelectionModel m_logSelection{&m_logModel};
    std::vector<RoomListItem> m_roomList;
    int m_recvDirty = 0; // bytes of m_recvBuf an earlier datagram may have left
};
