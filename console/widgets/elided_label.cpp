#include "console/widgets/elided_label.h"

#include <QResizeEvent>

ElidedLabel::ElidedLabel(const QString &text, QWidget *parent) : QLabel(parent)
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    SetFullText(text);
}

void ElidedLabel::SetFullText(const QString &text)
{
    m_fullText = text;
    setToolTip(text);
    Elide();
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    Elide();
}

void ElidedLabel::Elide()
{
    const int room = contentsRect().width() - 2 * margin();
    setText(fontMetrics().elidedText(m_fullText, Qt::ElideMiddle, room > 0 ? room : 0));
}
