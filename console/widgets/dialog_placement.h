#pragma once
// The secondary dialogs are shown centred over the main window, their parent.
#include <QWidget>

inline void CentreOverParent(QWidget *dialog)
{
    if (QWidget *owner = dialog->parentWidget()) {
        // A size of the dialog's own stays; Qt's fit would cap it to part of
        // the screen.
        if (!dialog->testAttribute(Qt::WA_Resized))
            dialog->adjustSize();
        dialog->move(owner->geometry().center() - dialog->rect().center());
    }
}
