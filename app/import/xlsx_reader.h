#pragma once

#include "import/workbook.h"

#include <QByteArray>

// Office Open XML workbooks (.xlsx): a zip of XML parts. Every cell is read as the text the
// file stores (a shared or inline string, or a number's digits as written).
namespace xlsx_reader {

// Whether the bytes start as a zip archive does.
bool looksLikeXlsx(const QByteArray& bytes);

workbook::Workbook read(const QByteArray& bytes);

} // namespace xlsx_reader
