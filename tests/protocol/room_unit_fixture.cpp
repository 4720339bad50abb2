#include "room_unit_fixture.h"
#include "support/datagrams.h"

#include "report_fixture.h"

#include "database/ado_recordset.h"
#include "protocol/online_client.h"
#include "protocol/udp_socket.h"

#include <QTest>
#include <cstring>

void RoomUnitTest::SetUp()
{
    ServerTest::SetUp();
    InstallSeed("velto.db");
    Start();
    ASSERT_EQ(m_server->Mode(), StartMode::Full);
    ASSERT_TRUE(m_server->HasUdpSocket());
    ASSERT_TRUE(m_unit.bind(QHostAddress::LocalHost, 0));
    ASSERT_TRUE(m_station.bind(QHostAddress::LocalHost, 0));
    Send(RcuReport(0x0082, {}), m_unit); // the room learns where its unit is
    ASSERT_EQ(Room().m_rcuPort, m_unit.localPort());
}

void RoomUnitTest::Send(const QByteArray &datagram, QUdpSocket &from)
{
    ASSERT_EQ(from.writeDatagram(datagram, QHostAddress::LocalHost, ServerUdpPort()), datagram.size());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_server->m_udpSocket->hasPendingDatagrams(); }, 2000));
}

std::vector<QByteArray> RoomUnitTest::Received(QUdpSocket &socket)
{
    return TakeDatagrams(socket);
}

QByteArray RoomUnitTest::RcuReport(int code, const QByteArray &payload, int build, int floor, int room)
{
    TestFrame frame(22 + static_cast<int>(payload.size()), 0, code, build, floor, room);
    for (int i = 0; i < payload.size(); ++i)
        frame.Set(22 + i, static_cast<uint8_t>(payload[i]));
    return frame.Bytes();
}

QByteArray RoomUnitTest::ClientRequest(const Request &request)
{
    QByteArray f(request.length, '\0');
    auto *b = reinterpret_cast<uint8_t *>(f.data());
    b[0] = static_cast<uint8_t>(request.length >> 8);
    b[1] = static_cast<uint8_t>(request.length);
    std::memcpy(b + 2, "ZOLP", 4);
    b[6] = 1;
    b[7] = 2;
    b[8] = static_cast<uint8_t>(request.tag);
    b[9] = static_cast<uint8_t>(request.tag >> 8);
    b[15] = static_cast<uint8_t>(request.code);
    b[16] = static_cast<uint8_t>(request.code >> 8);
    b[17] = request.answerWanted;
    b[18] = static_cast<uint8_t>(request.build);
    b[19] = static_cast<uint8_t>(request.floor);
    b[20] = static_cast<uint8_t>(request.room);
    for (int i = 22; i < request.length; ++i)
        b[i] = static_cast<uint8_t>(i);
    return f;
}

COnlineClient &RoomUnitTest::AddClient(const QUdpSocket &at, const char *userName)
{
    auto client = std::make_unique<COnlineClient>();
    std::strncpy(client->m_userInfo.userName, userName, sizeof client->m_userInfo.userName - 1);
    client->m_loggedIn = 1;
    client->m_loginTime = client->m_lastActivity = m_now;
    client->m_peerAddress = "127.0.0.1";
    client->m_peerPort = at.localPort();
    m_server->m_clients.push_back(std::move(client));
    return *m_server->m_clients.back();
}

std::vector<std::string> RoomUnitTest::LogLines() const
{
    std::vector<std::string> lines;
    for (const QString &line : m_server->LogModel().stringList().mid(m_startupLogLines))
        lines.push_back(line.mid(9).toStdString());
    return lines;
}

std::vector<std::vector<std::string>> RoomUnitTest::Rows(const std::string &sql,
                                                         const std::vector<std::string> &columns)
{
    std::vector<std::vector<std::string>> rows;
    CADOMyRecordset rs(&m_server->m_db);
    EXPECT_TRUE(rs.Exec(sql)) << sql << "\n" << rs.GetLastErrorText();
    for (; rs.IsOpen() && !rs.IsEof(); rs.MoveNext()) {
        std::vector<std::string> row;
        for (const std::string &column : columns)
            row.push_back(rs.GetFieldString(column));
        rows.push_back(row);
    }
    rs.Close();
    return rows;
}
