#include "console/widgets/dlg_param.h"

#include "console/kelvor_dlg.h"
#include "console/parameters.h"
#include "console/widgets/dialog_buttons.h"
#include "console/widgets/gui_text.h"
#include "console/widgets/ip_address_ctrl.h"
#include "platform/message_box.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>
#include <cstdio>
#include <iterator>
#include <optional>

namespace {

// The boxes 1048 to 1051 in the dialog's order and the options they store.
struct OptionSwitch {
    int id;
    const char *label;
    int code;
};
constexpr OptionSwitch kSwitches[4] = {
    {1048, "启用紧急呼叫清除", 16},
    {1049, "启用请求服务清除", 18},
    {1050, "启用退房清除", 17},
    {1051, "启用电源控制", 19},
};

static_assert(kSwitches[0].code == kParameterOptionCodes[0] && kSwitches[1].code == kParameterOptionCodes[1] &&
              kSwitches[2].code == kParameterOptionCodes[2] && kSwitches[3].code == kParameterOptionCodes[3]);

// Listed in PmsType order: the selected index is the type.
const char *const kPmsTypes[] = {"无", "西软接口", "中软接口", "千里马接口", "NEC接口"};
static_assert(std::size(kPmsTypes) == kPmsTypeCount);

// An edit's text as a whole decimal number (blanks around it allowed);
// nothing when it is not one.
std::optional<long long> WholeNumber(const QString &text, bool allowSign)
{
    static const QRegularExpression signedNumber(QStringLiteral(R"(^\s*[+-]?\d{1,12}\s*$)"));
    static const QRegularExpression unsignedNumber(QStringLiteral(R"(^\s*\+?\d{1,12}\s*$)"));
    if (!(allowSign ? signedNumber : unsignedNumber).match(text).hasMatch())
        return std::nullopt;
    return text.trimmed().toLongLong();
}

// The class library's complaint about a field; the field takes the focus.
bool Reject(QLineEdit *edit, const std::string &text)
{
    platform::MessageBox(text);
    edit->setFocus();
    edit->selectAll();
    return false;
}

bool ReadRange(QLineEdit *edit, bool allowSign, long long low, long long high, int &out)
{
    const std::optional<long long> value = WholeNumber(edit->text(), allowSign);
    if (!value)
        return Reject(edit, allowSign ? "请输入一个整数。" : "请输入一个正整数。");
    if (*value < low || *value > high) {
        char text[96];
        std::snprintf(text, sizeof text, "请输入一个 %lld 至 %lld 之间的整数。", low, high);
        return Reject(edit, text);
    }
    out = static_cast<int>(*value);
    return true;
}

} // namespace

CDlgParam::CDlgParam(CKelvorDlg *server, QWidget *parent) : CRepaintedDialog(parent), m_server(server)
{
    setWindowTitle(GuiText("参数设置"));
    auto *group = new QGroupBox(GuiText("选项"), this);
    auto *grid = new QGridLayout(group);
    m_rcuIp = new CIPAddressCtrl(group);
    m_rcuIp->setObjectName("1056");
    m_interval = new QLineEdit(group);
    m_interval->setObjectName("1008");
    m_pmsType = new QComboBox(group);
    m_pmsType->setObjectName("1046");
    for (const char *type : kPmsTypes)
        m_pmsType->addItem(GuiText(type));
    m_hmsIp = new CIPAddressCtrl(group);
    m_hmsIp->setObjectName("1055");
    m_port = new QLineEdit(group);
    m_port->setObjectName("1006");
    m_autoIp = new QCheckBox(GuiText("自动IP"), group);
    m_autoIp->setObjectName("1047");
    connect(m_autoIp, &QCheckBox::clicked, this, [this] { m_hmsIp->setEnabled(!m_autoIp->isChecked()); });

    grid->addWidget(new QLabel(GuiText("RCU广播IP网段："), group), 0, 0);
    grid->addWidget(m_rcuIp, 0, 1, 1, 2);
    grid->addWidget(new QLabel(GuiText("在线广播间隔："), group), 1, 0);
    grid->addWidget(m_interval, 1, 1);
    grid->addWidget(new QLabel(GuiText("秒"), group), 1, 2);
    grid->addWidget(new QLabel(GuiText("酒管软件接口："), group), 2, 0);
    grid->addWidget(m_pmsType, 2, 1, 1, 2);
    grid->addWidget(new QLabel(GuiText("酒管接口服务IP："), group), 3, 0);
    grid->addWidget(m_hmsIp, 3, 1, 1, 2);
    grid->addWidget(m_autoIp, 3, 3);
    grid->addWidget(new QLabel(QStringLiteral("UDP PORT:"), group), 4, 0);
    grid->addWidget(m_port, 4, 1, 1, 2);
    // The group frames the network and interface controls; the option
    // switches stand below it.
    auto *switches = new QGridLayout;
    for (int i = 0; i < 4; ++i) {
        m_switches[i] = new QCheckBox(GuiText(kSwitches[i].label), this);
        m_switches[i]->setObjectName(QString::number(kSwitches[i].id));
        switches->addWidget(m_switches[i], i / 2, i % 2);
    }

    QDialogButtonBox *buttons = OkCancelButtons(this, &CDlgParam::OnBnClickedOk, &QDialog::hide);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(switches);
    layout->addWidget(buttons);
}

void CDlgParam::OnPaint()
{
    m_rcuIp->SetAddress(m_server->m_rcuBroadcastIp);
    m_hmsIp->SetAddress(m_server->m_hmsIp);
    m_port->setText(QString::number(m_server->m_hmsPort));
    m_interval->setText(QString::number(m_server->m_broadcastInterval));
    m_autoIp->setChecked(m_server->m_hmsIpAuto != 0);
    m_hmsIp->setEnabled(!m_autoIp->isChecked());
}

void CDlgParam::OnShowWindow()
{
    for (int i = 0; i < 4; ++i) {
        int disabled = 0;
        m_server->GetSysOption(kSwitches[i].code, &disabled);
        m_switches[i]->setChecked(disabled != 0);
    }
    const int type = m_server->m_pmsType;
    m_pmsType->setCurrentIndex(type >= 0 && type < m_pmsType->count() ? type : -1);
}

void CDlgParam::OnBnClickedOk()
{
    ParameterValues v;
    // Ports above 65535 would be cut when a datagram is sent.
    if (!ReadRange(m_interval, true, 3, 2000, v.broadcastInterval) || !ReadRange(m_port, false, 0, 65535, v.hmsPort))
        return;
    v.rcuBroadcastIp = m_rcuIp->GetAddress();
    v.pmsType = m_pmsType->currentIndex();
    v.hmsIp = m_hmsIp->GetAddress();
    v.hmsIpAuto = m_autoIp->isChecked() ? 1 : 0;
    for (int i = 0; i < 4; ++i)
        v.optionSwitches[i] = m_switches[i]->isChecked() ? 1 : 0;
    ApplyParameters(*m_server, v);
    hide();
}
