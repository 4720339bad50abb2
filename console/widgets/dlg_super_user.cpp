#include "console/widgets/dlg_super_user.h"

#include "console/admin_account.h"
#include "console/kelvor_dlg.h"
#include "console/widgets/dialog_placement.h"
#include "console/widgets/dialog_buttons.h"
#include "console/widgets/gui_text.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

CDlgSuperUser::CDlgSuperUser(CKelvorDlg *server, QWidget *parent) : QDialog(parent), m_server(server)
{
    setWindowTitle(GuiText("设置管理员用户admin"));
    m_userEdit = new QLineEdit(QStringLiteral("Admin"), this);
    m_userEdit->setObjectName("1009");
    m_passwordEdit = new QLineEdit(this);
    m_passwordEdit->setObjectName("1010");
    m_passwordEdit->setEchoMode(QLineEdit::Password);
    m_newPasswordEdit = new QLineEdit(this);
    m_newPasswordEdit->setObjectName("1011");
    m_newPasswordEdit->setEchoMode(QLineEdit::Password);
    auto *form = new QFormLayout;
    form->addRow(GuiText("用户名："), m_userEdit);
    form->addRow(GuiText("密    码："), m_passwordEdit);
    form->addRow(GuiText("新密码："), m_newPasswordEdit);
    QDialogButtonBox *buttons = OkCancelButtons(this, &CDlgSuperUser::OnBnClickedOk, &QDialog::hide);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    FitWidthToCaption(this);
}

void CDlgSuperUser::ShowCentred()
{
    m_passwordEdit->clear();
    m_newPasswordEdit->clear();
    CentreOverParent(this);
    show();
    raise();
}

// Only the password edit is read: the account written is always "admin".
void CDlgSuperUser::OnBnClickedOk()
{
    SetAdminPassword(m_server->m_db, platform::GbkFromQString(m_passwordEdit->text()).toStdString());
    hide();
}

void CDlgSuperUser::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    m_passwordEdit->setFocus();
}
