#pragma once

#include "import/imported_string.h"

#include <QByteArray>
#include <QString>

// The exports Velmora reads, each a pure function of the file's text. A reader returns a
// refusal when the text is its format but cannot be read (cut short, no shots).
namespace import_formats {

// The CSV that the Garmin Xero C1's phone app exports: the title, a header in the phone's
// language, the shots, "-,,,,,,", the summary, "-", the date and which shots were counted.
bool isXeroCsv(const QStringList& lines);
ImportResult readXeroCsv(const QStringList& lines);

// A LabRadar series report: "sep=;", "Key;Value;;" lines, then the table headed "Shot ID;V0;".
bool isLabRadarReport(const QStringList& lines);
ImportResult readLabRadarReport(const QStringList& lines);

// A spreadsheet's CSV with a column headed with a velocity (comma, semicolon or tab separated),
// or one velocity per line. The unit is the header's, else unknown.
ImportResult readVelocityColumn(const QStringList& lines);

// The refusal of a file with more shots than a string holds; readers stop reading there.
QString tooManyShots();

// A spreadsheet's CSV of load development: a charge column, "Shot 1" ... "Shot N" and the
// row's figures: one string a row, labelled by its first cell ("37.5 gr"); or a ladder, a charge
// and one velocity a row: one labelled string of one shot a row. A downrange table (range,
// velocity, energy, drop) is refused. Neither strings nor refusal when it is none of these.
ImportResult readLoadTable(const QStringList& lines);

// What the spreadsheet readers share: a header line's separator (the most frequent of
// semicolon, tab and comma outside quotes), its lower-case words, whether a header cell names
// a velocity, and the velocity unit it names.
QChar separatorOf(const QString& line);
QStringList headerWords(const QString& header);
bool namesVelocity(const QString& header);
VelocityUnit unitInHeader(const QString& header);

// Any file: refuses what is empty, too large, not text or none of the above, reads the rest
// and notes in `problem` where the file's own summary disagrees with its shots.
ImportResult readExport(const QByteArray& bytes);

// Where a file's average, deviation or spread differ from its shots' by more than one unit of
// the summary's last digit (devices truncate as well as round) plus the shots' own rounding;
// empty when they agree.
QString summaryDisagreement(const ImportedString& s);

} // namespace import_formats
