// The dispatcher of every datagram that reaches the UDP socket: checks, the
// PMS XML form, routing by sender kind and command code, and for room units
// the room lookup and the learning of the unit's address and port.
#include "console/kelvor_dlg.h"

#include "protocol/client_frame_parse.h"
#include "protocol/frame_codes.h"
#include "protocol/frame_header.h"
#include "protocol/rcu_reports.h"
#include "protocol/udp_socket.h"

#include <cstdio>
#include <cstring>

void CKelvorDlg::OnUdpReceive()
{
    ReceiveDatagrams(CUdpSocket::kDatagramsPerNotice);
}

// A datagram too long to read is taken off the queue all the same: the next
// one is read.
int CKelvorDlg::ReceiveDatagrams(int most)
{
    int taken = 0;
    while (taken < most && m_udpSocket) {
        uint32_t address = 0;
        uint16_t port = 0;
        const qint64 n = m_udpSocket->ReceiveFrom(m_recvBuf, kFrameBufferSize, address, port);
        if (n == CUdpSocket::kNothingQueued)
            break;
        ++taken;
        if (n >= 0)
            HandleDatagram(static_cast<int>(n), address, port);
    }
    return taken;
}

void CKelvorDlg::HandleDatagram(int length, uint32_t senderIp, uint16_t senderPort)
{
    if (length < 0 || length > kFrameBufferSize)
        return;
    // The datagram is followed by a NUL, and nothing an earlier, longer
    // datagram left behind stays: a handler reading past a short datagram
    // sees zeroes.
    m_recvBuf[length] = 0;
    if (m_recvDirty > length + 1)
        std::memset(m_recvBuf + length + 1, 0, static_cast<size_t>(m_recvDirty - length - 1));
    m_recvDirty = length + 1;
    m_recvLength = length;
    m_senderIp = senderIp;
    FormatIPv4(senderIp, m_senderAddr);
    m_senderPort = senderPort;

    if (!m_db.IsOpen())
        return;
    // Its live-room writes run together once it is handled.
    const CADODatabase::LiveRoomWriteGroup liveRoomWrites(m_db);
    if (m_pmsType == kPmsFoxhis && TryPmsXmlDatagram(length))
        return;
    DispatchDatagram(length);
}

void CKelvorDlg::DispatchDatagram(int length)
{
    const uint8_t *frame = m_recvBuf;
    if (std::memcmp(frame + frame::kMagic, frame::kMagicText, sizeof frame::kMagicText) != 0 ||
        frame[frame::kLength + 1] != length || frame[frame::kReceiverKind] != frame::kKindServer)
        return;
    const int64_t now = Now();
    switch (frame[frame::kSenderKind]) {
    case frame::kKindClient:
        if (!ParseClientFrame(frame, static_cast<size_t>(length), m_request))
            return;
        ++m_clientRecvCount;
        OnClientRequest(now);
        return;
    case frame::kKindPanel: {
        const int code = frame::GetU16Be(frame + frame::kCommand);
        if (code == PANEL_CALL_MASK || code == PANEL_CALL_MASK_2)
            OnPanelCallMask(now, frame[frame::kBuilding], frame[frame::kFloor], frame[frame::kRoom], code);
        return;
    }
    case frame::kKindRcu:
        break;
    default:
        return;
    }

    const int build = frame[frame::kBuilding];
    const int floor = frame[frame::kFloor];
    const int roomNum = frame[frame::kRoom] >= 100 ? frame[frame::kRoom] - 100 : frame[frame::kRoom];
    ++m_rcuRecvCount;
    CRoom *room = m_hotel.FindRoom(build, floor, roomNum);
    if (!room) {
        std::snprintf(m_logText, sizeof m_logText, "%d|%d%02d *错误报文*", build, floor, roomNum);
        AddLog(m_logText);
        return;
    }
    room->m_rcuIp = m_senderIp;
    room->m_rcuPort = m_senderPort;
    ++m_rcuKnownCount;
    m_curMsgRoom = room;

    const int code = frame::GetU16Be(frame + frame::kCommand);
    switch (code) {
    case RCU_STATUS_SHORT:
    case RCU_STATUS_FULL:
        OnRcuStatusReport(now, room, code);
        break;
    case RCU_TIME_QUERY:  // the answer comes under the command's code
    case RCU_READ_PARAMS: // likewise
    case RCU_HEARTBEAT:
    case RCU_DEVICE_TABLE:
    case RCU_IDENT:
    case RCU_LOCK_RECORD:
    case RCU_FAN_UNIT:
    case RCU_METER_DATA:
        OnRcuOtherReport(now, room, code);
        break;
    default:
        break;
    }
}
