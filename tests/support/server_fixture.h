#pragma once
// A server working directory in a temp folder: hotel.conf, velto.db from the
// seed (or velto.bak only, for a first start), the settings redirected there,
// the embedded engine pointed at it, and message boxes recorded.
#include "console/kelvor_dlg.h"
#include "support/message_recorder.h"
#include "support/temp_dir.h"

#include <QVariant>
#include <memory>
#include <string>

class ServerTest : public TempDirTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Two buildings: building 1 floor 2 with rooms 1..10 and the gap room 0,
    // building 2 floor 1 with rooms 0..2; 13 rooms in service.
    void WriteHotelConf(const std::string &text = kHotelConf);
    void InstallSeed(const QString &name);
    // Profile value, e.g. Setting("Network Configuration/BROADCAST INTERVAL").
    void SetSetting(const QString &key, const QVariant &value);
    QVariant Setting(const QString &key);
    // Broadcasts to the room units then reach a test socket on 127.0.0.1:3341.
    void SetRcuBroadcastToLoopback();
    // A statement on a connection of the test's own (the server's is not
    // open yet or is left alone).
    void SeedExec(const std::string &sql);

    // Constructs the server with the clock at m_now and runs its start-up.
    CKelvorDlg &Start();
    void Stop() { m_server.reset(); }

    static const char *const kHotelConf;
    int64_t m_now = 1700000000;
    MessageRecorder m_boxes;
    std::unique_ptr<CKelvorDlg> m_server;
    QString m_previousDir;
};
