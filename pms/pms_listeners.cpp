#include "console/kelvor_dlg.h"
#include "pms/pms_link.h"
#include "platform/message_box.h"

bool CTcpSocket::Create(quint16 port)
{
    setListenBacklogSize(5);
    return listen(QHostAddress::AnyIPv4, port);
}

void CKelvorDlg::CreatePmsListeners()
{
    for (int i = 0; i < 2; ++i) {
        auto *listener = new CTcpSocket(this);
        if (listener->Create(static_cast<quint16>(kPmsTcpPorts[i]))) {
            m_pmsListeners[i] = listener;
        } else {
            delete listener;
            m_pmsListeners[i] = nullptr;
            platform::MessageBox("创建Tcp SOCKET失败！");
        }
    }
}
