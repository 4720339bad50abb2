#pragma once
// "数据库参数设置": the two database-maintenance options (months of messages
// and logs to keep, ten-thousands of records to keep), each with its switch.
// The server stores and shows them; nothing applies them.
#include "console/widgets/repainted_dialog.h"

class CKelvorDlg;
class QCheckBox;
class QLineEdit;

class CDlgSetting : public CRepaintedDialog {
    Q_OBJECT
public:
    CDlgSetting(CKelvorDlg *server, QWidget *parent);

    QCheckBox *MonthsSwitch() const { return m_monthsSwitch; }   // 1058
    QCheckBox *RecordsSwitch() const { return m_recordsSwitch; } // 1060
    QLineEdit *MonthsEdit() const { return m_monthsEdit; }       // 1061
    QLineEdit *RecordsEdit() const { return m_recordsEdit; }     // 1062

    // Both options again into the controls, while the database is open.
    void OnPaint() override;
    void OnBnClickedOk();

private:
    CKelvorDlg *m_server;
    QCheckBox *m_monthsSwitch;
    QCheckBox *m_recordsSwitch;
    QLineEdit *m_monthsEdit;
    QLineEdit *m_recordsEdit;
};
