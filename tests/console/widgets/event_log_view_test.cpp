// The event log list as the operator sees it while the server writes line
// after line, each in its own pass of the event loop as datagrams come: the
// list holds the log's last 500 lines with the newest selected and in view,
// shown or shown again after the tray, yet a flood of lines is drawn a few
// times, not once per line.
#include "console/kelvor_dlg.h"
#include "console/widgets/kelvor_window.h"

#include <QListView>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>
#include <string>

namespace {

class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

class EventLogViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
        List()->viewport()->installEventFilter(&m_counter);
    }
    QListView *List() const { return m_window.LogView(); }
    // As the dispatcher writes them: one line, then the event loop's turn.
    void AddLines(int count)
    {
        for (int i = 0; i < count; ++i) {
            m_server.AddLog(("line " + std::to_string(m_added++)).c_str());
            QCoreApplication::processEvents();
        }
    }
    // The list is drawn again with everything it was given.
    bool Settled()
    {
        if (!QTest::qWaitFor([&] { return List()->updatesEnabled(); }, 2000))
            return false;
        QCoreApplication::processEvents();
        return true;
    }
    void ExpectNewestSelectedAndInView()
    {
        const QModelIndex newest = List()->model()->index(List()->model()->rowCount() - 1, 0);
        EXPECT_EQ(List()->currentIndex(), newest);
        EXPECT_TRUE(List()->selectionModel()->isSelected(newest));
        EXPECT_TRUE(List()->viewport()->rect().contains(List()->visualRect(newest))) << List()->visualRect(newest).y();
        EXPECT_EQ(List()->verticalScrollBar()->value(), List()->verticalScrollBar()->maximum());
    }

    CKelvorDlg m_server;
    CKelvorWindow m_window{&m_server};
    PaintCounter m_counter;
    int m_added = 0;
};

TEST_F(EventLogViewTest, AFloodOfLinesIsDrawnAFewTimesWithTheNewestInView)
{
    constexpr int kLines = 600;
    AddLines(kLines);
    ASSERT_TRUE(Settled());
    // Once per line would be 600; a few per tenth of a second is what a
    // reader can follow (generous for a busy machine).
    EXPECT_LE(m_counter.paints, kLines / 10);
    EXPECT_GE(m_counter.paints, 1);

    ASSERT_EQ(List()->model()->rowCount(), 500);
    EXPECT_TRUE(List()->model()->index(0, 0).data().toString().endsWith(QStringLiteral("  line 100")));
    EXPECT_TRUE(List()->model()->index(499, 0).data().toString().endsWith(QStringLiteral("  line 599")));
    ExpectNewestSelectedAndInView();
}

TEST_F(EventLogViewTest, LinesWrittenWhileInTheTrayAreInViewWhenShownAgain)
{
    AddLines(10);
    m_window.hide();
    AddLines(590);
    m_window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
    ASSERT_TRUE(Settled());
    ExpectNewestSelectedAndInView();
}

TEST_F(EventLogViewTest, AnOlderLineTheOperatorSelectsStaysSelectedThroughAFlood)
{
    AddLines(40);
    ASSERT_TRUE(Settled());
    const QModelIndex older = List()->model()->index(30, 0);
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, List()->visualRect(older).center());
    ASSERT_TRUE(List()->selectionModel()->isSelected(older));
    AddLines(100);
    EXPECT_EQ(List()->currentIndex().row(), 30);
    EXPECT_TRUE(List()->currentIndex().data().toString().endsWith(QStringLiteral("  line 30")));
}

} // namespace
