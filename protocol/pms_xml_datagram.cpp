// With PMS type 1 (foxhis) a datagram may be an XML command rather than a
// binary frame: a well-formed text whose element "foxhis" has a child
// "func". Anything else goes on to the binary checks.
#include "console/kelvor_dlg.h"

bool CKelvorDlg::TryPmsXmlDatagram(int)
{
    // m_recvBuf holds the datagram and its terminating NUL.
    if (!m_pmsUdpCommand.LoadText(reinterpret_cast<const char *>(m_recvBuf)))
        return false;
    m_pmsUdpCommand.SetPosition(0, 0, 0);
    if (!m_pmsUdpCommand.FindNext("foxhis"))
        return false;
    const std::string version = m_pmsUdpCommand.GetAttribute("ver");
    if (!m_pmsUdpCommand.FindNextChild("func"))
        return false;
    OnPmsUdpCommand(m_pmsUdpCommand, version);
    return true;
}
