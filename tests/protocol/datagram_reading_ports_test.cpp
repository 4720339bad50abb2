// How the server takes datagrams off its UDP socket: one notification reads
// what is queued, a bounded number at a time, past a datagram it cannot read.
#include "room_unit_fixture.h"

#include "protocol/udp_socket.h"

#include <QTest>

namespace {

class DatagramReadingTest : public RoomUnitTest {
protected:
    // Sends without letting the server run, and waits until the kernel has
    // queued all of it at the server's socket.
    void Queue(const std::vector<QByteArray> &datagrams)
    {
        for (const QByteArray &datagram : datagrams)
            ASSERT_EQ(m_unit.writeDatagram(datagram, QHostAddress::LocalHost, ServerUdpPort()), datagram.size());
        ASSERT_TRUE(m_server->m_udpSocket->hasPendingDatagrams());
    }
    QByteArray Heartbeat() const { return RcuReport(0x0082, {}); }
};

TEST_F(DatagramReadingTest, OneNoticeReadsTheQueueAndGoesPastADatagramTooLong)
{
    const int before = m_server->m_rcuRecvCount;
    Queue({QByteArray(kFrameBufferSize + 100, 'x'), Heartbeat(), Heartbeat(), Heartbeat()});
    m_server->OnUdpReceive();
    EXPECT_EQ(m_server->m_rcuRecvCount - before, 3);
    EXPECT_FALSE(m_server->m_udpSocket->hasPendingDatagrams());
}

// The rest waits for the next notice: timers and the other sockets come in
// between.
TEST_F(DatagramReadingTest, ANoticeReadsNoMoreThanItsShare)
{
    const int before = m_server->m_rcuRecvCount;
    Queue(std::vector<QByteArray>(CUdpSocket::kDatagramsPerNotice + 5, Heartbeat()));
    m_server->OnUdpReceive();
    EXPECT_EQ(m_server->m_rcuRecvCount - before, CUdpSocket::kDatagramsPerNotice);
    ASSERT_TRUE(m_server->m_udpSocket->hasPendingDatagrams());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_server->m_udpSocket->hasPendingDatagrams(); }, 2000));
    EXPECT_EQ(m_server->m_rcuRecvCount - before, CUdpSocket::kDatagramsPerNotice + 5);
}

} // namespace
