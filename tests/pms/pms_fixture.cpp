#include "pms_fixture.h"
#include "support/datagrams.h"

#include "database/ado_recordset.h"
#include "platform/gbk.h"
#include "pms/pms_link.h"
#include "protocol/crc.h"

#include <QTest>

void PmsServerTest::SetUp()
{
    ServerTest::SetUp();
    InstallSeed("velto.db");
    Start();
    ASSERT_EQ(m_server->Mode(), StartMode::Full);
    ASSERT_TRUE(m_unit.bind(QHostAddress::LocalHost, 0));
    m_eventsBefore = std::stoi(Field("select count(*) as n from event_msg_list", "n"));
    NewLogLines();
}

CRoom &PmsServerTest::PlaceUnit(int build, int floor, int room)
{
    CRoom *r = m_server->m_hotel.FindRoom(build, floor, room);
    EXPECT_NE(r, nullptr);
    r->m_rcuIp = 0x7F000001;
    r->m_rcuPort = m_unit.localPort();
    return *r;
}

void PmsServerTest::Connect(QTcpSocket &pms, quint16 port)
{
    CClientSocket *before = m_server->m_pmsLink;
    pms.connectToHost(QHostAddress::LocalHost, PmsPort(port));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_server->m_pmsLink && m_server->m_pmsLink != before; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return pms.state() == QAbstractSocket::ConnectedState; }, 5000));
}

std::string PmsServerTest::Command(const std::string &text, QTcpSocket *on)
{
    QTcpSocket &pms = on ? *on : m_pms;
    const int logBefore = m_server->LogModel().rowCount();
    EXPECT_EQ(pms.write(text.data(), static_cast<qint64>(text.size())), static_cast<qint64>(text.size()));
    pms.flush();
    // Every command over TCP logs its text first, and is handled in one go.
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_server->LogModel().rowCount() > logBefore; }, 5000)) << text;
    std::string reply;
    if (pms.waitForReadyRead(100)) {
        do
            reply += pms.readAll().toStdString();
        while (pms.waitForReadyRead(20));
    }
    return reply;
}

std::vector<QByteArray> PmsServerTest::Frames()
{
    return TakeDatagrams(m_unit);
}

std::vector<std::string> PmsServerTest::NewLogLines()
{
    const QStringList lines = m_server->LogModel().stringList();
    std::vector<std::string> fresh;
    for (qsizetype i = m_logSeen; i < lines.size(); ++i)
        fresh.push_back(lines[i].mid(9).toStdString());
    m_logSeen = static_cast<int>(lines.size());
    return fresh;
}

std::vector<std::string> PmsServerTest::NewEventRows()
{
    CADOMyRecordset rs(&m_server->m_db);
    EXPECT_TRUE(rs.Exec("select * from event_msg_list order by msg_index"));
    std::vector<std::string> rows;
    int index = 0;
    for (; !rs.IsEof(); rs.MoveNext(), ++index) {
        if (index < m_eventsBefore)
            continue;
        rows.push_back(rs.GetFieldString("build_num") + "|" + rs.GetFieldString("floor_num") + "|" +
                       rs.GetFieldString("room_num") + "|" + rs.GetFieldString("msg_type") + "|" +
                       platform::Utf8FromGbk(rs.GetFieldString("msg_title")));
    }
    m_eventsBefore = index;
    return rows;
}

std::string PmsServerTest::Field(const std::string &sql, const std::string &field)
{
    CADOMyRecordset rs(&m_server->m_db);
    EXPECT_TRUE(rs.Exec(sql)) << sql << "\n" << rs.GetLastErrorText();
    EXPECT_GT(rs.GetRecordCount(), 0) << sql;
    return rs.GetFieldString(field);
}

void PmsServerTest::Exec(const std::string &sql)
{
    CADOMyRecordset rs(&m_server->m_db);
    EXPECT_TRUE(rs.Exec(sql)) << sql << "\n" << rs.GetLastErrorText();
}

int PmsServerTest::RmState(int build, int floor, int room)
{
    return std::stoi(Field("select RMSTATE from ##REALTIMEROOM where BUILD=" + std::to_string(build) +
                               " and FLOOR =" + std::to_string(floor) + "  and ROOMNUM =" + std::to_string(room),
                           "RMSTATE"));
}

std::vector<StateFrame> StateFrames(const std::vector<QByteArray> &frames)
{
    std::vector<StateFrame> found;
    for (const QByteArray &f : frames) {
        const auto *b = reinterpret_cast<const uint8_t *>(f.constData());
        EXPECT_EQ(f.size(), 28);
        if (f.size() != 28)
            continue;
        EXPECT_EQ(b[15] << 8 | b[16], 0x000C);
        EXPECT_EQ(b[22], 4);
        const uint16_t crc = Crc16Modbus(b + 22, 2);
        EXPECT_EQ(b[24] | b[25] << 8, crc);
        found.push_back({b[18], b[19], b[20], b[23]});
    }
    return found;
}

std::string Utf8(const char *gbk) { return platform::Utf8FromGbk(gbk); }
