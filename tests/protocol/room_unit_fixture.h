#pragma once
// A running server with a room unit and a workstation on loopback sockets:
// room 1|205 has learnt the unit's address and port, and online clients can
// be added at the workstation's address and port as a login would add them.
#include "support/server_fixture.h"

#include <QByteArray>
#include <QUdpSocket>
#include <cstdint>
#include <string>
#include <vector>

class COnlineClient;

class RoomUnitTest : public ServerTest {
protected:
    void SetUp() override;

    // Sends and waits until the server has handled everything sent so far.
    void Send(const QByteArray &datagram, QUdpSocket &from);
    // Every datagram waiting at the socket, in arrival order.
    static std::vector<QByteArray> Received(QUdpSocket &socket);

    // A report of room 1|205's unit: code big-endian, the payload from byte 22.
    static QByteArray RcuReport(int code, const QByteArray &payload, int build = 1, int floor = 2, int room = 5);
    // A workstation request of the given length; bytes 22.. hold their own
    // offsets (byte 27 is 27), so each payload byte shows where it came from.
    struct Request {
        int code;
        int build = 1, floor = 2, room = 5;
        uint16_t tag = 0x1234;
        uint8_t answerWanted = 1;
        int length = 64;
    };
    static QByteArray ClientRequest(const Request &request);

    COnlineClient &AddClient(const QUdpSocket &at, const char *userName = "alice");

    // The event list's lines since start-up in UTF-8, without their time prefix.
    std::vector<std::string> LogLines() const;
    // The rows of a select on the server's connection, each field as text.
    std::vector<std::vector<std::string>> Rows(const std::string &sql, const std::vector<std::string> &columns);

    CRoom &Room() { return *m_server->m_hotel.FindRoom(1, 2, 5); }

    QUdpSocket m_unit;
    QUdpSocket m_station;
};
