#pragma once
// The PMS side of TCP: two listeners (ports 40000 and 9766) and the one
// current PMS connection.
#include <QTcpServer>
#include <QTcpSocket>

class CKelvorDlg;

// A listening socket for the PMS.
class CTcpSocket : public QTcpServer {
    Q_OBJECT
public:
    explicit CTcpSocket(CKelvorDlg *owner) : m_owner(owner) {}
    // Listens on the port, every local IPv4 address, with a backlog of 5.
    bool Create(quint16 port);

protected:
    CKelvorDlg *m_owner;
};

// One accepted PMS connection.
class CClientSocket : public QTcpSocket {
    Q_OBJECT
public:
    explicit CClientSocket(CKelvorDlg *owner) : m_owner(owner) {}

protected:
    CKelvorDlg *m_owner;
};
