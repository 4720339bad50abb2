#include "console/kelvor_dlg.h"
#include "pms/pms_link.h"
#include "platform/message_box.h"

#include <QPointer>
#include <unistd.h>

bool CTcpSocket::Create(quint16 port)
{
    setListenBacklogSize(5);
    return listen(QHostAddress::AnyIPv4, port);
}

void CTcpSocket::incomingConnection(qintptr socketDescriptor)
{
    auto *link = new CClientSocket(m_owner);
    if (!link->setSocketDescriptor(socketDescriptor)) {
        delete link;
        ::close(static_cast<int>(socketDescriptor));
        return;
    }
    m_owner->OnPmsAccepted(link);
}

CClientSocket::CClientSocket(CKelvorDlg *owner) : m_owner(owner)
{
    connect(this, &QTcpSocket::readyRead, this, &CClientSocket::OnReceive);
}

// Qt signals new data once, however much of it is buffered; each read takes
// at most what the command buffer has room for, so read until nothing is
// left, as long as this is still the current link.
void CClientSocket::OnReceive()
{
    QPointer<CClientSocket> self(this);
    while (self && m_owner->m_pmsLink == this && bytesAvailable() > 0)
        if (!m_owner->OnPmsReceive())
            break;
}

void CKelvorDlg::CreatePmsListeners()
{
    for (int i = 0; i < 2; ++i) {
        auto *listener = new CTcpSocket(this);
        if (listener->Create(m_ports.pmsTcp[i])) {
            m_pmsListeners[i] = listener;
        } else {
            delete listener;
            m_pmsListeners[i] = nullptr;
            platform::MessageBox("创建Tcp SOCKET失败！");
        }
    }
}

uint16_t CKelvorDlg::PmsListenerPort(int index) const
{
    return m_pmsListeners[index] ? m_pmsListeners[index]->serverPort() : 0;
}

void CKelvorDlg::OnPmsAccepted(CClientSocket *link)
{
    if (m_pmsLink) {
        // Graceful: the old peer sees the connection end.
        m_pmsLink->close();
        delete m_pmsLink;
    }
    m_pmsLink = link;
    AddLog("PMS TCP Client 已经接入");
}

bool CKelvorDlg::OnPmsReceive()
{
    if (!m_pmsLink)
        return false;
    PmsCommandStream &commands = m_pmsLink->Commands();
    const qint64 n = m_pmsLink->read(commands.Space(), static_cast<qint64>(commands.SpaceSize()));
    if (n <= 0)
        return false;
    commands.Received(static_cast<size_t>(n));
    HandlePmsCommands(commands, m_pmsLink);
    return true;
}

void CKelvorDlg::HandlePmsCommands(PmsCommandStream &commands, CClientSocket *link)
{
    static_assert(sizeof m_pmsRecvBuf == PmsCommandStream::kCapacity + 1);
    QPointer<CClientSocket> alive(link);
    for (;;) {
        size_t length = 0;
        switch (commands.Take(reinterpret_cast<char *>(m_pmsRecvBuf), length)) {
        case PmsCommandStream::Next::Nothing:
            return;
        case PmsCommandStream::Next::Overlong:
            AddLog("PMS 命令超过3000字节，已丢弃");
            break;
        case PmsCommandStream::Next::Command:
            HandlePmsCommand(static_cast<int>(length));
            break;
        }
        // A handler may have replaced the link; its stream went with it.
        if (link && (!alive || m_pmsLink != link))
            return;
    }
}

void CKelvorDlg::HandlePmsCommand(int length)
{
    if (length < 0 || length > kFrameBufferSize)
        return;
    m_pmsRecvBuf[length] = 0;
    if (!m_db.IsOpen())
        return;
    m_pmsCommands.HandleTcpCommand(reinterpret_cast<const char *>(m_pmsRecvBuf));
}

int CKelvorDlg::SendToPms(int length)
{
    if (length < 0 || length > kFrameBufferSize)
        return -1;
    return SendToPmsLink(m_pmsReplyBuf, static_cast<size_t>(length));
}

// Qt's sockets do not block: the bytes go to the system at once (flush), and
// whatever the system cannot take yet follows from Qt's buffer, in order.
int CKelvorDlg::SendToPmsLink(const void *data, size_t length)
{
    if (!m_pmsLink)
        return 0;
    if (m_pmsLink->state() != QAbstractSocket::ConnectedState)
        return -1;
    const qint64 written = m_pmsLink->write(static_cast<const char *>(data), static_cast<qint64>(length));
    m_pmsLink->flush();
    return static_cast<int>(written);
}
