// The shot table and the list text repaint only what a new row changes: the row itself and what
// scrolls, never every visible cell; a removal still repaints the rows that moved.
#include "main_window/digit_shape_widths.h"
#include "main_window/flex_grid.h"
#include "main_window/layered_scroll_bar_style.h"
#include "main_window/list_text.h"

#include <QApplication>
#include <QPaintEvent>
#include <QScrollBar>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOptionSlider>
#include <QSet>
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

// Which of the given widgets were painted.
class PaintedWidgets : public QObject {
public:
    explicit PaintedWidgets(const QList<QWidget*>& widgets)
    {
        for (QWidget* w : widgets)
            w->installEventFilter(this);
    }
    QSet<QObject*> painted;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted.insert(watched);
        return false;
    }
};

// Rows added one by one, as a shot adds them: the row, the newest in view and selected.
void addShown(FlexGrid& grid, const QString& row)
{
    grid.AddItem(row);
    if (grid.Rows() > 5)
        grid.setTopRow(grid.Rows() - 5);
    grid.setRow(grid.Rows() - 1);
}

struct LaidOutGrid : FlexGrid {
    using FlexGrid::updateGeometries;
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

    void aNewRowLeavesTheHeaderAndTheOtherScrollBarAlone()
    {
        FlexGrid grid;
        // Columns wider than the grid: the horizontal scroll bar is shown.
        grid.setFormatString(QStringLiteral("<Shot                                        |^Time                      "
                                            "                    |^fps"));
        grid.resize(300, 200);
        for (int i = 1; i <= 30; ++i)
            addShown(grid, QStringLiteral("%1\t12:00:00\t800.00").arg(i));
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QApplication::processEvents();
        QVERIFY(grid.horizontalScrollBar()->isVisible() && grid.verticalScrollBar()->isVisible());

        PaintedWidgets painted({grid.horizontalHeader()->viewport(), grid.horizontalScrollBar(),
                                grid.verticalScrollBar(), grid.viewport()});
        addShown(grid, QStringLiteral("31\t12:00:01\t801.00"));
        QTRY_VERIFY(painted.painted.contains(grid.verticalScrollBar()));
        QApplication::processEvents();
        QVERIFY(painted.painted.contains(grid.viewport()));
        QVERIFY(!painted.painted.contains(grid.horizontalHeader()->viewport()));
        QVERIFY(!painted.painted.contains(grid.horizontalScrollBar()));
    }

    void theScrollRangeIsTheOneAFullLayoutGives()
    {
        LaidOutGrid grid;
        grid.setFormatString(QStringLiteral("<Shot  |^Time|^fps"));
        grid.resize(300, 150);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QScrollBar* bar = grid.verticalScrollBar();
        for (int i = 1; i <= 25; ++i) {
            addShown(grid, QStringLiteral("%1\t12:00:00\t800.00").arg(i));
            QApplication::processEvents();
            const int maximum = bar->maximum();
            const int page = bar->pageStep();
            const bool shown = bar->isVisible();
            grid.updateGeometries();
            QApplication::processEvents();
            QCOMPARE(bar->maximum(), maximum);
            QCOMPARE(bar->pageStep(), page);
            QCOMPARE(bar->isVisible(), shown);
            // The bar comes when the rows no longer fit, and the newest row is in view.
            QCOMPARE(shown, grid.verticalHeader()->length() > grid.maximumViewportSize().height());
            QVERIFY(grid.rowViewportPosition(i - 1) + grid.rowHeight(i - 1) <= grid.viewport()->height());
        }
        // And goes with them.
        grid.setRows(2);
        QTRY_VERIFY(!bar->isVisible());
        QCOMPARE(bar->maximum(), 0);
    }

    void aScrollBarPaintedAloneCoversItsWholeArea()
    {
        // The bars paint without their background beneath: every pixel must be theirs.
        FlexGrid grid;
        grid.setFormatString(QStringLiteral("<Shot  |^Time|^fps"));
        grid.resize(300, 150);
        for (int i = 1; i <= 40; ++i)
            grid.AddItem(QStringLiteral("%1\t12:00:00\t800.00").arg(i));
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QScrollBar* bar = grid.verticalScrollBar();
        QTRY_VERIFY(bar->isVisible());
        if (QApplication::style()->name() != QStringLiteral("fusion"))
            QSKIP("the bars are painted over their background with this style");
        QVERIFY(bar->testAttribute(Qt::WA_OpaquePaintEvent));
        for (int value : {bar->minimum(), bar->maximum() / 2, bar->maximum()}) {
            bar->setValue(value);
            QImage image(bar->size(), QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::magenta);
            bar->render(&image, {}, {}, QWidget::RenderFlags());
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    QVERIFY2(image.pixelColor(x, y) != QColor(Qt::magenta), qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
        }
    }

    void aBarFromItsKeptGrooveLooksLikeOnePaintedWhole()
    {
        if (QApplication::style()->name() != QStringLiteral("fusion"))
            QSKIP("the kept groove is used with Fusion only");
        LayeredScrollBarStyle layered(QStyleFactory::create(QStringLiteral("fusion")));
        for (Qt::Orientation orientation : {Qt::Vertical, Qt::Horizontal}) {
            QScrollBar bar(orientation);
            bar.resize(orientation == Qt::Vertical ? QSize(14, 230) : QSize(230, 14));
            for (int value : {0, 150, 300, 0}) {
                for (QStyle::SubControl active : {QStyle::SC_None, QStyle::SC_ScrollBarAddLine, QStyle::SC_ScrollBarSubLine,
                                                  QStyle::SC_ScrollBarSlider, QStyle::SC_ScrollBarAddPage}) {
                    for (bool sunken : {false, true}) {
                        QStyleOptionSlider option;
                        option.initFrom(&bar);
                        option.orientation = orientation;
                        if (orientation == Qt::Horizontal)
                            option.state |= QStyle::State_Horizontal;
                        if (sunken)
                            option.state |= QStyle::State_Sunken;
                        option.minimum = 0;
                        option.maximum = 300;
                        option.pageStep = 12;
                        option.singleStep = 1;
                        option.sliderPosition = option.sliderValue = value;
                        option.subControls = QStyle::SC_All;
                        option.activeSubControls = active;
                        auto paint = [&](const QStyle& style) {
                            QImage image(bar.size(), QImage::Format_ARGB32_Premultiplied);
                            image.fill(Qt::magenta);
                            QPainter painter(&image);
                            style.drawComplexControl(QStyle::CC_ScrollBar, &option, &painter, &bar);
                            return image;
                        };
                        QVERIFY2(paint(layered) == paint(*QApplication::style()),
                                 qPrintable(QStringLiteral("value %1, part %2, sunken %3").arg(value).arg(active).arg(sunken)));
                    }
                }
            }
        }
    }

    void aSingleRowChangesInPlace()
    {
        FlexGrid grid;
        grid.setFormatString(QStringLiteral("<Shots|^Min|^Max"));
        grid.resize(300, 60);
        grid.setSingleItem(QStringLiteral("1\t800.00\t800.00"));
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QApplication::processEvents();
        PaintedArea painted(grid.viewport());
        grid.setSingleItem(QStringLiteral("1\t800.00\t801.50"));
        QApplication::processEvents();
        QCOMPARE(grid.Rows(), 2);
        QCOMPARE(grid.RowCells(1), QStringList({"1", "800.00", "801.50"}));
        // The columns that kept their text are not painted again.
        QTRY_VERIFY(!painted.region.isEmpty());
        QVERIFY(!painted.region.intersects(QRect(0, 0, grid.columnViewportPosition(2) - 1, grid.rowHeight(0))));
        // Fewer or more rows than one become exactly one.
        grid.AddItem(QStringLiteral("x\ty\tz"));
        grid.setSingleItem(QStringLiteral("3\t799.00\t801.50"));
        QCOMPARE(grid.Rows(), 2);
        QCOMPARE(grid.TextMatrix(1, 0), QStringLiteral("3"));
    }

    void aTextIsMeasuredOnceForEachShape()
    {
        int measured = 0;
        DigitShapeWidths widths([&](const QFontMetrics& m, const QString& text) {
            ++measured;
            return m.horizontalAdvance(text);
        });
        QFont font = QApplication::font();
        const QFontMetrics metrics(font);
        const QStringList texts{"801.25", "799.00", "123.45", "12:00:01", "23:59:59", "Air Arms", "1", "17"};
        for (const QString& text : texts)
            QVERIFY2(widths.width(font, text) >= metrics.horizontalAdvance(text), qPrintable(text));
        QCOMPARE(measured, 5); // ###.##, ##:##:##, the name, #, ##
        widths.width(font, QStringLiteral("555.55"));
        QCOMPARE(measured, 5);
        font.setPointSize(font.pointSize() + 6);
        QVERIFY(widths.width(font, QStringLiteral("555.55")) >= QFontMetrics(font).horizontalAdvance("555.55"));
        QCOMPARE(measured, 6); // another font is measured again
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
