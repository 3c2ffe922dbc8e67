#pragma once

#include "import/imported_string.h"

#include <QString>
#include <optional>

// What ShotView writes around its shots, the same in its CSV and in its workbooks' sheets: the
// header's unit and the summary's labels in the phone's language.
namespace import_formats::shotview {

// "SPEED (FPS)", "Tempo (MPS)": the unit in parentheses.
VelocityUnit headerUnit(const QString& header);

// What a summary row gives, known by its label in the phone's language.
enum class SummaryRow { Unknown, Average, Deviation, Spread, Weight, Other };
SummaryRow summaryRow(const QString& label);

// The projectile's weight in grains from its row: the label says grains ("GRAINS", "GRAN",
// bracket perhaps unclosed) or grams; nothing when it says neither.
std::optional<double> grains(const QString& label, const FileNumber& value);

// Takes one summary row into the string: its average, deviation, spread or weight; a row whose
// label is not known is left out of the check rather than guessed.
void takeSummaryRow(ImportedString& s, const QString& label, const std::optional<FileNumber>& value);

// The date line gives the session's start to the minute; the first shot's own time is exact.
void startAtFirstShot(ImportedString& s);

} // namespace import_formats::shotview
