// With PMS type 1 (foxhis) a datagram may be an XML command rather than a
// binary frame: a well-formed text whose element "foxhis" has a child
// "func". Anything else goes on to the binary checks.
#include "console/kelvor_dlg.h"

bool CKelvorDlg::TryPmsXmlDatagram(int)
{
    // m_recvBuf holds the datagram and its terminating NUL.
    if (!m_pmsUdpCommand.LoadText(reinterpret_cast<const char *>(m_recvBuf)))
        return false;
    return OnPmsDatagram(m_pmsUdpCommand, m_senderAddr);
}
