#pragma once

#include "import/workbook.h"

#include <QByteArray>

// Excel 97–2003 workbooks (.xls, BIFF8 in a compound file). Text cells are read as stored,
// numbers as their shortest exact digits.
namespace xls_reader {

bool looksLikeXls(const QByteArray& bytes);

workbook::Workbook read(const QByteArray& bytes);

} // namespace xls_reader
