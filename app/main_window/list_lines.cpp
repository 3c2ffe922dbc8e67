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
    appendDataLine(line, cells, runningNumber, t, sep);
    return line;
}

void appendDataLine(QString& text, const QStringList& cells, int runningNumber, const TrailingFields& t,
                    const QString& sep)
{
    for (qsizetype c = 0; c < cells.size(); ++c) {
        if (c == 0)
            text += QString::number(runningNumber);
        else
            text += cells[c];
        text += sep;
    }
    text += t.projectile;
    text += sep;
    text += t.caliber;
    text += sep;
    text += t.gunMake;
    text += sep;
    text += t.gunModel;
    text += u'\r';
    text += u'\n';
}

} // namespace list_lines
