#pragma once

#include "ballistics.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// The texts one recorded shot adds to the list text and the shot table.
namespace shot_lines {

// Gun make, gun model and projectile make separated by spaces.
QString makeModel(const QString& gunMake, const QString& gunModel, const QString& projectile);

// The list line: nine fields, date "dd/mm/yy " + time, the weight as a plain number, CR LF.
QString listLine(qint16 shotNumber, const QDateTime& when, const QString& makeModel, double grains,
                 const ballistics::ShotFigures& f, const QString& separator);

// The nine cells of the table row.
QStringList tableCells(const QString& numberCell, const QString& dateCell, const QString& makeModel,
                       const QString& weightText, const ballistics::ShotFigures& f);
// The table row: nine cells joined by the separator, no trailing separator.
QString tableRow(const QString& numberCell, const QString& dateCell, const QString& makeModel,
                 const QString& weightText, const ballistics::ShotFigures& f, const QString& separator);

} // namespace shot_lines
