#pragma once
// A modeless dialog that reloads its controls from the stored values each
// time its window is exposed (shown, uncovered, restored), as the settings
// dialogs do: what is on screen after an expose is what is stored.
#include <QDialog>

class CRepaintedDialog : public QDialog {
    Q_OBJECT
public:
    using QDialog::QDialog;

    // The reload on every expose.
    virtual void OnPaint() = 0;

protected:
    // Runs when the dialog is being shown, before the first OnPaint.
    virtual void OnShowWindow() {}
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool m_exposeHooked = false;
};
