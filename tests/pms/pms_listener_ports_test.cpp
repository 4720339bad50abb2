// A PMS port that another program holds: one message, and the other port
// still serves the PMS.
#include "pms_fixture.h"

#include "pms/pms_link.h"

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
        PmsServerTest::SetUp();
    }
    QTcpServer m_squatter;
};

TEST_F(ListenerTest, TakenPortIsReportedOnceAndTheOtherServes)
{
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{Utf8("创建Tcp SOCKET失败！")});
    EXPECT_EQ(m_server->m_pmsListeners[0], nullptr);
    ASSERT_NE(m_server->m_pmsListeners[1], nullptr);
    Connect(m_pms, 9766);
    PlaceUnit(1, 2, 3);
    EXPECT_EQ(Command("10203:1:1"), "ok");
}

} // namespace
