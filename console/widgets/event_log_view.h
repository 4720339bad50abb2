#pragma once
// The event log list of the operator window. At hotel scale the server adds
// hundreds of lines a second, one per datagram, each in its own pass of the
// event loop; a list repainted after every line spends most of the
// user-interface thread laying out and drawing the same visible lines again.
// So while lines keep coming, the list is drawn at most once per
// kLogRepaintInterval. Its lines, selection and scroll position follow the
// log at once; only the drawing of them waits.
#include <QBasicTimer>
#include <QListView>
#include <QMetaObject>

class EventLogView : public QListView {
    Q_OBJECT
public:
    // 20 repaints a second at most: as fast as anyone reads a scrolling log.
    static constexpr int kLogRepaintInterval = 50; // ms

    explicit EventLogView(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model) override;

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    // From the first line added until the interval is over, nothing of the
    // list is drawn; then all of it once.
    void HoldRepaints();

    QBasicTimer m_repaintHold;
    QMetaObject::Connection m_rowsInserting, m_rowsRemoving;
};
