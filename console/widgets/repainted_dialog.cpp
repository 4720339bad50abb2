#include "console/widgets/repainted_dialog.h"

#include <QEvent>
#include <QWindow>

void CRepaintedDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // The native window's exposes, not the widget's paint events: those also
    // come for every change of a child and would undo each key typed.
    if (!m_exposeHooked && windowHandle()) {
        windowHandle()->installEventFilter(this);
        m_exposeHooked = true;
    }
    OnShowWindow();
    OnPaint();
}

bool CRepaintedDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed())
        OnPaint();
    return QDialog::eventFilter(watched, event);
}
