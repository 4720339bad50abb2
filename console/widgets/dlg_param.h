#pragma once
// "参数设置": the RCU broadcast address, the poll interval, the PMS interface
// with its host and port, the reply-to-sender switch and option switches 16
// to 19. OK stores them into the running server, the profile and the system
// options.
#include "console/widgets/repainted_dialog.h"

class CIPAddressCtrl;
class CKelvorDlg;
class QCheckBox;
class QComboBox;
class QLineEdit;

class CDlgParam : public CRepaintedDialog {
    Q_OBJECT
public:
    CDlgParam(CKelvorDlg *server, QWidget *parent);

    CIPAddressCtrl *RcuBroadcastIp() const { return m_rcuIp; } // 1056
    QLineEdit *IntervalEdit() const { return m_interval; }     // 1008
    QComboBox *PmsTypeCombo() const { return m_pmsType; }      // 1046
    CIPAddressCtrl *HmsIp() const { return m_hmsIp; }          // 1055
    QLineEdit *PortEdit() const { return m_port; }             // 1006
    QCheckBox *AutoIp() const { return m_autoIp; }             // 1047
    // 1048, 1049, 1050, 1051.
    QCheckBox *OptionSwitch(int i) const { return m_switches[i]; }

    // The addresses, port, interval and "自动IP" from the server again.
    void OnPaint() override;
    void OnBnClickedOk();

protected:
    // The option switches and the PMS interface from what is stored.
    void OnShowWindow() override;

private:
    CKelvorDlg *m_server;
    CIPAddressCtrl *m_rcuIp;
    QLineEdit *m_interval;
    QComboBox *m_pmsType;
    CIPAddressCtrl *m_hmsIp;
    QLineEdit *m_port;
    QCheckBox *m_autoIp;
    QCheckBox *m_switches[4];
};
