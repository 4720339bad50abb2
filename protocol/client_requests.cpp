// Workstation requests that concern the online clients themselves (login,
// keep-alive, logout) and the three queries any sender may make. Every other
// accepted request is a room command.
#include "console/kelvor_dlg.h"

#include "protocol/frame_codes.h"
#include "protocol/frame_header.h"

#include <QThread>

#include <cstdio>

namespace {

// A reply that cannot be built (0) is not sent.
void SendToSender(CKelvorDlg &dlg, int length)
{
    if (length > 0)
        dlg.SendUdp(length, dlg.m_senderPort, dlg.m_senderAddr);
}

void Reply(CKelvorDlg &dlg, const CMsg &msg) { SendToSender(dlg, dlg.BuildClientFrame(dlg.m_sendBuf, msg, false)); }

// The reply message for code, carrying the request's tag.
CMsg &TaggedReply(const CKelvorDlg &dlg, uint32_t code)
{
    CMsg &msg = *GetScratchMsg();
    msg.m_type = code;
    msg.m_tag = dlg.m_request.m_tag;
    return msg;
}

// The layout list, in two datagrams when it is longer than one may be. The
// wait between them blocks the UI thread: the workstation needs the pause.
void SendHotelInfo(CKelvorDlg &dlg)
{
    CMsg &msg = *GetScratchMsg();
    msg.m_type = MSG_HOTEL_INFO;
    msg.m_layout = dlg.m_hotel.GetLayout();
    constexpr int kSplit = static_cast<int>(frame::kClientSplitLength);
    const int length = dlg.BuildClientFrame(dlg.m_sendBuf, msg, false);
    if (length <= kSplit) {
        SendToSender(dlg, length);
        return;
    }
    SendToSender(dlg, kSplit);
    QThread::msleep(50);
    dlg.BuildClientFrame(dlg.m_sendBuf, msg, true);
    SendToSender(dlg, length - (kSplit - static_cast<int>(frame::kHeaderSize)));
}

} // namespace

void CKelvorDlg::OnClientRequest(int64_t now)
{
    switch (m_request.m_type) {
    case MSG_LOGIN:
        OnClientLogin(now);
        break;
    case MSG_KEEPALIVE:
        for (const auto &client : m_clients) {
            if (client->Matches(m_senderPort, m_senderAddr)) {
                client->m_lastActivity = now;
                CMsg &msg = *GetScratchMsg();
                msg.m_type = MSG_KEEPALIVE_ACK;
                Reply(*this, msg);
                break;
            }
        }
        break;
    case MSG_LOGOUT:
        for (size_t i = 0; i < m_clients.size();) {
            if (m_clients[i]->Matches(m_senderPort, m_senderAddr)) {
                std::snprintf(m_logText, sizeof m_logText, "用户%s退出服务器", m_clients[i]->m_userInfo.userName);
                AddLog(m_logText);
                RemoveOnlineClient(i);
            } else {
                ++i;
            }
        }
        break;
    case MSG_ONLINE_LIST:
        Reply(*this, TaggedReply(*this, MSG_ONLINE_LIST_ANSWER));
        break;
    case MSG_ROOM_QUERY: {
        const CRoom *room = m_hotel.FindRoom(static_cast<int32_t>(m_request.m_buildNum),
                                             static_cast<int32_t>(m_request.m_floorNum),
                                             static_cast<int32_t>(m_request.m_roomNum));
        if (!room)
            break;
        CMsg &msg = TaggedReply(*this, MSG_ROOM_STATE);
        msg.m_room = *room;
        Reply(*this, msg);
        break;
    }
    case MSG_BUILD_QUERY: {
        const CBuild *build = m_hotel.GetBuild(static_cast<int>(m_request.m_buildNum));
        if (!build)
            break;
        CMsg &msg = TaggedReply(*this, MSG_BUILD_INFO);
        msg.m_build = *build;
        Reply(*this, msg);
        break;
    }
    case MSG_UNHANDLED_1E: // accepted, and nothing to do
        break;
    default:
        OnClientRoomCommand(now);
        break;
    }
}

// No earlier client of the same address and port is looked for: each login
// adds one. The client joins the list only after both replies went out.
void CKelvorDlg::OnClientLogin(int64_t now)
{
    auto client = std::make_unique<COnlineClient>();
    if (!client->Login(m_db, m_request.m_user, m_request.m_password, now)) {
        CMsg &msg = *GetScratchMsg();
        msg.m_type = MSG_LOGIN_FAIL;
        Reply(*this, msg);
        return;
    }
    CMsg &msg = *GetScratchMsg();
    msg.m_type = MSG_LOGIN_OK;
    msg.m_userInfo = client->m_userInfo;
    Reply(*this, msg);
    QThread::msleep(50);
    SendHotelInfo(*this);
    std::snprintf(m_logText, sizeof m_logText, "用户%s成功登录服务器", client->m_userInfo.userName);
    AddLog(m_logText);
    client->m_peerPort = m_senderPort;
    client->m_peerAddress = m_senderAddr;
    m_clients.push_back(std::move(client));
    emit OnlineClientAdded();
}
