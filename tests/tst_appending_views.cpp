// The shot table and the list text repaint only what a new row changes: the row itself and what
// scrolls, never every visible cell; a removal still repaints the rows that moved.
#include "main_window/flex_grid.h"
#include "main_window/list_text.h"

#include <QApplication>
#include <QPaintEvent>
#include <QScrollBar>
#include <QTest>

namespace {

// The area the viewport paints, summed over paint events.
class PaintedArea : public QObject {
public:
    explicit PaintedArea(QWidget* viewport) { viewport->installEventFilter(this); }
    QRegion region;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            region += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
};

int paintedRows(const QRegion& region, int rowHeight)
{
    return (region.boundingRect().height() + rowHeight - 1) / rowHeight;
}

} // namespace

class TestAppendingViews : public QObject {
    Q_OBJECT

private slots:
    void aNewRowRepaintsItselfNotTheRowsOnView()
    {
        FlexGrid grid;
        grid.setFormatString(QStringLiteral("<Shot  |^Time|^fps"));
        grid.resize(400, 300);
        for (int i = 1; i <= 3; ++i)
            grid.AddItem(QStringLiteral("%1\t12:00:0%1\t80%1.00").arg(i));
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QApplication::processEvents();
        const int rowHeight = grid.rowHeight(0);

        PaintedArea painted(grid.viewport());
        grid.AddItem(QStringLiteral("4\t12:00:04\t804.00"));
        QApplication::processEvents();
        QTRY_VERIFY(!painted.region.isEmpty());
        QCOMPARE(paintedRows(painted.region, rowHeight), 1);
        QVERIFY(painted.region.boundingRect().top() >= grid.rowViewportPosition(3));

        for (int i = 5; i <= 60; ++i)
            grid.AddItem(QStringLiteral("%1\t12:00:00\t800.00").arg(i));
        const int onView = grid.viewport()->height() / rowHeight;
        QVERIFY(onView > 4);
        // The scroll bar still knows every row.
        grid.AddItem(QStringLiteral("61\t12:00:01\t801.00"));
        QApplication::processEvents();
        QCOMPARE(grid.verticalScrollBar()->maximum(), grid.Rows() - 1 - onView);

        // Removing a row moves every row below it: those are painted again.
        grid.setTopRow(1);
        QApplication::processEvents();
        painted.region = {};
        grid.RemoveItem(2);
        QApplication::processEvents();
        QCOMPARE(grid.TextMatrix(2, 0), QStringLiteral("3"));
        QTRY_VERIFY(paintedRows(painted.region, rowHeight) >= onView - 1);
    }

    void aNewLineOfTheListRepaintsItself()
    {
        ListText list;
        list.resize(400, 200);
        list.setText(QStringLiteral("Shot,Time\r\n"));
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QApplication::processEvents();
        const int rowHeight = list.rowHeight(0);
        PaintedArea painted(list.viewport());
        list.append(QStringLiteral("1,12:00:01\r\n"));
        list.moveCaretToEnd();
        QApplication::processEvents();
        QTRY_VERIFY(!painted.region.isEmpty());
        QCOMPARE(paintedRows(painted.region, rowHeight), 1);
        QCOMPARE(list.Text(), QStringLiteral("Shot,Time\r\n1,12:00:01\r\n"));
    }
};

QTEST_MAIN(TestAppendingViews)
#include "tst_appending_views.moc"
