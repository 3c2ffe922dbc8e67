#include "flex_grid.h"

#include "main_window/laid_out_texts.h"

#include <QApplication>
#include <QHash>
#include <QHeaderView>
#include <QPainter>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <QScrollBar>
#include <QStyle>

namespace {

// Draws each cell's text from a laid-out copy kept between paints: a new row repaints the rows
// on view, and shaping their texts again every time was most of the cost of a shot. A text
// that does not fit is drawn the usual way, elided.
class StaticTextDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QWidget* widget = opt.widget;
        const QStyle* style = widget ? widget->style() : QApplication::style();
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        const QRect area = opt.rect.adjusted(margin, 0, -margin, 0);
        const QStaticText& text = laidOut(opt.text, opt.font);
        const QSizeF size = text.size();
        if (size.width() > area.width() || !opt.icon.isNull()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        opt.text.clear();
        // Without text, a cell that is not selected, focused or filled has nothing else to draw.
        if ((opt.state & (QStyle::State_Selected | QStyle::State_HasFocus)) ||
            opt.backgroundBrush.style() != Qt::NoBrush ||
            (opt.features & ~QStyleOptionViewItem::ViewItemFeatures(QStyleOptionViewItem::HasDisplay)))
            style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        qreal x = area.left();
        if (opt.displayAlignment & Qt::AlignHCenter)
            x += (area.width() - size.width()) / 2;
        else if (opt.displayAlignment & Qt::AlignRight)
            x = area.right() + 1 - size.width();
        const qreal y = area.top() + (area.height() - size.height()) / 2;
        const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                           : !(opt.state & QStyle::State_Active) ? QPalette::Inactive
                                                                                  : QPalette::Normal;
        painter->save();
        painter->setFont(opt.font);
        painter->setPen(opt.palette.color(group, opt.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                                    : QPalette::Text));
        painter->drawStaticText(QPointF(x, y), text);
        painter->restore();
    }

private:
    const QStaticText& laidOut(const QString& text, const QFont& font) const
    {
        return m_laidOut.get(text, font);
    }

    mutable LaidOutTexts m_laidOut;
};

} // namespace

int GridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int GridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_headers.size());
}

QVariant GridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    if (role == Qt::DisplayRole) {
        const QStringList& row = m_rows[static_cast<size_t>(index.row())];
        return index.column() < row.size() ? row[index.column()] : QString();
    }
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(m_alignments.value(index.column(), Qt::AlignLeft) | Qt::AlignVCenter);
    return {};
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return m_headers.value(section);
    if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole)
        return QVariant::fromValue(m_alignments.value(section, Qt::AlignLeft) | Qt::AlignVCenter);
    return QAbstractTableModel::headerData(section, orientation, role);
}

void GridModel::setColumns(const QStringList& headers, const QList<Qt::Alignment>& alignments)
{
    beginResetModel();
    m_headers = headers;
    m_alignments = alignments;
    endResetModel();
}

void GridModel::appendRow(QStringList cells)
{
    const int row = rowCount();
    beginInsertRows({}, row, row);
    m_rows.push_back(std::move(cells));
    endInsertRows();
}

void GridModel::setRows(std::vector<QStringList> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void GridModel::removeRowAt(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

void GridModel::resize(int rows)
{
    rows = std::max(0, rows);
    if (rows == rowCount())
        return;
    if (rows < rowCount()) {
        beginRemoveRows({}, rows, rowCount() - 1);
        m_rows.resize(static_cast<size_t>(rows));
        endRemoveRows();
    } else {
        beginInsertRows({}, rowCount(), rows - 1);
        m_rows.resize(static_cast<size_t>(rows));
        endInsertRows();
    }
}

void GridModel::setCell(int row, int column, const QString& text)
{
    QStringList& cells = m_rows[static_cast<size_t>(row)];
    while (cells.size() <= column)
        cells.append(QString());
    cells[column] = text;
    emit dataChanged(index(row, column), index(row, column));
}

void GridModel::setRowCells(int row, QStringList cells)
{
    QStringList& old = m_rows[static_cast<size_t>(row)];
    int first = -1;
    int last = -1;
    for (int c = 0; c < std::max(old.size(), cells.size()); ++c) {
        if (old.value(c) != cells.value(c)) {
            first = first < 0 ? c : first;
            last = c;
        }
    }
    old = std::move(cells);
    if (first >= 0)
        emit dataChanged(index(row, first), index(row, std::min(last, columnCount() - 1)));
}

FlexGrid::FlexGrid(QWidget* parent) : AppendingTableView(parent)
{
    setModel(&m_model);
    setItemDelegate(new StaticTextDelegate(this));
    verticalHeader()->hide();
    // One height for every row: a new row is placed without measuring the others.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    horizontalHeader()->setHighlightSections(false);
    // Unhighlighted, the header looks the same whatever is selected: selecting the newest row
    // must not repaint it.
    disconnect(selectionModel(), SIGNAL(selectionChanged(QItemSelection, QItemSelection)), horizontalHeader(),
               SLOT(selectionChanged(QItemSelection, QItemSelection)));
    horizontalHeader()->setStretchLastSection(true);
}

void FlexGrid::setRows(int rows)
{
    m_model.resize(rows - 1);
}

QString FlexGrid::TextMatrix(int row, int column) const
{
    if (row == 0)
        return m_model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    if (row < 1 || row >= Rows())
        return {};
    return m_model.cells(row - 1).value(column);
}

void FlexGrid::setTextMatrix(int row, int column, const QString& text)
{
    if (row >= 1 && row < Rows() && column >= 0 && column < Cols())
        m_model.setCell(row - 1, column, text);
}

void FlexGrid::shapeRow(QStringList& cells) const
{
    while (cells.size() < Cols())
        cells.append(QString());
    if (cells.size() > Cols() && Cols() > 0)
        cells = cells.mid(0, Cols());
}

void FlexGrid::AddItem(const QString& tabbedText)
{
    AddRow(tabbedText.split(u'\t'));
}

void FlexGrid::AddRow(QStringList cells)
{
    shapeRow(cells);
    fitCells(cells);
    m_model.appendRow(std::move(cells));
}

void FlexGrid::setDataRows(std::vector<QStringList> rows)
{
    // A long replay measures each form of text once, not every cell.
    const QFont grid = font();
    const int columns = Cols();
    std::vector<int> widest(size_t(std::max(0, columns)), 0);
    for (QStringList& cells : rows) {
        shapeRow(cells);
        for (int c = 0; c < cells.size() && c < columns; ++c)
            widest[size_t(c)] = std::max(widest[size_t(c)], m_textWidths.width(grid, cells[c]));
    }
    for (int c = 0; c < columns; ++c)
        fitColumn(c, widest[size_t(c)]);
    m_model.setRows(std::move(rows));
}

void FlexGrid::fitCells(const QStringList& cells)
{
    // Only the new row is measured, so that a long string stays as fast to extend as a short one.
    const QFont grid = font();
    for (int c = 0; c < cells.size(); ++c)
        fitColumn(c, m_textWidths.width(grid, cells[c]));
}

void FlexGrid::fitColumn(int column, int textWidth)
{
    if (column < 0 || size_t(column) >= m_fitPixels.size())
        return;
    const int margin = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + 6;
    if (textWidth + margin > m_fitPixels[size_t(column)]) {
        m_fitPixels[size_t(column)] = textWidth + margin;
        applyWidth(column);
    }
}

void FlexGrid::applyWidth(int column)
{
    const size_t c = size_t(column);
    int pixels = c < m_formatPixels.size() ? m_formatPixels[c] : columnWidth(column);
    if (c < m_widthTwips.size() && m_widthTwips[c] >= 0)
        pixels = toPixels(m_widthTwips[c]);
    if (c < m_fitPixels.size())
        pixels = std::max(pixels, m_fitPixels[c]);
    setColumnWidth(column, pixels);
}

void FlexGrid::setSingleItem(const QString& tabbedText)
{
    if (Rows() != 2) {
        setRows(1);
        AddItem(tabbedText);
        return;
    }
    QStringList cells = tabbedText.split(u'\t');
    shapeRow(cells);
    fitCells(cells);
    m_model.setRowCells(0, std::move(cells));
}

void FlexGrid::RemoveItem(int row)
{
    m_model.removeRowAt(row - 1);
}

void FlexGrid::setFormatString(const QString& format)
{
    m_formatString = format;
    QStringList headers;
    QList<Qt::Alignment> alignments;
    const QFontMetrics metrics = horizontalHeader()->fontMetrics();
    const int headerMargin = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this) + 8;
    const bool sameColumns = format.count(u'|') + 1 == int(m_formatPixels.size());
    m_formatPixels.clear();
    std::vector<int> headerPixels;
    for (QString part : format.split(u'|')) {
        Qt::Alignment alignment = Qt::AlignLeft;
        if (!part.isEmpty() && QStringLiteral("<^>").contains(part[0])) {
            alignment = part[0] == u'^' ? Qt::AlignHCenter : part[0] == u'>' ? Qt::AlignRight : Qt::AlignLeft;
            part.remove(0, 1);
        }
        headers.append(part.trimmed());
        alignments.append(alignment);
        m_formatPixels.push_back(metrics.horizontalAdvance(part) + 8);
        headerPixels.push_back(metrics.horizontalAdvance(part.trimmed()) + headerMargin);
    }
    m_model.setColumns(headers, alignments);
    // A new unit word in the header keeps the widths already set and fitted.
    if (!sameColumns) {
        m_widthTwips.assign(m_formatPixels.size(), -1);
        m_fitPixels.assign(m_formatPixels.size(), 0);
    }
    for (size_t c = 0; c < headerPixels.size(); ++c)
        m_fitPixels[c] = std::max(m_fitPixels[c], headerPixels[c]);
    for (int c = 0; c < int(m_formatPixels.size()); ++c)
        applyWidth(c);
}

int FlexGrid::toPixels(int twips) const
{
    return twips * fontMetrics().averageCharWidth() / 80;
}

int FlexGrid::ColWidth(int column) const
{
    if (column >= 0 && size_t(column) < m_widthTwips.size() && m_widthTwips[size_t(column)] >= 0)
        return m_widthTwips[size_t(column)];
    return columnWidth(column) * 80 / std::max(1, fontMetrics().averageCharWidth());
}

void FlexGrid::setColWidth(int column, int twips)
{
    if (column < 0)
        return;
    if (m_widthTwips.size() <= size_t(column))
        m_widthTwips.resize(size_t(column) + 1, -1);
    if (m_widthTwips[size_t(column)] == twips)
        return;
    m_widthTwips[size_t(column)] = twips;
    applyWidth(column);
}

int FlexGrid::Row() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() + 1 : (Rows() > 1 ? 1 : 0);
}

void FlexGrid::setRow(int row)
{
    if (row >= 1 && row < Rows())
        setCurrentIndex(m_model.index(row - 1, 0));
}

int FlexGrid::TopRow() const
{
    return rowAt(0) + 1;
}

void FlexGrid::setTopRow(int row)
{
    if (row >= 1 && row < Rows())
        verticalScrollBar()->setValue(row - 1);
}
