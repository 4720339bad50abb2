#pragma once
// A logged-in staff workstation, known only by the address and port its
// login came from. The main window keeps them in m_clients, in login order.
#include "model/object.h"
#include "protocol/client_frame_build.h"
#include "protocol/device_com_ctrl.h"
#include "protocol/user_info.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CADODatabase;

class COnlineClient : public CObject {
public:
    COnlineClient() = default;
    ~COnlineClient() override = default;
    COnlineClient(const COnlineClient &) = delete;
    COnlineClient &operator=(const COnlineClient &) = delete;

    std::string m_peerAddress;  // dotted IPv4, as the socket reported the sender
    uint16_t m_peerPort = 0;
    int64_t m_loginTime = 0;    // seconds since 1970
    int64_t m_lastActivity = 0; // the login, then each keep-alive
    int32_t m_loggedIn = 0;     // 1 once Login found the user
    stUserInfo m_userInfo;      // sent back raw in the login answer
    CDeviceComCtrl m_cmdRecord; // reused for every room command of this client

    // Checks the user against user_password (and user_group for the rights)
    // and writes the system_run_log row. 1 when the user exists and the
    // record and both times are filled; 0 otherwise. The texts are GBK, at
    // most 50 bytes each are kept.
    int Login(CADODatabase &db, std::string_view userName, std::string_view password, int64_t now);

    // The port is compared first: it is the cheaper test.
    bool Matches(uint16_t port, std::string_view address) const
    {
        return m_peerPort == port && m_peerAddress == address;
    }
};

// Owning; appended at the tail, walked from the head.
using OnlineClients = std::vector<std::unique_ptr<COnlineClient>>;

// What reply 0x8E reads of the list.
class OnlineClientsView : public OnlineClientList {
public:
    explicit OnlineClientsView(const OnlineClients &clients) : m_clients(clients) {}
    size_t Count() const override { return m_clients.size(); }
    OnlineClientEntry At(size_t index) const override
    {
        const COnlineClient &client = *m_clients[index];
        const char *name = client.m_userInfo.userName;
        return {{name, strnlen(name, stUserInfo::kTextSize)}, client.m_peerAddress};
    }

private:
    const OnlineClients &m_clients;
};
