#pragma once
// The server's one UDP socket (port 3338 in an installation): every datagram
// to and from room units, workstations, floor call panels and the PMS goes
// through it.
#include <QHostAddress>
#include <QUdpSocket>

class CKelvorDlg;

class CUdpSocket : public QUdpSocket {
    Q_OBJECT
public:
    explicit CUdpSocket(CKelvorDlg *owner);

    // Binds the port (0: one the system picks) on every local IPv4 address
    // with 32 KiB buffers and broadcast allowed. False when the port cannot
    // be had.
    bool Create(quint16 port);

    // One datagram of at most size bytes into buffer, which holds size + 1
    // bytes; -1 when none could be read, and for a datagram longer than size,
    // which is taken off the socket and dropped. The sender's address (host
    // order) and port are given back.
    qint64 ReceiveFrom(void *buffer, qint64 size, quint32 &address, quint16 &port);
    // -1, and nothing sent, to address 0.0.0.0 or port 0.
    qint64 SendTo(const void *data, qint64 size, quint16 port, quint32 address);

private:
    void OnReceive();

    CKelvorDlg *m_owner;
    QHostAddress m_sender; // reused for every read and send
};

// Dotted text of a host-order IPv4 address ("%u.%u.%u.%u"), into out[16].
void FormatIPv4(uint32_t address, char out[16]);
// The dotted text back; false when it is not four decimal octets.
bool ParseIPv4(const char *text, uint32_t &address);
