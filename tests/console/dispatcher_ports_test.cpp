// The datagram dispatcher on the real socket: the checks that drop a datagram
// silently, the room byte adjustment, the unknown-room line, the learning of
// a unit's address and port, and the counters.
#include "support/datagrams.h"
#include "support/server_fixture.h"

#include "platform/gbk.h"
#include "protocol/udp_socket.h"

#include <QTest>
#include <QUdpSocket>
#include <cstring>

namespace {

// A datagram as a room unit sends it: start byte, length, "ZOLP", receiver 1,
// sender 0, code big-endian at 15..16, building, floor, room at 18..20.
QByteArray RcuFrame(int build, int floor, int room, int code, int length = 24)
{
    QByteArray f(length, '\0');
    auto *b = reinterpret_cast<uint8_t *>(f.data());
    b[0] = 0xFF;
    b[1] = static_cast<uint8_t>(length);
    std::memcpy(b + 2, "ZOLP", 4);
    b[6] = 1;
    b[7] = 0;
    if (length > 20) {
        b[15] = static_cast<uint8_t>(code >> 8);
        b[16] = static_cast<uint8_t>(code);
        b[18] = static_cast<uint8_t>(build);
        b[19] = static_cast<uint8_t>(floor);
        b[20] = static_cast<uint8_t>(room);
    }
    return f;
}

// A workstation request: big-endian length at 0..1, sender 2, code
// little-endian at 15..16.
QByteArray ClientFrame(int code)
{
    QByteArray f(22, '\0');
    auto *b = reinterpret_cast<uint8_t *>(f.data());
    b[1] = 22;
    std::memcpy(b + 2, "ZOLP", 4);
    b[6] = 1;
    b[7] = 2;
    b[15] = static_cast<uint8_t>(code);
    b[16] = static_cast<uint8_t>(code >> 8);
    return f;
}

} // namespace

class DispatcherTest : public ServerTest {
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        InstallSeed("velto.db");
        Start();
        ASSERT_EQ(m_server->Mode(), StartMode::Full);
        ASSERT_TRUE(m_unit.bind(QHostAddress::LocalHost, 0));
    }

    // Sends and waits until the server has read everything sent so far.
    void Send(const QByteArray &datagram, QUdpSocket *from = nullptr)
    {
        QUdpSocket &socket = from ? *from : m_unit;
        ASSERT_EQ(socket.writeDatagram(datagram, QHostAddress::LocalHost, ServerUdpPort()), datagram.size());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !m_server->m_udpSocket->hasPendingDatagrams(); }, 2000));
    }

    struct Counters {
        int rcuRecv, rcuKnown, clientRecv;
        bool operator==(const Counters &) const = default;
    };
    Counters Count() const { return {m_server->m_rcuRecvCount, m_server->m_rcuKnownCount, m_server->m_clientRecvCount}; }
    int LogLines() const { return m_server->LogModel().rowCount() - m_startupLogLines; }
    std::string LastLog() const
    {
        const QStringList lines = m_server->LogModel().stringList();
        return lines.isEmpty() ? std::string() : lines.last().toStdString();
    }

    QUdpSocket m_unit;
};

TEST_F(DispatcherTest, DatagramsFailingACheckAreDroppedWithoutTrace)
{
    QByteArray badMagic = RcuFrame(1, 2, 3, 0x82);
    badMagic[3] = 'X';
    QByteArray badLength = RcuFrame(1, 2, 3, 0x82);
    badLength[1] = 23;
    QByteArray badReceiver = RcuFrame(1, 2, 3, 0x82);
    badReceiver[6] = 0;
    QByteArray badSender = RcuFrame(1, 2, 3, 0x82);
    badSender[7] = 3;
    QByteArray tooLong = RcuFrame(1, 2, 3, 0x82, 300); // byte 1 can never match
    QByteArray panelOther = RcuFrame(1, 2, 3, 0x93);
    panelOther[7] = 6;
    const QByteArray rejectedRequest = ClientFrame(0x05);
    const QByteArray cases[] = {badMagic, badLength, badReceiver, badSender, tooLong, panelOther, rejectedRequest,
                                QByteArray("<foxhis/>"), QByteArray()};
    for (const QByteArray &datagram : cases)
        Send(datagram);
    EXPECT_EQ(Count(), (Counters{0, 0, 0}));
    EXPECT_EQ(LogLines(), 0);
}

TEST_F(DispatcherTest, ClosedDatabaseHandlesNothing)
{
    m_server->m_db.Close();
    Send(RcuFrame(1, 2, 3, 0x82));
    Send(RcuFrame(9, 9, 9, 0x82));
    Send(ClientFrame(0x04));
    EXPECT_EQ(Count(), (Counters{0, 0, 0}));
    EXPECT_EQ(LogLines(), 0);
    EXPECT_EQ(m_server->m_hotel.FindRoom(1, 2, 3)->m_rcuPort, 0);
}

TEST_F(DispatcherTest, RoomUnitFramesTeachTheRoomItsAddressAndPort)
{
    Send(RcuFrame(1, 2, 103, 0x0082)); // room byte 103 is room 3
    CRoom *room = m_server->m_hotel.FindRoom(1, 2, 3);
    EXPECT_EQ(room->m_rcuIp, 0x7F000001u);
    EXPECT_EQ(room->m_rcuPort, m_unit.localPort());
    EXPECT_EQ(Count(), (Counters{1, 1, 0}));
    EXPECT_EQ(m_server->m_curMsgRoom, room);

    // Another port, a code nothing handles: learnt all the same.
    QUdpSocket moved;
    ASSERT_TRUE(moved.bind(QHostAddress::LocalHost, 0));
    Send(RcuFrame(1, 2, 3, 0x7777), &moved);
    EXPECT_EQ(room->m_rcuPort, moved.localPort());
    EXPECT_EQ(Count(), (Counters{2, 2, 0}));
    EXPECT_EQ(LogLines(), 0);
}

TEST_F(DispatcherTest, UnknownRoomLogsOneLineAndCountsOnlyTheDatagram)
{
    Send(RcuFrame(1, 2, 99, 0x0084)); // 99 stays 99: not a room of floor 2
    Send(RcuFrame(1, 5, 105, 0x0084));
    EXPECT_EQ(Count(), (Counters{2, 0, 0}));
    ASSERT_EQ(LogLines(), 2);
    EXPECT_EQ(m_server->LogModel().stringList()[m_startupLogLines].mid(9).toStdString(), platform::Utf8FromGbk("1|299 *错误报文*"));
    EXPECT_EQ(LastLog().substr(9), platform::Utf8FromGbk("1|505 *错误报文*"));
}

TEST_F(DispatcherTest, AcceptedWorkstationRequestsAreCounted)
{
    Send(ClientFrame(0x04));
    Send(ClientFrame(0x1E));
    EXPECT_EQ(Count(), (Counters{0, 0, 2}));
}

TEST_F(DispatcherTest, FloorPanelFramesKeepTheirRoomByteAndCountNothing)
{
    QByteArray panel = RcuFrame(1, 2, 150, 0x0091);
    panel[7] = 6;
    Send(panel);
    EXPECT_EQ(Count(), (Counters{0, 0, 0}));
    EXPECT_EQ(LogLines(), 0);
}

// A short datagram never shows bytes an earlier, longer one left behind.
TEST_F(DispatcherTest, ShortDatagramReadsMissingBytesAsZero)
{
    Send(RcuFrame(1, 2, 5, 0x0084, 60));
    EXPECT_EQ(Count(), (Counters{1, 1, 0}));
    QByteArray shortFrame = RcuFrame(1, 2, 5, 0x0084, 20); // ends before the room byte
    std::memset(shortFrame.data() + 15, 0, 5);
    Send(shortFrame);
    // Building, floor and room read as 0: no such room.
    EXPECT_EQ(Count(), (Counters{2, 1, 0}));
    EXPECT_EQ(LastLog().substr(9), platform::Utf8FromGbk("0|000 *错误报文*"));
    for (int i = 20; i < 61; ++i)
        ASSERT_EQ(m_server->m_recvBuf[i], 0) << i;
}

// The longest datagram fills the buffer and its terminator the extra byte;
// it is dropped by the length check like any of 256 bytes or more.
TEST_F(DispatcherTest, DatagramOf3000BytesIsReadWhole)
{
    Send(QByteArray(3000, '\x5A'));
    EXPECT_EQ(m_server->m_recvLength, 3000);
    EXPECT_EQ(m_server->m_recvBuf[2999], 0x5A);
    EXPECT_EQ(m_server->m_recvBuf[3000], 0);
    EXPECT_EQ(Count(), (Counters{0, 0, 0}));
}

// The send counters go by the port alone: a datagram to the room units' port
// counts as a room unit's, whoever listens there; any other port as a client's.
TEST_F(DispatcherTest, SendCountersGoByThePortOnly)
{
    QUdpSocket workstation;
    ASSERT_TRUE(workstation.bind(QHostAddress::LocalHost, 0));
    const int rcuBefore = m_server->m_rcuSendCount, clientBefore = m_server->m_clientSendCount;
    EXPECT_EQ(m_server->SendUdp(24, m_server->RcuPort(), "127.0.0.1"), 24);
    EXPECT_EQ(m_server->SendUdp(22, workstation.localPort(), "127.0.0.1"), 22);
    EXPECT_EQ(m_server->m_rcuSendCount, rcuBefore + 1);
    EXPECT_EQ(m_server->m_clientSendCount, clientBefore + 1);
    EXPECT_EQ(NextDatagram(m_roomUnits, 2000).size(), 24);
    EXPECT_EQ(NextDatagram(workstation, 2000).size(), 22);
}

TEST_F(DispatcherTest, ABurstIsReadWithoutWaitingForLaterArrivals)
{
    for (int i = 0; i < 50; ++i)
        m_unit.writeDatagram(RcuFrame(1, 2, 1 + i % 10, 0x0082), QHostAddress::LocalHost, ServerUdpPort());
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_server->m_rcuKnownCount == 50; }, 3000)) << m_server->m_rcuKnownCount;
}

// PMS type 1: the XML form is tried first; what is not a foxhis command goes
// on as a binary frame.
TEST_F(DispatcherTest, FoxhisTypeTriesTheXmlFormFirst)
{
    m_server->m_pmsType = kPmsFoxhis;
    Send(QByteArray("<foxhis ver='2'><func>GSTIN</func><roomno>1203</roomno></foxhis>"));
    // Handled as a foxhis command: its two log lines (room 0|1203 is unknown).
    EXPECT_EQ(LogLines(), 2);
    Send(QByteArray("<foxhis ver='2'><id>7</id></foxhis>")); // no "func": a binary frame, dropped
    Send(QByteArray("<other><func>GSTIN</func></other>"));
    EXPECT_EQ(Count(), (Counters{0, 0, 0}));
    Send(RcuFrame(1, 2, 3, 0x0082));
    EXPECT_EQ(Count(), (Counters{1, 1, 0}));
    EXPECT_EQ(LogLines(), 2);
}
