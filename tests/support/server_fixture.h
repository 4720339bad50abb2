#pragma once
// A server working directory in a temp folder: hotel.conf, velto.db from the
// seed (or velto.bak only, for a first start), the settings redirected there,
// the embedded engine pointed at it, and message boxes recorded.
//
// The server gets ports of its own, never the installation's: it binds its
// UDP socket and PMS listeners on ports the system picks (read them back with
// ServerUdpPort and PmsPort), and its room unit frames go to m_roomUnits's
// port. So tests run side by side, and beside a running server.
#include "console/kelvor_dlg.h"
#include "support/message_recorder.h"
#include "support/temp_dir.h"

#include <QUdpSocket>
#include <QVariant>
#include <memory>
#include <string>

class SmallDisk;

class ServerTest : public TempDirTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Two buildings: building 1 floor 2 with rooms 1..10 and the gap room 0,
    // building 2 floor 1 with rooms 0..2; 13 rooms in service.
    void WriteHotelConf(const std::string &text = kHotelConf);
    void InstallSeed(const QString &name);
    // The embedded engine's folder moved to `folder` below the working
    // directory, with a copy of the seed as its velto.db; Start opens it.
    void UseDatabaseFolder(const QString &folder);
    // The server (re)started in full mode with its database on `disk`, a
    // 2 MiB file system over the folder "disk", so that a commit can be made
    // to fail; the test is skipped where no such file system can be made.
    // Callers go on only when !IsSkipped() && !HasFatalFailure().
    void StartOnSmallDisk(SmallDisk &disk);
    // Profile value, e.g. Setting("Network Configuration/BROADCAST INTERVAL").
    void SetSetting(const QString &key, const QVariant &value);
    QVariant Setting(const QString &key);
    // Broadcasts to the room units then reach m_roomUnits.
    void SetRcuBroadcastToLoopback();
    // A statement on a connection of the test's own (the server's is not
    // open yet or is left alone). Like any outside program it comes after
    // the server's idle moment, which commits the server's open batch.
    void SeedExec(const std::string &sql);
    // Commits the running server's open batch of writes, as its idle moment
    // does, so a connection of the test's own sees them.
    void CommitServerBatch();

    // Constructs the server on m_ports with the clock at m_now and runs its
    // start-up.
    CKelvorDlg &Start();
    // Event log lines start-up wrote (the receive buffer line among them);
    // the helpers that read a test's own lines begin after them.
    int m_startupLogLines = 0;
    void Stop() { m_server.reset(); }

    // Where the running server is reached: its UDP socket's port, and the
    // port of the PMS listener that an installation has on 40000 or 9766.
    quint16 ServerUdpPort() const;
    quint16 PmsPort(quint16 installationPort = 40000) const;

    static const char *const kHotelConf;
    int64_t m_now = 1700000000;
    MessageRecorder m_boxes;
    std::unique_ptr<CKelvorDlg> m_server;
    QString m_previousDir;
    // Plays every room unit at 127.0.0.1: it holds the port the server sends
    // room unit frames to (broadcasts, once SetRcuBroadcastToLoopback, and
    // commands to a room at 127.0.0.1 by the room units' port).
    QUdpSocket m_roomUnits;
    // The ports a server made by the test gets: the system picks the
    // server's own (0); SetUp sets the room units' port to m_roomUnits's and
    // leaves the others alone. A test may point one at a socket of its own
    // before it makes the server.
    ServerPorts m_ports{0, 0, {0, 0}};
};
