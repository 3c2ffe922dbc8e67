#pragma once

#include <QString>
#include <QStringList>

// Lines of the list text that the string views write (the live shot line is the shot path's).
namespace list_lines {

// "Grammes" when the metric weight unit is selected, else "Grains".
QString weightWord(bool grammesSelected);

// Written at start-up and when the last shot is deleted.
QString shortHeader(const QString& weightWord, const QString& separator);
// Written by the full recomputation.
QString longHeader(const QString& weightWord, const QString& separator);

// The projectile and gun fields that close every data line.
struct TrailingFields {
    QString projectile, caliber, gunMake, gunModel;
};

// One data line: the cells with the first replaced by the running number, each followed by a
// separator, then the four trailing fields and CR LF.
QString dataLine(const QStringList& cells, int runningNumber, const TrailingFields& trailing,
                 const QString& separator);
// The same line appended to `text`, for building long lists without temporaries.
void appendDataLine(QString& text, const QStringList& cells, int runningNumber, const TrailingFields& trailing,
                    const QString& separator);

} // namespace list_lines
