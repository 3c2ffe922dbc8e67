#include "shot_lines.h"

#include "services/regional.h"

#include <QStringList>

namespace shot_lines {

QString makeModel(const QString& gunMake, const QString& gunModel, const QString& projectile)
{
    return gunMake + u' ' + gunModel + u' ' + projectile;
}

namespace {
QStringList figureCells(const ballistics::ShotFigures& f)
{
    return {regional::format2(f.fps), regional::format2(f.mps), regional::format2(f.ftLbf),
            regional::format2(f.joules), regional::format1(f.ipscFactor)};
}
} // namespace

QString listLine(qint16 shotNumber, const QDateTime& when, const QString& makeModel, double grains,
                 const ballistics::ShotFigures& f, const QString& separator)
{
    QStringList fields{QString::number(shotNumber), regional::shotDateTime(when, false), makeModel,
                       regional::numberText(grains)};
    fields += figureCells(f);
    return fields.join(separator) + QStringLiteral("\r\n");
}

QStringList tableCells(const QString& numberCell, const QString& dateCell, const QString& makeModel,
                       const QString& weightText, const ballistics::ShotFigures& f)
{
    QStringList cells{numberCell, dateCell, makeModel, weightText};
    cells += figureCells(f);
    return cells;
}

QString tableRow(const QString& numberCell, const QString& dateCell, const QString& makeModel,
                 const QString& weightText, const ballistics::ShotFigures& f, const QString& separator)
{
    return tableCells(numberCell, dateCell, makeModel, weightText, f).join(separator);
}

} // namespace shot_lines
