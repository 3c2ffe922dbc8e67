#include "shot_record.h"

#include "shot/shot_lines.h"

#include <charconv>
#include <cmath>

double asShown(double value, int decimals)
{
    // The same digits the regional formatting writes (both round the exact binary value),
    // read back exactly, whatever the decimal separator.
    char digits[400];
    const auto written = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, decimals);
    if (written.ec != std::errc())
        return value;
    double shown = value;
    std::from_chars(digits, written.ptr, shown);
    return shown;
}

ShotRecord makeShotRecord(qint16 number, const QString& numberCell, const QDateTime& recordedAt,
                          const QString& timeCell, const QString& makeModel, const QString& weightText, bool grammes,
                          double grains, double fps)
{
    return makeShotRecord(number, numberCell, recordedAt, timeCell, makeModel, weightText, grammes, grains,
                          ballistics::figures(fps, grains));
}

ShotRecord makeShotRecord(qint16 number, const QString& numberCell, const QDateTime& recordedAt,
                          const QString& timeCell, const QString& makeModel, const QString& weightText, bool grammes,
                          double grains, const ballistics::ShotFigures& figures)
{
    ShotRecord r;
    r.number = number;
    r.recordedAt = recordedAt;
    r.makeModel = makeModel;
    r.weightText = weightText;
    r.grammes = grammes;
    r.grains = grains;
    r.figures = figures;
    const ballistics::ShotFigures& f = r.figures;
    r.shown = {asShown(f.fps, 2), asShown(f.mps, 2), asShown(f.ftLbf, 2), asShown(f.joules, 2),
               asShown(f.ipscFactor, 1)};
    r.cells = shot_lines::tableCells(numberCell, timeCell, makeModel, weightText, f);
    return r;
}
