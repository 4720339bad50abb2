#pragma once
// "在线联机用户": a snapshot of the online workstation clients, taken by
// RefreshList (the window's button, every login, logout and expiry).
#include <QDialog>

class CKelvorDlg;
class QTableWidget;

class CDlgClient : public QDialog {
    Q_OBJECT
public:
    CDlgClient(CKelvorDlg *server, QWidget *parent);

    QTableWidget *List() const { return m_list; } // 1003
    void RefreshList();
    QSize sizeHint() const override { return {580, 300}; }

private:
    CKelvorDlg *m_server;
    QTableWidget *m_list;
};
