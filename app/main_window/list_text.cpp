#include "list_text.h"

#include "main_window/laid_out_texts.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QHash>
#include <QPainter>
#include <QStaticText>
#include <QStyledItemDelegate>

namespace {

const QString kLineEnd = QStringLiteral("\r\n");

// Draws a line with its tabs expanded, as a text box shows it.
class TabbedLineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        opt.widget->style()->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
        painter->save();
        painter->setPen(opt.palette.color(opt.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                             : QPalette::Text));
        painter->setFont(opt.font);
        // A line laid out once is drawn again without shaping it: appending a line repaints
        // every line on view.
        const QStaticText& line = laidOut(text, opt.font);
        const QRect area = opt.rect.adjusted(3, 0, 0, 0);
        painter->setClipRect(area, Qt::IntersectClip);
        painter->drawStaticText(QPointF(area.left(), area.top() + (area.height() - line.size().height()) / 2), line);
        painter->restore();
    }
    const QStaticText& laidOut(const QString& text, const QFont& font) const
    {
        return m_laidOut.get(text, font);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QString text = index.data().toString();
        const QFontMetrics metrics(option.font);
        return {metrics.boundingRect(QRect(), Qt::TextExpandTabs, text).width() + 6, metrics.height() + 2};
    }

private:
    mutable LaidOutTexts m_laidOut;
};

} // namespace

int ListTextModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return static_cast<int>(m_lines.size() - (m_lines.last().isEmpty() ? 1 : 0));
}

QVariant ListTextModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_lines.size())
        return {};
    return m_lines[index.row()];
}

void ListTextModel::setText(const QString& text)
{
    beginResetModel();
    m_lines = text.split(kLineEnd);
    endResetModel();
}

void ListTextModel::append(const QString& text)
{
    if (text.isEmpty())
        return;
    const int before = rowCount();
    const QStringList parts = text.split(kLineEnd);
    const bool lastWasShown = !m_lines.last().isEmpty();
    m_lines.last() += parts.first();
    if (lastWasShown)
        emit dataChanged(index(before - 1), index(before - 1));
    const int after = static_cast<int>(m_lines.size() + parts.size() - 1 - (parts.last().isEmpty() ? 1 : 0));
    if (after > before)
        beginInsertRows({}, before, after - 1);
    for (qsizetype i = 1; i < parts.size(); ++i)
        m_lines.append(parts[i]);
    if (after > before)
        endInsertRows();
}

ListText::ListText(QWidget* parent) : AppendingTableView(parent)
{
    setModel(&m_model);
    setItemDelegate(new TabbedLineDelegate(this));
    QFont fixed = font();
    fixed.setStyleHint(QFont::TypeWriter);
    setFont(fixed);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 2);
    setShowGrid(false);
    setWordWrap(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void ListText::fitWidth(const QString& lines)
{
    int widest = columnWidth(0);
    const QFont list = font();
    for (const QString& line : lines.split(QStringLiteral("\r\n")))
        widest = std::max(widest, m_lineWidths.width(list, line) + 12);
    if (widest != columnWidth(0))
        setColumnWidth(0, widest);
}

void ListText::setText(const QString& text)
{
    m_text = text;
    m_model.setText(text);
    setColumnWidth(0, 0);
    fitWidth(text.left(text.indexOf(QStringLiteral("\r\n"), text.indexOf(QStringLiteral("\r\n")) + 2)));
}

void ListText::append(const QString& text)
{
    m_text += text;
    m_model.append(text);
    fitWidth(text);
}

void ListText::moveCaretToEnd()
{
    const int rows = m_model.rowCount();
    if (rows > 0)
        scrollTo(m_model.index(rows - 1, 0), QAbstractItemView::PositionAtBottom);
}

void ListText::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        QModelIndexList rows = selectionModel()->selectedRows();
        std::sort(rows.begin(), rows.end());
        QString copied;
        for (const QModelIndex& row : rows)
            copied += row.data().toString() + kLineEnd;
        QApplication::clipboard()->setText(copied.isEmpty() ? m_text : copied);
        return;
    }
    QTableView::keyPressEvent(event);
}
