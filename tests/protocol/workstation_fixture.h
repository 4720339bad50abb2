#pragma once
// A running server with users in its database and workstations on loopback
// sockets. Idle passes of the room monitor run only when a test asks for one
// (Pass), so no push arrives unasked.
#include "support/server_fixture.h"

#include <QByteArray>
#include <QUdpSocket>
#include <memory>
#include <string>
#include <vector>

// A workstation request: length big-endian at 0..1, receiver 1, sender 2,
// tag little-endian at 8..9, code little-endian at 15..16, building, floor
// and room at 18..20, then the payload.
QByteArray RequestFrame(int code, int tag = 0, int build = 0, int floor = 0, int room = 0,
                        const QByteArray &payload = {});
// Name, NUL, password, NUL; the texts GBK.
QByteArray LoginFrame(const std::string &name, const std::string &password, int tag = 0);
int ReplyCode(const QByteArray &reply);
int ReplyTag(const QByteArray &reply);
QByteArray ReplyPayload(const QByteArray &reply);

class WorkstationTest : public ServerTest {
protected:
    void SetUp() override;
    // Runs after the seed is installed, before the server starts: a test
    // may change the hotel or the settings here.
    virtual void BeforeStart() {}

    // A user_password row; name and password GBK, quoted here.
    void AddUser(const std::string &name, const std::string &password, int groupId, int userType = 3,
                 int build = 1, int floor = 2);
    // A user_group row with right i set to rights[i] - '0'.
    void AddGroup(int groupType, const std::string &rights);
    // Column "v" of the first row, as text (GBK); "" when there is none.
    std::string QueryText(const std::string &sql);
    int QueryInt(const std::string &sql) { return std::stoi("0" + QueryText(sql)); }

    // A new workstation socket on 127.0.0.1.
    QUdpSocket &Workstation();
    // Sends, waits until the server has read it, and returns what came back
    // to that socket.
    std::vector<QByteArray> Request(QUdpSocket &from, const QByteArray &datagram);
    std::vector<QByteArray> Login(QUdpSocket &from, const std::string &name, const std::string &password);
    // Everything waiting on the socket now.
    static std::vector<QByteArray> Drain(QUdpSocket &socket);
    // One monitor pass, as the idle hook runs it.
    void Pass();

    // The lines since start-up, UTF-8, without the time prefix.
    std::vector<std::string> LogTexts() const;

    std::vector<std::unique_ptr<QUdpSocket>> m_workstations;
};
