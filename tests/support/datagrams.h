#pragma once
// Reading what the server sent to a test's own UDP socket.
#include <QByteArray>
#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>
#include <cstdint>
#include <gtest/gtest.h>
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

// Byte `index` of a datagram the server sent. One too short for it fails the
// test with its length (and reads as 0) rather than reading past its end.
inline int ByteAt(const QByteArray &datagram, int index)
{
    if (index < 0 || index >= datagram.size()) {
        ADD_FAILURE() << "a datagram of " << datagram.size() << " bytes has no byte " << index;
        return 0;
    }
    return static_cast<uint8_t>(datagram[index]);
}
