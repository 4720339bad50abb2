#pragma once
// The secondary dialogs are shown centred over the main window, their parent.
#include <QWidget>

inline void CentreOverParent(QWidget *dialog)
{
    if (QWidget *owner = dialog->parentWidget()) {
        dialog->adjustSize();
        dialog->move(owner->geometry().center() - dialog->rect().center());
    }
}
