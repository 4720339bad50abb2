#pragma once
// Reading what the server sent to a test's own UDP socket.
#include <QByteArray>
#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>
#include <vector>

// Every datagram waiting on socket, in arrival order.
inline std::vector<QByteArray> TakeDatagrams(QUdpSocket &socket)
{
    std::vector<QByteArray> datagrams;
    while (socket.hasPendingDatagrams())
        datagrams.push_back(socket.receiveDatagram().data());
    return datagrams;
}

// The next datagram to reach socket within timeoutMs; empty when none came.
inline QByteArray NextDatagram(QUdpSocket &socket, int timeoutMs)
{
    if (!QTest::qWaitFor([&] { return socket.hasPendingDatagrams(); }, timeoutMs))
        return {};
    return socket.receiveDatagram().data();
}
