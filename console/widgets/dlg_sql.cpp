#include "console/widgets/dlg_sql.h"

#include "console/widgets/dialog_buttons.h"
#include "console/widgets/dialog_placement.h"
#include "console/widgets/gui_text.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CDlgSql::CDlgSql(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(GuiText("数据库管理员登录"));
    m_userEdit = new QLineEdit(this);
    m_userEdit->setObjectName("1009");
    m_passwordEdit = new QLineEdit(this);
    m_passwordEdit->setObjectName("1010");
    m_passwordEdit->setEchoMode(QLineEdit::Password);
    auto *form = new QFormLayout;
    form->addRow(GuiText("用户名："), m_userEdit);
    form->addRow(GuiText("登录密码："), m_passwordEdit);
    QDialogButtonBox *buttons = OkCancelButtons(this, &CDlgSql::accept, &CDlgSql::reject, "登录");
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

int CDlgSql::exec()
{
    m_userEdit->setText(platform::QStringFromGbk(m_userName));
    m_passwordEdit->setText(platform::QStringFromGbk(m_password));
    m_passwordEdit->setFocus();
    return QDialog::exec();
}

void CDlgSql::accept()
{
    m_userName = platform::GbkFromQString(m_userEdit->text()).toStdString();
    m_password = platform::GbkFromQString(m_passwordEdit->text()).toStdString();
    QDialog::accept();
}

bool AskAdminPassword(QWidget *parent, std::string &password)
{
    CDlgSql dialog(parent);
    dialog.m_userName = "sa";
    dialog.m_password.clear();
    CentreOverParent(&dialog);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    password = dialog.m_password;
    return true;
}
