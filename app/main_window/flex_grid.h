#pragma once

#include "main_window/appending_table_view.h"
#include "main_window/digit_shape_widths.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <vector>

// Rows of text cells behind a grid; row 0 of the grid is the header and is not stored here.
class GridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void setColumns(const QStringList& headers, const QList<Qt::Alignment>& alignments);
    void appendRow(QStringList cells);
    // Every row replaced at once: one reset of the views.
    void setRows(std::vector<QStringList> rows);
    void removeRowAt(int row);
    void resize(int rows);
    const QStringList& cells(int row) const { return m_rows[static_cast<size_t>(row)]; }
    const std::vector<QStringList>& rows() const { return m_rows; }
    void setCell(int row, int column, const QString& text);
    // Replaces a row's cells; the cells from the first to the last that differ are reported
    // changed, none when all are the same.
    void setRowCells(int row, QStringList cells);

private:
    QStringList m_headers;
    QList<Qt::Alignment> m_alignments;
    std::vector<QStringList> m_rows;
};

// A grid with one fixed header row, addressed like the flex grid it stands for: Rows counts
// the header, rows 1.. hold data, widths are in twips (15 twips = 1 pixel at 96 dpi), and the
// format string "<Shot  |^Min fps|..." sets the columns, their alignment and widths. A twip is
// an eightieth of the grid font's average character width, so the widths suit the font. The
// widths are minimums: a column grows to show the whole text of every cell added to it, and the
// last one stretches to the grid's width.
class FlexGrid : public AppendingTableView {
    Q_OBJECT
public:
    explicit FlexGrid(QWidget* parent = nullptr);

    int Rows() const { return m_model.rowCount() + 1; }
    void setRows(int rows);
    int Cols() const { return m_model.columnCount(); }

    QString TextMatrix(int row, int column) const;
    void setTextMatrix(int row, int column, const QString& text);
    // Cells of data row `row` (1-based, as TextMatrix).
    const QStringList& RowCells(int row) const { return m_model.cells(row - 1); }
    // Every data row, in order (the header row is not among them).
    const std::vector<QStringList>& DataRows() const { return m_model.rows(); }

    // Adds a row at the end from a TAB-separated text.
    void AddItem(const QString& tabbedText);
    // The same from its cells.
    void AddRow(QStringList cells);
    // Every data row replaced at once, the columns fitted to them.
    void setDataRows(std::vector<QStringList> rows);
    void RemoveItem(int row);
    // Leaves exactly one data row, this TAB-separated text. A single row already there is
    // changed in place, so only the cells that differ are painted again.
    void setSingleItem(const QString& tabbedText);

    QString FormatString() const { return m_formatString; }
    void setFormatString(const QString& format);

    int ColWidth(int column) const;
    void setColWidth(int column, int twips);

    int Row() const;
    void setRow(int row);
    int TopRow() const;
    void setTopRow(int row);

private:
    // Twips were laid out for a small system font: widths scale with this grid's font.
    int toPixels(int twips) const;
    // Widens the columns whose text in `cells` would not fit.
    void fitCells(const QStringList& cells);
    // Widens `column` to hold a text `textWidth` pixels wide.
    void fitColumn(int column, int textWidth);
    // Pads or cuts a row to the columns.
    void shapeRow(QStringList& cells) const;
    void applyWidth(int column);

    GridModel m_model;
    QString m_formatString;
    std::vector<int> m_widthTwips;
    // Per column: the width the format string gives, and the widest text seen, in pixels.
    std::vector<int> m_formatPixels;
    std::vector<int> m_fitPixels;
    DigitShapeWidths m_textWidths{[](const QFontMetrics& m, const QString& text) { return m.horizontalAdvance(text); }};
};
