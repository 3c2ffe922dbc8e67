#include "list_lines.h"

namespace list_lines {

QString weightWord(bool grammesSelected)
{
    return grammesSelected ? QStringLiteral("Grammes") : QStringLiteral("Grains");
}

QString shortHeader(const QString& weightWord, const QString& sep)
{
    return QStringList{QStringLiteral("Shot"), QStringLiteral("Date/Time       "),
                       QStringLiteral("Make/Model                 "), weightWord, QStringLiteral("fps"),
                       QStringLiteral("m/s"), QStringLiteral("Ft.Lbf"), QStringLiteral("Joules"),
                       QStringLiteral("IPSC-F")}
               .join(sep) +
           QStringLiteral("\r\n");
}

QString longHeader(const QString& weightWord, const QString& sep)
{
    return QStringList{QStringLiteral("Shot"),        QStringLiteral("Date/Time"), QStringLiteral("Make/Model"),
                       weightWord,                    QStringLiteral("fps"),       QStringLiteral("m/s"),
                       QStringLiteral("Ft.Lbf"),      QStringLiteral("Joules"),    QStringLiteral("IPSC-F"),
                       QStringLiteral("Pellet Name"), QStringLiteral("Caliber"),   QStringLiteral("Gun Make"),
                       QStringLiteral("Gun Model")}
               .join(sep) +
           QStringLiteral("\r\n");
}

QString dataLine(const QStringList& cells, int runningNumber, const TrailingFields& t, const QString& sep)
{
    QString line;
    for (qsizetype c = 0; c < cells.size(); ++c) {
        line += c == 0 ? QString::number(runningNumber) : cells[c];
        line += sep;
    }
    line += t.projectile + sep + t.caliber + sep + t.gunMake + sep + t.gunModel + QStringLiteral("\r\n");
    return line;
}

} // namespace list_lines
