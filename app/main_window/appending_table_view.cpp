#include "appending_table_view.h"

#include <QHeaderView>

#include <algorithm>

AppendingTableView::AppendingTableView(QWidget* parent) : QTableView(parent)
{
    // The base connects the row count to a delayed layout of every item; ours lays out rows only
    // when some went away.
    disconnect(verticalHeader(), SIGNAL(sectionCountChanged(int, int)), this, SLOT(rowCountChanged(int, int)));
    connect(verticalHeader(), &QHeaderView::sectionCountChanged, this, &AppendingTableView::rowsCounted);
}

void AppendingTableView::rowsCounted(int oldCount, int newCount)
{
    if (newCount > oldCount)
        updateGeometries(); // the rows are painted by rowsInserted
    else
        rowCountChanged(oldCount, newCount);
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
