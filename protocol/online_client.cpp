// Workstation requests and the lifetime of the online clients.
#include "console/kelvor_dlg.h"

uint16_t CKelvorDlg::BuildClientFrame(uint8_t *frame, const CMsg &msg, bool secondPart)
{
    const OnlineClientsView view(m_clients);
    return ::BuildClientFrame(frame, kFrameBufferSize, msg, secondPart, ClientFrameContext{&view});
}

void CKelvorDlg::OnClientRequest(int64_t) {}

// Only login and keep-alive refresh the activity time, so a workstation that
// stops sending keep-alives goes after 51 silent seconds.
void CKelvorDlg::ExpireOnlineClients(int64_t now)
{
    for (size_t i = 0; i < m_clients.size();) {
        if (now - m_clients[i]->m_lastActivity > 50) {
            std::unique_ptr<COnlineClient> gone = std::move(m_clients[i]);
            m_clients.erase(m_clients.begin() + static_cast<std::ptrdiff_t>(i));
            emit OnlineClientRemoved();
        } else {
            ++i;
        }
    }
}

void CKelvorDlg::FreeOnlineClients() { m_clients.clear(); }
