#pragma once
// The server's one UDP socket (port 3338 in an installation): every datagram
// to and from room units, workstations, floor call panels and the PMS goes
// through it.
#include <QObject>
#include <cstdint>
#include <string>

class CKelvorDlg;
class QSocketNotifier;

// After each poll every room unit answers at once. Linux charges a datagram
// its bookkeeping (about 800 bytes for a 79-byte report), so the 32 KiB of
// the Windows server held only 78 of them here: 8 MiB hold some 20,000.
constexpr int kReceiveBufferAsked = 8 * 1024 * 1024;

// The socket is the server's own descriptor, read and written with the
// system calls themselves: no read or send allocates, and one notifier,
// level-triggered, tells of waiting datagrams.
class CUdpSocket : public QObject {
    Q_OBJECT
public:
    explicit CUdpSocket(CKelvorDlg *owner);
    ~CUdpSocket() override;
    CUdpSocket(const CUdpSocket &) = delete;
    CUdpSocket &operator=(const CUdpSocket &) = delete;

    // Binds the port (0: one the system picks) on every local IPv4 address
    // with broadcast allowed, a 32 KiB send buffer and a receive buffer for a
    // whole burst of reports (kReceiveBufferAsked). False when the socket
    // cannot be made or the port cannot be had; FailureText() then says why.
    bool Create(quint16 port);
    // "UDP port 3338: Address already in use"; empty while nothing failed.
    const std::string &FailureText() const { return m_failure; }

    // The port bound to; 0 before Create succeeded.
    quint16 localPort() const { return m_port; }
    // True while a datagram waits to be read.
    bool hasPendingDatagrams() const;

    // What the kernel granted for the receive buffer, in its own accounting
    // (twice what it accepted, the other half covering its bookkeeping).
    int ReceiveBufferBytes() const;
    // Datagrams the kernel dropped for this socket so far (the drops column
    // of /proc/net/udp); -1 when it cannot be read.
    int64_t KernelDrops() const;

    // One datagram of at most size bytes into buffer, which holds size + 1
    // bytes; kNothingQueued when none waits, -1 when the read failed and for
    // a datagram longer than size, which is taken off the socket and dropped.
    // The sender's address (host order) and port are given back.
    static constexpr qint64 kNothingQueued = -2;
    qint64 ReceiveFrom(void *buffer, qint64 size, quint32 &address, quint16 &port);
    // Datagrams one notification reads at most, while more are queued.
    static constexpr int kDatagramsPerNotice = 32;
    // -1, and nothing sent, to address 0.0.0.0 or port 0, and when the
    // system refuses the datagram.
    qint64 SendTo(const void *data, qint64 size, quint16 port, quint32 address);

private:
    void OnReceive();
    bool Fail(quint16 port);

    CKelvorDlg *m_owner;
    int m_fd = -1;
    quint16 m_port = 0;
    std::string m_failure;
    QSocketNotifier *m_readable = nullptr;
};

// Dotted text of a host-order IPv4 address ("%u.%u.%u.%u"), into out[16].
void FormatIPv4(uint32_t address, char out[16]);
// The dotted text back; false when it is not four decimal octets.
bool ParseIPv4(const char *text, uint32_t &address);
