// The dispatcher of every datagram that reaches the UDP socket: checks, the
// PMS XML form, routing by sender kind and command code, and for room units
// the room lookup and the learning of the unit's address and port.
#include "console/kelvor_dlg.h"

#include "protocol/client_frame_parse.h"
#include "protocol/udp_socket.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint8_t kSenderRcu = 0;
constexpr uint8_t kSenderClient = 2;
constexpr uint8_t kSenderPanel = 6;

int BigEndian16(const uint8_t *p) { return p[0] << 8 | p[1]; }

} // namespace

void CKelvorDlg::OnUdpReceive()
{
    if (!m_udpSocket)
        return;
    uint32_t address = 0;
    uint16_t port = 0;
    const qint64 n = m_udpSocket->ReceiveFrom(m_recvBuf, kFrameBufferSize, address, port);
    if (n >= 0)
        HandleDatagram(static_cast<int>(n), address, port);
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
    if (m_pmsType == 1 && TryPmsXmlDatagram(length))
        return;
    DispatchDatagram(length);
}

void CKelvorDlg::DispatchDatagram(int length)
{
    const uint8_t *frame = m_recvBuf;
    if (std::memcmp(frame + 2, "ZOLP", 4) != 0 || frame[1] != length || frame[6] != 1)
        return;
    const int64_t now = Now();
    switch (frame[7]) {
    case kSenderClient:
        if (!ParseClientFrame(frame, static_cast<size_t>(length), m_request))
            return;
        ++m_clientRecvCount;
        OnClientRequest(now);
        return;
    case kSenderPanel: {
        const int code = BigEndian16(frame + 15);
        if (code == 0x0091 || code == 0x0092)
            OnPanelCallMask(now, frame[18], frame[19], frame[20], code);
        return;
    }
    case kSenderRcu:
        break;
    default:
        return;
    }

    const int build = frame[18];
    const int floor = frame[19];
    const int roomNum = frame[20] >= 100 ? frame[20] - 100 : frame[20];
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

    const int code = BigEndian16(frame + 15);
    switch (code) {
    case 0x0081: // RCU_STATUS_SHORT
    case 0x0084: // RCU_STATUS_FULL
        OnRcuStatusReport(now, room, code);
        break;
    case 0x0007: // RCU_TIME_QUERY answer
    case 0x001E: // RCU_READ_PARAMS answer
    case 0x0082: // RCU_HEARTBEAT
    case 0x0083: // RCU_DEVICE_TABLE
    case 0x008A: // RCU_IDENT
    case 0x0090: // RCU_LOCK_RECORD
    case 0x0606: // RCU_FAN_UNIT
    case 0x0616: // RCU_METER_DATA
        OnRcuOtherReport(now, room, code);
        break;
    default:
        break;
    }
}
