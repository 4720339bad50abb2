#pragma once
// A running server with a PMS connected over TCP and a UDP socket playing
// the room unit of every room the test names.
#include "support/server_fixture.h"

#include <QTcpSocket>
#include <QUdpSocket>
#include <string>
#include <vector>

class PmsServerTest : public ServerTest {
protected:
    void SetUp() override;

    // The room's unit is m_unit: its address and port as if learnt.
    CRoom &PlaceUnit(int build, int floor, int room);
    // Connects a PMS client to the listener an installation has on port 40000
    // or 9766 (PmsPort) and waits until the server has accepted it.
    void Connect(QTcpSocket &pms, quint16 port = 40000);
    // Sends a command on the link and waits until the server has handled it;
    // returns what came back on that link (empty: no reply).
    std::string Command(const std::string &text, QTcpSocket *on = nullptr);

    // The datagrams the room unit has received since the last call.
    std::vector<QByteArray> Frames();
    // Log lines since the last call, UTF-8, without the time stamp.
    std::vector<std::string> NewLogLines();
    // Rows of event_msg_list written since SetUp: "b|f|r|type|title" (UTF-8).
    std::vector<std::string> NewEventRows();
    // One field of the first row a query returns on the server's connection.
    std::string Field(const std::string &sql, const std::string &field);
    void Exec(const std::string &sql);
    int RmState(int build, int floor, int room);

    QUdpSocket m_unit;
    QTcpSocket m_pms;
    int m_logSeen = 0;
    int m_eventsBefore = 0;
};

// An expected room-state frame: command 0x000C to the room, sub-record
// [4, state, CRC].
struct StateFrame {
    int build, floor, room, state;
    bool operator==(const StateFrame &) const = default;
};
std::vector<StateFrame> StateFrames(const std::vector<QByteArray> &frames);
std::string Utf8(const char *gbk);
