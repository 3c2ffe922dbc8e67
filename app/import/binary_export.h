#pragma once

#include "import/imported_string.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

// Exports that are not text: ShotView workbooks (.xlsx, .xls) and the Xero's FIT files. Each
// file may hold several sessions; each becomes one string. The import checks the strings as it
// checks every file's (velocity range, summary against shots, title length).
namespace binary_export {

struct Sessions {
    std::vector<ImportedString> strings;
    QString refusal; // one sentence when the file is refused
};

// The sessions of a FIT file from a Garmin Xero C1 Pro.
Sessions readXeroFit(const QByteArray& bytes);

// The sessions of a ShotView workbook, either kind.
Sessions readXeroWorkbook(const QByteArray& bytes);

// A binary export read, or none when the bytes are none of these formats (they may be text).
std::optional<Sessions> read(const QByteArray& bytes);

} // namespace binary_export
