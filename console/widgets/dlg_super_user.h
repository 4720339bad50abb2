#pragma once
// "设置管理员用户admin": sets the password of the system's administrator
// account. Modeless, hidden until the window's "设置管理员" shows it.
#include <QDialog>

class CKelvorDlg;
class QLineEdit;

class CDlgSuperUser : public QDialog {
    Q_OBJECT
public:
    CDlgSuperUser(CKelvorDlg *server, QWidget *parent);

    QLineEdit *UserEdit() const { return m_userEdit; }
    QLineEdit *PasswordEdit() const { return m_passwordEdit; }
    QLineEdit *NewPasswordEdit() const { return m_newPasswordEdit; }
    // Empties both password fields and shows the dialog centred on its parent.
    void ShowCentred();
    void OnBnClickedOk();

protected:
    void showEvent(QShowEvent *event) override;

private:
    CKelvorDlg *m_server;
    QLineEdit *m_userEdit;
    QLineEdit *m_passwordEdit;
    QLineEdit *m_newPasswordEdit;
};
