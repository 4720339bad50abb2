#include "console/widgets/event_log_view.h"

#include <QTimerEvent>

EventLogView::EventLogView(QWidget *parent) : QListView(parent) {}

void EventLogView::setModel(QAbstractItemModel *model)
{
    disconnect(m_rowsInserting);
    disconnect(m_rowsRemoving);
    QListView::setModel(model);
    // Before the list takes the change in: a line added to a full log first
    // removes the oldest.
    if (model) {
        m_rowsInserting = connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this, &EventLogView::HoldRepaints);
        m_rowsRemoving = connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this, &EventLogView::HoldRepaints);
    }
}

void EventLogView::HoldRepaints()
{
    // A hidden list draws nothing; it catches up when shown.
    if (m_repaintHold.isActive() || !isVisible())
        return;
    setUpdatesEnabled(false);
    m_repaintHold.start(kLogRepaintInterval, this);
}

void EventLogView::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_repaintHold.timerId()) {
        QListView::timerEvent(event);
        return;
    }
    m_repaintHold.stop();
    setUpdatesEnabled(true); // repaints the whole list
}
