#pragma once

#include <QString>
#include <QStringList>
#include <vector>

// A spreadsheet as text: each sheet's rows of cells, as the workbook stores them. Readers of
// workbook files produce it; what the sheets mean is read elsewhere.
namespace workbook {

struct Sheet {
    QString name;
    std::vector<QStringList> rows; // row i is the sheet's row i + 1; a row holds up to its last cell
    QString cell(size_t row, qsizetype column) const { return row < rows.size() ? rows[row].value(column) : QString(); }
};

struct Workbook {
    std::vector<Sheet> sheets;
    QString refusal; // one sentence when the file cannot be read
};

// No chronograph's workbook comes near this many cells (rows count as cells too); a file that
// claims more is refused before it costs memory.
inline constexpr qsizetype kMaxCells = 1'000'000;

// Places `text` at (row, column) of `sheet`, counting the cells the grid grows by against
// `budget`; false when the budget is spent.
bool putCell(Sheet& sheet, size_t row, qsizetype column, const QString& text, qsizetype& budget);

} // namespace workbook
