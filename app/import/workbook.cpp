#include "workbook.h"

namespace workbook {

bool putCell(Sheet& sheet, size_t row, qsizetype column, const QString& text, qsizetype& budget)
{
    if (row >= sheet.rows.size()) {
        const qsizetype added = qsizetype(row + 1 - sheet.rows.size());
        if (added > budget)
            return false;
        budget -= added;
        sheet.rows.resize(row + 1);
    }
    QStringList& cells = sheet.rows[row];
    if (column >= cells.size()) {
        const qsizetype added = column + 1 - cells.size();
        if (added > budget)
            return false;
        budget -= added;
        cells.resize(column + 1);
    }
    cells[column] = text;
    return true;
}

} // namespace workbook
