#include "protocol/udp_socket.h"

#include "console/kelvor_dlg.h"
#include "platform/error_line.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

CUdpSocket::CUdpSocket(CKelvorDlg *owner) : m_owner(owner) {}

CUdpSocket::~CUdpSocket()
{
    delete m_readable; // before the descriptor it watches goes
    if (m_fd >= 0)
        ::close(m_fd);
}

// The cause as the system gives it, for errno of the call that failed.
bool CUdpSocket::Fail(quint16 port)
{
    m_failure = "UDP port " + std::to_string(port) + ": " + std::strerror(errno);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    return false;
}

bool CUdpSocket::Create(quint16 port)
{
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return Fail(port);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(port);
    socklen_t length = sizeof local;
    if (::bind(m_fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0 ||
        ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&local), &length) != 0)
        return Fail(port);
    m_port = ntohs(local.sin_port);
    // SO_RCVBUFFORCE passes net.core.rmem_max for a process with
    // CAP_NET_ADMIN; anyone else gets SO_RCVBUF, capped at that limit.
    // Whatever either grants, the start-up log line says (ReceiveBufferBytes).
    const int asked = kReceiveBufferAsked;
    if (::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &asked, sizeof asked) != 0 &&
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &asked, sizeof asked) != 0)
        platform::WriteErrorLine("UDP receive buffer not set", std::strerror(errno));
    const int sendBuffer = 32768;
    if (::setsockopt(m_fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer) != 0)
        platform::WriteErrorLine("UDP send buffer not set", std::strerror(errno));
    const int on = 1;
    if (::setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0)
        platform::WriteErrorLine("UDP broadcasts to the room units not allowed", std::strerror(errno));
    m_readable = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_readable, &QSocketNotifier::activated, this, &CUdpSocket::OnReceive);
    return true;
}

bool CUdpSocket::hasPendingDatagrams() const
{
    char byte;
    return m_fd >= 0 && ::recv(m_fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) >= 0;
}

int CUdpSocket::ReceiveBufferBytes() const
{
    int granted = 0;
    socklen_t length = sizeof granted;
    if (::getsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &granted, &length) != 0)
        return 0;
    return granted;
}

// SO_MEMINFO reads the socket's own drop counter, the one /proc/net/udp
// shows, without walking that file.
int64_t CUdpSocket::KernelDrops() const
{
    uint32_t info[SK_MEMINFO_VARS] = {};
    socklen_t length = sizeof info;
    if (::getsockopt(m_fd, SOL_SOCKET, SO_MEMINFO, info, &length) != 0 ||
        length <= SK_MEMINFO_DROPS * sizeof info[0])
        return -1;
    return info[SK_MEMINFO_DROPS];
}

// Each notification reads the datagrams queued, up to kDatagramsPerNotice.
// Every pass of the event loop costs a poll and the idle check's look at the
// queue, several system calls that cost more than an unchanged report's
// handling: a burst's queue is read without a pass for each datagram, while
// timers and the other sockets still come in after every few dozen. The
// notifier is level-triggered: while datagrams remain queued the next pass
// notifies again, so none waits for a later arrival, and the idle pass comes
// only after the burst.
void CUdpSocket::OnReceive() { m_owner->OnUdpReceive(); }

// The dispatcher's buffer has the byte for the terminating NUL.
static_assert(sizeof CKelvorDlg::m_recvBuf > kFrameBufferSize);

// A read into a buffer shorter than the datagram gives the cut length, so
// one byte more is asked for: a datagram that fills it was longer than size.
// What it wrote is cleared, so no later datagram finds its bytes behind its own.
qint64 CUdpSocket::ReceiveFrom(void *buffer, qint64 size, quint32 &address, quint16 &port)
{
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const qint64 n = ::recvfrom(m_fd, buffer, static_cast<size_t>(size + 1),
                                MSG_DONTWAIT, reinterpret_cast<sockaddr *>(&from), &fromLength);
    if (n > size)
        std::memset(buffer, 0, static_cast<size_t>(size + 1));
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return kNothingQueued;
    if (n < 0 || n > size)
        return -1;
    address = from.sin_family == AF_INET ? ntohl(from.sin_addr.s_addr) : 0;
    port = from.sin_family == AF_INET ? ntohs(from.sin_port) : 0;
    return n;
}

// A room whose unit has not reported yet has address 0.0.0.0 (and port 0).
// Such a datagram would be delivered to this machine; it is not sent at all.
qint64 CUdpSocket::SendTo(const void *data, qint64 size, quint16 port, quint32 address)
{
    if (m_fd < 0 || address == 0 || port == 0 || size < 0)
        return -1;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(address);
    to.sin_port = htons(port);
    ssize_t sent;
    do
        sent = ::sendto(m_fd, data, static_cast<size_t>(size), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
    while (sent < 0 && errno == EINTR);
    return sent;
}

void FormatIPv4(uint32_t address, char out[16])
{
    std::snprintf(out, 16, "%u.%u.%u.%u", address >> 24, (address >> 16) & 0xFFu, (address >> 8) & 0xFFu,
                  address & 0xFFu);
}

bool ParseIPv4(const char *text, uint32_t &address)
{
    uint32_t result = 0;
    for (int octet = 0; octet < 4; ++octet) {
        if (*text < '0' || *text > '9')
            return false;
        uint32_t v = 0;
        int digits = 0;
        while (*text >= '0' && *text <= '9') {
            v = v * 10 + static_cast<uint32_t>(*text++ - '0');
            if (++digits > 3 || v > 255)
                return false;
        }
        result = result << 8 | v;
        if (octet < 3 && *text++ != '.')
            return false;
    }
    if (*text != '\0')
        return false;
    address = result;
    return true;
}

int CKelvorDlg::SendToRcuBroadcast(int length)
{
    char address[16];
    FormatIPv4(m_rcuBroadcastIp, address);
    return SendUdp(length, RcuPort(), address);
}

uint16_t CKelvorDlg::UdpPort() const { return m_udpSocket ? m_udpSocket->localPort() : 0; }

int CKelvorDlg::SendUdp(int length, int port, const char *address)
{
    if (!m_udpSocket)
        return 0;
    uint32_t host = 0;
    if (length < 0 || length > kFrameBufferSize || !ParseIPv4(address, host))
        return -1;
    const qint64 sent = m_udpSocket->SendTo(m_sendBuf, length, static_cast<quint16>(port), host);
    if (sent < 1)
        return static_cast<int>(sent);
    if (port == RcuPort())
        ++m_rcuSendCount;
    else
        ++m_clientSendCount;
    return static_cast<int>(sent);
}

void CKelvorDlg::LogReceiveBuffer()
{
    if (!m_udpSocket)
        return;
    // The kernel reports twice what it accepted (the other half covers its
    // bookkeeping); the line speaks in the bytes of SO_RCVBUF and
    // net.core.rmem_max, as the sysctl it names does.
    const int granted = m_udpSocket->ReceiveBufferBytes() / 2;
    if (granted >= kReceiveBufferAsked)
        std::snprintf(m_logText, sizeof m_logText, "UDP接收缓冲区%d字节", granted);
    else
        std::snprintf(m_logText, sizeof m_logText,
                      "UDP接收缓冲区仅%d字节(应为%d字节，受net.core.rmem_max限制)，报文高峰时会丢失: "
                      "请以root执行 sysctl -w net.core.rmem_max=%d",
                      granted, kReceiveBufferAsked, kReceiveBufferAsked);
    AddLog(m_logText);
}

void CKelvorDlg::ReportKernelDrops()
{
    if (!m_udpSocket)
        return;
    const int64_t drops = m_udpSocket->KernelDrops();
    if (drops <= m_kernelDrops)
        return;
    std::snprintf(m_logText, sizeof m_logText, "UDP接收缓冲区已满，内核丢弃了%lld个报文(共%lld个)",
                  static_cast<long long>(drops - m_kernelDrops), static_cast<long long>(drops));
    m_kernelDrops = drops;
    AddLog(m_logText);
}
