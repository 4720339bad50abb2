// foxhis commands as UDP datagrams (PMS type 1): no set-top-box step, texts
// of their own, and the reply at the PMS's UDP port, never the sender's.
#include "pms_fixture.h"
#include "support/datagrams.h"

#include <QTest>

namespace {

class PmsUdpTest : public PmsServerTest {
protected:
    void SetUp() override
    {
        PmsServerTest::SetUp();
        m_server->m_pmsType = kPmsFoxhis;
        ASSERT_TRUE(m_sender.bind(QHostAddress::LocalHost, 0));
        ASSERT_TRUE(m_replies.bind(QHostAddress::LocalHost, 0));
        m_server->m_hmsPort = m_replies.localPort();
        PlaceUnit(1, 2, 3);
    }
    // Sends the datagram and returns the reply that reached m_replies.
    std::string Datagram(const std::string &text)
    {
        m_sender.writeDatagram(text.data(), static_cast<qint64>(text.size()), QHostAddress::LocalHost, ServerUdpPort());
        return NextDatagram(m_replies, 5000).toStdString();
    }

    QUdpSocket m_sender;
    QUdpSocket m_replies;
};

const char *const kCheckIn = "<foxhis ver=\"2\"><func>GSTIN</func><id>5</id><roomno>10203</roomno></foxhis>";
const char *const kCheckInReply = "<foxhis ver=\"2\" mode=\"response\">\r\n<func>GSTIN</func>\r\n<id>5</id>\r\n"
                                  "<pc_id/>\r\n<msgcode>1</msgcode>\r\n<msg>none</msg>\r\n</foxhis>\r\n";

TEST_F(PmsUdpTest, ReplyGoesToTheConfiguredAddress)
{
    m_server->m_hmsIpAuto = 0;
    m_server->m_hmsIp = 0x7F000001;
    EXPECT_EQ(Datagram(kCheckIn), kCheckInReply);
    EXPECT_FALSE(m_sender.hasPendingDatagrams());
    EXPECT_EQ(StateFrames(Frames()), (std::vector<StateFrame>{{1, 2, 3, 2}}));
    EXPECT_EQ(NewEventRows(), std::vector<std::string>{Utf8("1|2|3|21|<foxhis>客人入住")});
    EXPECT_EQ(m_server->m_hotel.FindRoom(1, 2, 3)->m_pmsState, 1);
    const std::vector<std::string> expected = {Utf8("<foxhis>  客人入住(GSTIN)   ROOM: 10203"),
                                               Utf8("<foxhis>  对应到房间号1|203  "),
                                               Utf8("<foxhis>接口软件向1|203房间发送指令")};
    EXPECT_EQ(NewLogLines(), expected);
}

TEST_F(PmsUdpTest, AutoAddressAnswersTheSenderAtThePmsPort)
{
    m_server->m_hmsIpAuto = 1;
    m_server->m_hmsIp = 0x0A0000FE; // not where the reply goes
    EXPECT_EQ(Datagram(kCheckIn), kCheckInReply);
    EXPECT_FALSE(m_sender.hasPendingDatagrams());
}

// A reply that echoes a long command does not fit the 3000-byte send buffer:
// it leaves whole, as one datagram, and is counted like any other.
TEST_F(PmsUdpTest, ReplyLongerThanTheSendBufferLeavesWhole)
{
    m_server->m_hmsIpAuto = 1;
    const std::string func(2900, 'F');
    const std::string command = "<foxhis ver=\"2\"><func>" + func + "</func><id>&amp;</id></foxhis>";
    ASSERT_LE(command.size(), 3000u);
    const std::string wanted = "<foxhis ver=\"2\" mode=\"response\">\r\n<func>" + func +
                               "</func>\r\n<id>&amp;</id>\r\n<pc_id/>\r\n<msgcode>3</msgcode>\r\n<msg>none</msg>\r\n"
                               "</foxhis>\r\n";
    ASSERT_GT(wanted.size(), 3000u);
    const int sent = m_server->m_clientSendCount;
    EXPECT_EQ(Datagram(command), wanted);
    EXPECT_EQ(m_server->m_clientSendCount, sent + 1);
}

// A datagram longer than the 3000-byte buffer is dropped whole, not cut and
// carried out: a padded command of 3001 bytes does nothing, one of 3000 does.
TEST_F(PmsUdpTest, DatagramLongerThanTheBufferIsDropped)
{
    m_server->m_hmsIpAuto = 1;
    const auto padded = [](std::string text, size_t size) {
        text.resize(size, ' ');
        return text;
    };
    const int sent = m_server->m_clientSendCount, rcuSent = m_server->m_rcuSendCount;
    const std::string tooLong = padded(kCheckIn, 3001);
    m_sender.writeDatagram(tooLong.data(), static_cast<qint64>(tooLong.size()), QHostAddress::LocalHost, ServerUdpPort());
    // The next reply is the next command's.
    EXPECT_NE(Datagram("<foxhis><func>FOO</func><id>7</id></foxhis>").find("<id>7</id>"), std::string::npos);
    EXPECT_TRUE(Frames().empty());
    EXPECT_TRUE(NewEventRows().empty());
    EXPECT_EQ(m_server->m_hotel.FindRoom(1, 2, 3)->m_pmsState, 0);
    EXPECT_EQ(m_server->m_clientSendCount, sent + 1);
    EXPECT_EQ(m_server->m_rcuSendCount, rcuSent);
    // Nothing of it stays behind the datagrams read after it.
    EXPECT_EQ(m_server->m_recvBuf[2999], 0);

    EXPECT_EQ(Datagram(padded(kCheckIn, 3000)), kCheckInReply);
    EXPECT_EQ(StateFrames(Frames()), (std::vector<StateFrame>{{1, 2, 3, 2}}));
}

// TCP and UDP keep their texts apart.
TEST_F(PmsUdpTest, RemembersItsOwnTexts)
{
    m_server->m_hmsIpAuto = 1;
    Connect(m_pms);
    Command("<foxhis><func>RMVC</func><id>tcp</id><pc_id>T</pc_id></foxhis>");
    EXPECT_EQ(Datagram("<foxhis><func>FOO</func></foxhis>"),
              "<foxhis ver=\"\" mode=\"response\">\r\n<func>FOO</func>\r\n<id/>\r\n<pc_id/>\r\n<msgcode>3</msgcode>\r\n"
              "<msg>none</msg>\r\n</foxhis>\r\n");
    EXPECT_NE(Datagram("<foxhis><func>FOO</func><id>udp</id></foxhis>").find("<id>udp</id>"), std::string::npos);
    EXPECT_NE(Datagram("<foxhis><func>FOO</func></foxhis>").find("<id>udp</id>"), std::string::npos);
}

} // namespace
