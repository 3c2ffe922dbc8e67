#include "appending_table_view.h"

#include "main_window/layered_scroll_bar_style.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <QStyleFactory>

#include <algorithm>

AppendingTableView::AppendingTableView(QWidget* parent) : QTableView(parent)
{
    // The base connects the row count to a delayed layout of every item; ours lays out rows only
    // when some went away.
    disconnect(verticalHeader(), SIGNAL(sectionCountChanged(int, int)), this, SLOT(rowCountChanged(int, int)));
    connect(verticalHeader(), &QHeaderView::sectionCountChanged, this, &AppendingTableView::rowsCounted);
    // After every change of range the scroll area lays its bars out again, which raises both
    // bar containers and so repaints them and what lies beneath, though a new row changes the
    // range and nothing else. The bars are laid out here only when the vertical one must come
    // or go.
    if (disconnect(verticalScrollBar(), SIGNAL(rangeChanged(int, int)), this, SLOT(_q_showOrHideScrollBars())))
        connect(verticalScrollBar(), &QScrollBar::rangeChanged, this, &AppendingTableView::verticalRangeChanged);
    // Fusion paints every pixel of a bar, so nothing behind one need be painted; and its groove
    // need not be painted again when only the handle moves.
    if (style()->name() == QStringLiteral("fusion")) {
        QScrollBar* bar = verticalScrollBar();
        auto* layered = new LayeredScrollBarStyle(QStyleFactory::create(style()->name()));
        layered->setParent(bar);
        bar->setStyle(layered); // its polish makes the bar transparent again: opaque after it
        bar->setAttribute(Qt::WA_OpaquePaintEvent);
    }
}

void AppendingTableView::verticalRangeChanged()
{
    const QScrollBar* bar = verticalScrollBar();
    const bool needed = verticalScrollBarPolicy() == Qt::ScrollBarAsNeeded && bar->maximum() > bar->minimum();
    if (verticalScrollBarPolicy() != Qt::ScrollBarAsNeeded || needed != bar->isVisibleTo(this))
        QMetaObject::invokeMethod(this, "_q_showOrHideScrollBars", Qt::QueuedConnection); // as the area would
}

void AppendingTableView::rowsCounted(int oldCount, int newCount)
{
    if (newCount <= oldCount)
        rowCountChanged(oldCount, newCount);
    else if (!fitRowRange(newCount))
        updateGeometries(); // the rows are painted by rowsInserted
}

bool AppendingTableView::fitRowRange(int count)
{
    // A full layout also sets the columns' header and the horizontal scroll bar, which repaints
    // them though nothing in them changed. Rows of one height, scrolled a row at a time and with
    // no row header that could widen, change nothing but the vertical range.
    const QHeaderView* rows = verticalHeader();
    if (count <= 0 || !rows->isHidden() || rows->hiddenSectionCount() > 0 ||
        verticalScrollMode() != ScrollPerItem || sizeAdjustPolicy() != AdjustIgnored)
        return false;
    const int rowHeight = rows->sectionSize(rows->logicalIndex(count - 1));
    if (rowHeight <= 0 || rows->length() != qint64(rowHeight) * count)
        return false;
    // The room the rows have, as the full layout reckons it: all of it when nothing needs a
    // scroll bar.
    QSize room = viewport()->size();
    const QSize most = maximumViewportSize();
    if (most.width() >= horizontalHeader()->length() && most.height() >= rows->length())
        room = most;
    if (room.height() < rowHeight)
        return false; // not one whole row on view: the full layout knows that case
    const int onView = std::min(count, room.height() / rowHeight);
    // Each setter repaints the bar even when nothing changes.
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, count - onView);
    if (bar->pageStep() != onView)
        bar->setPageStep(onView);
    if (bar->singleStep() != 1)
        bar->setSingleStep(1);
    return true;
}

void AppendingTableView::rowsInserted(const QModelIndex& parent, int start, int end)
{
    QTableView::rowsInserted(parent, start, end);
    if (parent.isValid())
        return;
    // Rows inserted above the view move every row on view; rows at the end move none, and only
    // they are painted.
    const int count = verticalHeader()->count();
    const int top = rowViewportPosition(start);
    const QRect area = viewport()->rect();
    if (top < 0 || start >= count || end >= count) {
        viewport()->update();
        return;
    }
    const int bottom = end == count - 1 ? rowViewportPosition(end) + rowHeight(end) : area.bottom() + 1;
    if (top <= area.bottom())
        viewport()->update(QRect(area.left(), top, area.width(), std::min(bottom, area.bottom() + 1) - top));
}
