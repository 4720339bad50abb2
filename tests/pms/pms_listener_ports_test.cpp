// A PMS port that another program holds: one message, its cause on stderr,
// and the other port still serves the PMS.
#include "pms_fixture.h"

#include "pms/pms_link.h"
#include "support/stderr_capture.h"

#include <QTcpServer>
#include <QTest>

namespace {

class ListenerTest : public PmsServerTest {
protected:
    void SetUp() override
    {
        // Another program holds the first listener's port.
        ASSERT_TRUE(m_squatter.listen(QHostAddress::AnyIPv4, 0));
        m_ports.pmsTcp[0] = m_squatter.serverPort();
        StderrCapture capture;
        PmsServerTest::SetUp();
        m_stderr = capture.Stop();
    }
    QTcpServer m_squatter;
    std::string m_stderr;
};

TEST_F(ListenerTest, TakenPortIsReportedOnceAndTheOtherServes)
{
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{Utf8("创建Tcp SOCKET失败！")});
    // The cause, on stderr: the port and the system's reason.
    EXPECT_NE(m_stderr.find("kelvor-server: TCP port " + std::to_string(m_squatter.serverPort()) +
                            ": Address already in use\n"),
              std::string::npos)
        << m_stderr;
    EXPECT_EQ(m_server->m_pmsListeners[0], nullptr);
    ASSERT_NE(m_server->m_pmsListeners[1], nullptr);
    Connect(m_pms, 9766);
    PlaceUnit(1, 2, 3);
    EXPECT_EQ(Command("10203:1:1"), "ok");
}

} // namespace
