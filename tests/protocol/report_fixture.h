#pragma once
// A started server that room units and floor panels talk to over loopback,
// with frame builders for the status reports and the panel mask and readers
// of what the handlers wrote into the database.
#include "support/server_fixture.h"

#include <QByteArray>
#include <QUdpSocket>
#include <cstdint>
#include <string>
#include <vector>

// A room unit datagram of `length` bytes: start byte, length, "ZOLP",
// receiver 1, sender kind, command big-endian at 15..16, building, floor and
// room at 18..20.
class TestFrame {
public:
    TestFrame(int length, int senderKind, int code, int build, int floor, int room);
    TestFrame &Set(int offset, uint8_t value);
    TestFrame &Set32(int offset, uint32_t value); // little-endian
    const QByteArray &Bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

// A full report (79 bytes) whose every stored field equals a new room's
// defaults, so sending it changes only what the test sets.
TestFrame QuietFullReport(int build, int floor, int room);
// The same for the short report (49 bytes).
TestFrame QuietShortReport(int build, int floor, int room);
// A panel mask datagram (30 bytes).
TestFrame PanelMask(int build, int floor, int code, uint32_t mask);

struct EventRowSeen {
    int room, type;
    std::string title; // GBK
    int cardSn, cardId;
    bool operator==(const EventRowSeen &) const = default;
};

class ReportTest : public ServerTest {
protected:
    // Starts with the given system options 14 and 15 loaded, as timer 0
    // loads them.
    void StartServer(int rangeLow = 5, int rangeHigh = 40);

    // Sends from the test's unit socket and waits until the server has read
    // everything sent so far.
    void Send(const TestFrame &frame);

    std::vector<EventRowSeen> EventRows();
    int CountRows(const std::string &table);
    // A column of a room's live-room row; -1 when the room has no row.
    int LiveRoom(int build, int floor, int room, const std::string &column);
    // Column values of the fan-coil history rows, in order.
    std::vector<std::vector<int>> FanCoilRows();
    std::vector<std::string> LogLinesSince(int first);
    int LogLines() const { return m_server->LogModel().rowCount(); }
    CRoom &Room(int build, int floor, int room);
    // What the room monitor does after a push.
    void ClearMarks();

    QUdpSocket m_unit;
};
