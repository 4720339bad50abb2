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

// The width a title bar needs for the window's caption: the text in bold, as
// window managers draw it, and room for the icon and three buttons beside it.
inline int CaptionWidth(const QWidget *window)
{
    constexpr int kTitleBarDecorations = 120;
    QFont caption = window->font();
    caption.setBold(true);
    return QFontMetrics(caption).horizontalAdvance(window->windowTitle()) + kTitleBarDecorations;
}

// Wide enough for the caption in a title bar.
inline void FitWidthToCaption(QWidget *dialog)
{
    dialog->setMinimumWidth(std::max(dialog->minimumWidth(), CaptionWidth(dialog)));
}
