#include "console/widgets/dlg_setting.h"

#include "console/kelvor_dlg.h"
#include "console/widgets/dialog_buttons.h"
#include "console/widgets/gui_text.h"
#include "console/widgets/number_text.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CDlgSetting::CDlgSetting(CKelvorDlg *server, QWidget *parent) : CRepaintedDialog(parent), m_server(server)
{
    setWindowTitle(GuiText("数据库参数设置"));
    auto *group = new QGroupBox(GuiText("数据库自动维护选项"), this);
    auto *grid = new QGridLayout(group);
    m_monthsSwitch = new QCheckBox(GuiText("保留最近"), group);
    m_monthsSwitch->setObjectName("1058");
    m_monthsEdit = new QLineEdit(group);
    m_monthsEdit->setObjectName("1061");
    m_recordsSwitch = new QCheckBox(GuiText("保留最近"), group);
    m_recordsSwitch->setObjectName("1060");
    m_recordsEdit = new QLineEdit(group);
    m_recordsEdit->setObjectName("1062");
    for (QLineEdit *edit : {m_monthsEdit, m_recordsEdit})
        edit->setMaximumWidth(60);
    grid->addWidget(m_monthsSwitch, 0, 0);
    grid->addWidget(m_monthsEdit, 0, 1);
    grid->addWidget(new QLabel(GuiText("个月内消息记录和日志记录"), group), 0, 2);
    grid->addWidget(m_recordsSwitch, 1, 0);
    grid->addWidget(m_recordsEdit, 1, 1);
    grid->addWidget(new QLabel(GuiText("万条消息及日志记录"), group), 1, 2);
    grid->addWidget(new QLabel(GuiText("注：输入0代表无限制"), group), 2, 0, 1, 3);

    QDialogButtonBox *buttons = OkCancelButtons(this, &CDlgSetting::OnBnClickedOk, &QDialog::hide);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons);
}

void CDlgSetting::OnPaint()
{
    if (!m_server->m_db.IsOpen())
        return;
    int disabled = 0;
    std::string value = m_server->GetSysOption1(&disabled);
    m_monthsSwitch->setChecked(!disabled);
    m_monthsEdit->setText(platform::QStringFromGbk(value));
    value = m_server->GetSysOption2(&disabled);
    m_recordsSwitch->setChecked(!disabled);
    m_recordsEdit->setText(platform::QStringFromGbk(value));
}

// A checked switch turns the limit on: Disabled 0.
void CDlgSetting::OnBnClickedOk()
{
    m_server->SetOptionInt(1, LeadingNumber(m_monthsEdit->text()), m_monthsSwitch->isChecked() ? 0 : 1);
    m_server->SetOptionInt(2, LeadingNumber(m_recordsEdit->text()), m_recordsSwitch->isChecked() ? 0 : 1);
    hide();
}
