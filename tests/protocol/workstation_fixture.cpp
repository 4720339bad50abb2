#include "workstation_fixture.h"
#include "support/datagrams.h"

#include "database/ado_recordset.h"
#include "database/sql_quote.h"
#include "platform/gbk.h"
#include "protocol/udp_socket.h"

#include <QTest>
#include <cstring>

QByteArray RequestFrame(int code, int tag, int build, int floor, int room, const QByteArray &payload)
{
    QByteArray f(22, '\0');
    f += payload;
    auto *b = reinterpret_cast<uint8_t *>(f.data());
    b[0] = static_cast<uint8_t>(f.size() >> 8);
    b[1] = static_cast<uint8_t>(f.size());
    std::memcpy(b + 2, "ZOLP", 4);
    b[6] = 1;
    b[7] = 2;
    b[8] = static_cast<uint8_t>(tag);
    b[9] = static_cast<uint8_t>(tag >> 8);
    b[15] = static_cast<uint8_t>(code);
    b[16] = static_cast<uint8_t>(code >> 8);
    b[18] = static_cast<uint8_t>(build);
    b[19] = static_cast<uint8_t>(floor);
    b[20] = static_cast<uint8_t>(room);
    return f;
}

QByteArray LoginFrame(const std::string &name, const std::string &password, int tag)
{
    QByteArray payload(name.data(), static_cast<qsizetype>(name.size()));
    payload += '\0';
    payload += QByteArray(password.data(), static_cast<qsizetype>(password.size()));
    payload += '\0';
    return RequestFrame(0x02, tag, 0, 0, 0, payload);
}

int ReplyCode(const QByteArray &reply)
{
    return reply.size() < 17 ? -1 : static_cast<uint8_t>(reply[15]) | static_cast<uint8_t>(reply[16]) << 8;
}

int ReplyTag(const QByteArray &reply)
{
    return reply.size() < 10 ? -1 : static_cast<uint8_t>(reply[8]) | static_cast<uint8_t>(reply[9]) << 8;
}

QByteArray ReplyPayload(const QByteArray &reply) { return reply.mid(22); }

void WorkstationTest::SetUp()
{
    ServerTest::SetUp();
    InstallSeed("velto.db");
    BeforeStart();
    Start();
    ASSERT_EQ(m_server->Mode(), StartMode::Full);
    ASSERT_TRUE(m_server->HasUdpSocket());
    m_server->m_idleLoopLevel = 1000; // no loop runs that deep
}

void WorkstationTest::AddUser(const std::string &name, const std::string &password, int groupId, int userType,
                              int build, int floor)
{
    SeedExec("insert into user_password(USER_NAME, PASSWORD, REG_TIME, BUILD_NUM, FLOOR_NUM, USER_TYPE, GROUP_ID) "
             "values('" + database::SqlQuote(name) + "', '" + database::SqlQuote(password) +
             "', '2024-03-05 06:07:08', " + std::to_string(build) + ", " + std::to_string(floor) + ", " +
             std::to_string(userType) + ", " + std::to_string(groupId) + ")");
}

void WorkstationTest::AddGroup(int groupType, const std::string &rights)
{
    std::string columns, values;
    for (size_t i = 0; i < rights.size(); ++i) {
        columns += std::string(", ") + kUserRightColumns[i];
        values += ", " + std::to_string(rights[i] - '0');
    }
    SeedExec("insert into user_group(GROUP_TYPE, GROUP_NAME" + columns + ") values(" + std::to_string(groupType) +
             ", 'g'" + values + ")");
}

std::string WorkstationTest::QueryText(const std::string &sql)
{
    CommitServerBatch();
    CADODatabase db;
    EXPECT_TRUE(db.Open("Driver={SQL Server};Server=127.0.0.1;Uid=velto;Pwd=qubra;"));
    CADOMyRecordset rs(&db);
    EXPECT_TRUE(rs.Exec(sql)) << sql << "\n" << rs.GetLastErrorText();
    if (!rs.IsOpen() || rs.IsEof())
        return {};
    return rs.GetFieldString("v");
}

QUdpSocket &WorkstationTest::Workstation()
{
    auto socket = std::make_unique<QUdpSocket>();
    EXPECT_TRUE(socket->bind(QHostAddress::LocalHost, 0));
    m_workstations.push_back(std::move(socket));
    return *m_workstations.back();
}

std::vector<QByteArray> WorkstationTest::Drain(QUdpSocket &socket)
{
    return TakeDatagrams(socket);
}

std::vector<QByteArray> WorkstationTest::Request(QUdpSocket &from, const QByteArray &datagram)
{
    EXPECT_EQ(from.writeDatagram(datagram, QHostAddress::LocalHost, ServerUdpPort()), datagram.size());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !m_server->m_udpSocket->hasPendingDatagrams(); }, 2000));
    return Drain(from);
}

std::vector<QByteArray> WorkstationTest::Login(QUdpSocket &from, const std::string &name, const std::string &password)
{
    return Request(from, LoginFrame(name, password));
}

void WorkstationTest::Pass()
{
    const int level = m_server->m_idleLoopLevel;
    m_server->m_idleLoopLevel = -1;
    m_server->ContinueModal();
    m_server->m_idleLoopLevel = level;
}

std::vector<std::string> WorkstationTest::LogTexts() const
{
    std::vector<std::string> texts;
    for (const QString &line : m_server->LogModel().stringList().mid(m_startupLogLines))
        texts.push_back(line.mid(9).toStdString());
    return texts;
}
