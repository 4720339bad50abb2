// The start-up line about the UDP receive buffer speaks of the figures
// net.core.rmem_max and the README use: what was asked for and what the
// kernel granted, not the kernel's doubled accounting.
#include "support/server_fixture.h"

#include "platform/gbk.h"
#include "protocol/udp_socket.h"

#include <QStringListModel>

class ReceiveBufferTest : public ServerTest {};

TEST_F(ReceiveBufferTest, StartupLineGivesTheBytesAskedAndGranted)
{
    CKelvorDlg &server = Start();
    ASSERT_TRUE(server.m_udpSocket);
    // The kernel reports twice what it accepted, the other half covering its
    // bookkeeping.
    const int granted = server.m_udpSocket->ReceiveBufferBytes() / 2;
    QString line;
    for (const QString &text : server.LogModel().stringList())
        if (text.contains(platform::QStringFromGbk("UDP接收缓冲区")))
            line = text;
    ASSERT_FALSE(line.isEmpty());
    if (granted >= kReceiveBufferAsked) {
        EXPECT_TRUE(line.endsWith(platform::QStringFromGbk("UDP接收缓冲区") + QString::number(kReceiveBufferAsked) +
                                  platform::QStringFromGbk("字节")))
            << line.toStdString();
    } else {
        EXPECT_TRUE(line.contains(platform::QStringFromGbk("仅") + QString::number(granted) +
                                  platform::QStringFromGbk("字节(应为") + QString::number(kReceiveBufferAsked)))
            << line.toStdString();
        EXPECT_TRUE(line.endsWith(QStringLiteral("net.core.rmem_max=") + QString::number(kReceiveBufferAsked)))
            << line.toStdString();
    }
}
