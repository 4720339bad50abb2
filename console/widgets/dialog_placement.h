#pragma once
// The secondary dialogs are shown centred over the main window, their parent,
// and wide enough for their captions.
#include <QFontMetrics>
#include <QScreen>
#include <QWidget>
#include <algorithm>

// While the parent is not shown yet (the first start's login, asked before
// the main window appears) the dialog goes to the middle of the screen.
inline void CentreOverParent(QWidget *dialog)
{
    // A size of the dialog's own stays; Qt's fit would cap it to part of
    // the screen.
    if (!dialog->testAttribute(Qt::WA_Resized))
        dialog->adjustSize();
    QWidget *owner = dialog->parentWidget();
    if (owner && owner->isVisible()) {
        dialog->move(owner->geometry().center() - dialog->rect().center());
    } else if (QScreen *screen = owner ? owner->screen() : dialog->screen()) {
        dialog->move(screen->availableGeometry().center() - dialog->rect().center());
    }
}

// Wide enough for the caption in a title bar: the text in bold, as window
// managers draw it, and room for the icon and three buttons beside it.
inline void FitWidthToCaption(QWidget *dialog)
{
    constexpr int kTitleBarDecorations = 120;
    QFont caption = dialog->font();
    caption.setBold(true);
    const int width = QFontMetrics(caption).horizontalAdvance(dialog->windowTitle()) + kTitleBarDecorations;
    dialog->setMinimumWidth(std::max(dialog->minimumWidth(), width));
}
