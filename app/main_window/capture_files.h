#pragma once

#include "storage/pellet_store.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

// The texts of the three capture file formats. Lines end in CR LF; the file writer adds one
// more CR LF after the whole text.
namespace capture_files {

// Gun make, model and projectile, each followed by a space, keeping only letters, digits and
// spaces, then "-ddmmyy-hhmmss": "Air Arms S400 JSB Exact -061226-013000".
QString proposedName(const QString& gunMake, const QString& gunModel, const QString& projectile,
                     const QDateTime& now);

// The summary block appended to the list text for a CSV: two empty lines, the summary header
// and value rows with a separator after every cell, two empty lines, the extra text.
QString csvSummary(const QStringList& headerCells, const QStringList& valueCells, const QString& extraInfo,
                   const QString& separator);

// The list text as CSV: every comma becomes a point, then every TAB a comma.
QString toCsv(QString listText);

// The bytes of a capture file holding `text`: one more CR LF, in the local 8-bit code page.
QByteArray fileBytes(const QString& text);

// The CED Data Collector text from the cached shots. With no shots it is a complete file for
// an empty string: the same header with "Start" and "End" both at `now`, the current weight,
// "String 1" and no shot lines.
QString dataCollectorText(const std::vector<PelletStore::CachedShot>& shots, const QString& currentGrains,
                          const QDateTime& now);

// The Combro Pellet.log text: per cached shot, fps, energy for `grains` and the weight field,
// each "0.00", separated by commas. Empty with no shots. TypeMismatch when the weight field
// is not a number.
QString pelletLogText(const std::vector<PelletStore::CachedShot>& shots, double grains, const QString& weightText);

// The date and time of a stamp in the text form the files use.
QString stampText(qint64 unixTime);

} // namespace capture_files
