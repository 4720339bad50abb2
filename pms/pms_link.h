#pragma once
// The PMS side of TCP: two listeners (ports 40000 and 9766) and the one
// current PMS connection. A connection accepted on either port replaces the
// current one, which is closed and destroyed.
#include "pms/pms_command_stream.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <string>

class CKelvorDlg;

// A listening socket for the PMS.
class CTcpSocket : public QTcpServer {
    Q_OBJECT
public:
    explicit CTcpSocket(CKelvorDlg *owner) : m_owner(owner) {}
    // Listens on the port, every local IPv4 address, with a backlog of 5.
    // False with the system's reason in CreateError().
    bool Create(quint16 port);
    const std::string &CreateError() const { return m_createError; }

protected:
    // The accept: the connection goes into a CClientSocket, which the owner
    // makes its current link.
    void incomingConnection(qintptr socketDescriptor) override;

    CKelvorDlg *m_owner;
    std::string m_createError;
};

// One accepted PMS connection. What it reads is cut into commands, each
// handed to the owner's command handler; a closed connection stays the link
// until the next one replaces it.
class CClientSocket : public QTcpSocket {
    Q_OBJECT
public:
    explicit CClientSocket(CKelvorDlg *owner);

    // What this connection has received and not yet handed on.
    PmsCommandStream &Commands() { return m_commands; }

protected:
    void OnReceive();

    CKelvorDlg *m_owner;
    PmsCommandStream m_commands;
};
