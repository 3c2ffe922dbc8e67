#pragma once

#include "shot/ballistics.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// One shot of the current string with everything its views show, computed once when it is
// recorded: the views never read a figure back from a text.
struct ShotRecord {
    qint16 number = 0;
    QDateTime recordedAt;
    QString makeModel;
    QString weightText;   // as typed, in the unit then selected
    bool grammes = false; // that unit: true for grammes, false for grains
    double grains = 0;    // the weight in grains the figures were computed with
    ballistics::ShotFigures figures;
    // The figures as the table shows them (two decimals, the IPSC factor one): the statistics
    // are kept over these, as the summary has always counted the shown values.
    ballistics::ShotFigures shown;
    qint64 cacheRowId = 0; // the shot cache's row, 0 while the shot is not in the cache
    // The nine cells of the shot table: number, date and time, make and model, weight as typed,
    // fps, m/s, ft·lbf, joules, IPSC factor.
    QStringList cells;
};

// A record of a shot of `fps` with `grains`; `numberCell` and `timeCell` are the texts the table
// shows for its number and time. Raises Overflow when a figure is not a finite number.
ShotRecord makeShotRecord(qint16 number, const QString& numberCell, const QDateTime& recordedAt,
                          const QString& timeCell, const QString& makeModel, const QString& weightText, bool grammes,
                          double grains, double fps);

// The same with the figures of that shot already computed (from `grains`).
ShotRecord makeShotRecord(qint16 number, const QString& numberCell, const QDateTime& recordedAt,
                          const QString& timeCell, const QString& makeModel, const QString& weightText, bool grammes,
                          double grains, const ballistics::ShotFigures& figures);

// `value` rounded as the pattern with `decimals` decimals shows it.
double asShown(double value, int decimals);
