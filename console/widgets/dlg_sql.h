#pragma once
// "数据库管理员登录": asks for the database administrator's password on the
// first start, when the server's own login is refused.
#include <QDialog>
#include <string>

class QLineEdit;

class CDlgSql : public QDialog {
    Q_OBJECT
public:
    explicit CDlgSql(QWidget *parent = nullptr);

    // GBK; read from the edits when "登录" is pressed.
    std::string m_userName;
    std::string m_password;

    QLineEdit *UserEdit() const { return m_userEdit; }
    QLineEdit *PasswordEdit() const { return m_passwordEdit; }
    int exec() override;
    void accept() override;

private:
    QLineEdit *m_userEdit;
    QLineEdit *m_passwordEdit;
};

// The first start's question for the administrator's password: the dialog
// with user "sa" and an empty password, run modally. False when cancelled;
// the typed user name is not used.
bool AskAdminPassword(QWidget *parent, std::string &password);
