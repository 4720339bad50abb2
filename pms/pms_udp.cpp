// Foxhis commands that arrive as UDP datagrams (PMS type 1). The reply goes to
// the PMS's UDP port at its configured address, or at the sender's address
// when "HMS IP AUTO" is set; never to the sender's port.
#include "console/kelvor_dlg.h"
#include "pms/pms_commands.h"
#include "protocol/udp_socket.h"

#include <cstring>

bool CKelvorDlg::OnPmsDatagram(CXmlDoc &datagram, const char *senderAddress)
{
    datagram.SetPosition(0, 0, 0);
    if (!datagram.FindNext("foxhis"))
        return false;
    const std::string version = datagram.GetAttribute("ver");
    if (!datagram.FindNextChild("func"))
        return false;
    m_pmsCommands.HandleUdpCommand(datagram, version, senderAddress);
    return true;
}

void CPmsCommands::HandleUdpCommand(CXmlDoc &command, const std::string &version, const char *senderAddress)
{
    RunXmlCommand(command, version, PmsLanguage::Foxhis, {m_udpTexts, m_udpRoom2, m_udpReply});
    // The datagram's live-room write, before the PMS is told it is done.
    m_dlg.m_db.CommitLiveRoomWrites();
    SendUdpReply(m_udpReply.GetText(), senderAddress);
}

void CPmsCommands::SendUdpReply(const std::string &text, const char *senderAddress)
{
    char address[16] = {};
    if (m_dlg.m_hmsIpAuto != 0)
        std::strncpy(address, senderAddress, sizeof address - 1);
    else
        FormatIPv4(m_dlg.m_hmsIp, address);
    if (text.size() <= sizeof m_dlg.m_sendBuf) {
        std::memcpy(m_dlg.m_sendBuf, text.data(), text.size());
        m_dlg.SendUdp(static_cast<int>(text.size()), m_dlg.m_hmsPort, address);
        return;
    }
    // Longer than the send buffer (a long command echoed back): sent whole
    // from the reply text, counted as SendUdp counts.
    uint32_t host = 0;
    if (m_dlg.m_udpSocket && ParseIPv4(address, host)
        && m_dlg.m_udpSocket->SendTo(text.data(), static_cast<qint64>(text.size()),
                                     static_cast<quint16>(m_dlg.m_hmsPort), host) > 0)
        ++(m_dlg.m_hmsPort == m_dlg.RcuPort() ? m_dlg.m_rcuSendCount : m_dlg.m_clientSendCount);
}
