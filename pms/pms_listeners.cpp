#include "console/kelvor_dlg.h"
#include "pms/pms_link.h"
#include "platform/message_box.h"

#include "platform/error_line.h"

#include <QPointer>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// The socket is made here rather than by listen(), so that a port that
// cannot be had is told with the system's own reason ("Address already in
// use"), not Qt's paraphrase of it. The options are those listen() sets.
bool CTcpSocket::Create(quint16 port)
{
    m_createError.clear();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        m_createError = std::strerror(errno);
        return false;
    }
    const int on = 1;
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 || ::listen(fd, 5) != 0) {
        m_createError = std::strerror(errno);
        ::close(fd);
        return false;
    }
    if (!setSocketDescriptor(fd)) {
        m_createError = errorString().toStdString();
        ::close(fd);
        return false;
    }
    return true;
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
            const std::string cause = "TCP port " + std::to_string(m_ports.pmsTcp[i]) + ": " + listener->CreateError();
            delete listener;
            m_pmsListeners[i] = nullptr;
            platform::WriteErrorLine("kelvor-server", cause);
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
