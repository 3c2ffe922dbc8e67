#include "import_formats.h"
#include "import_text.h"
#include "shotview_labels.h"

#include <QRegularExpression>

namespace import_formats {

using namespace shotview;

namespace {

bool isDashLine(const QString& line)
{
    const QStringList f = import_text::fields(line, u',');
    if (f.value(0).trimmed() != QLatin1String("-"))
        return false;
    for (qsizetype i = 1; i < f.size(); ++i)
        if (!f[i].trimmed().isEmpty())
            return false;
    return true;
}

// The session title: free text, sometimes quoted as a whole, with the row's padding commas.
QString title(QString line)
{
    while (line.endsWith(u','))
        line.chop(1);
    line = line.trimmed();
    if (line.size() >= 2 && line.startsWith(u'"') && line.endsWith(u'"'))
        line = line.mid(1, line.size() - 2).replace(QStringLiteral("\"\""), QStringLiteral("\""));
    return line.trimmed();
}

// The date line's text, without its label and padding: "DATE, "April 6, 2024 at 1:36 PM",,,".
QString dateField(const QString& line)
{
    QStringList f = import_text::fields(line, u',');
    f.removeAll(QString());
    for (QString& t : f)
        t = t.trimmed();
    f.removeAll(QString());
    return (f.size() > 1 ? f.mid(1) : f).join(u' ').left(80);
}

} // namespace

bool isXeroCsv(const QStringList& lines)
{
    if (lines.size() < 2)
        return false;
    const QStringList header = import_text::fields(lines[1], u',');
    return header.size() >= 2 && header[0].trimmed() == QLatin1String("#") && header[1].contains(u'(');
}

ImportResult readXeroCsv(const QStringList& lines)
{
    ImportedString s;
    s.format = QStringLiteral("Garmin Xero C1 (ShotView CSV)");
    s.title = title(lines.value(0));
    s.unit = headerUnit(import_text::fields(lines.value(1), u',').value(1));
    s.summary.convention = DeviationConvention::DividesByN;
    QStringList passed;
    qsizetype i = 2;
    for (; i < lines.size() && !isDashLine(lines[i]); ++i) {
        if (lines[i].trimmed().isEmpty())
            continue;
        const QStringList f = import_text::fields(lines[i], u',');
        const auto speed = import_text::number(f.value(1));
        if (f.size() < 2 || !import_text::number(f[0]) || !speed || speed->value <= 0) {
            passed.append(QString::number(i + 1));
            continue;
        }
        s.numbers.push_back(f[0].trimmed());
        s.velocities.push_back(speed->value);
        s.velocityDecimals = std::max(s.velocityDecimals, speed->decimals);
        s.times.push_back(import_text::clockTime(f.value(5)).isValid() ? f.value(5).trimmed() : QString());
        if (s.velocities.size() > kMaxShots)
            return ImportResult::refused(tooManyShots());
    }
    if (i >= lines.size())
        return ImportResult::refused(
            QStringLiteral("The file ends before the line \"-,,,,,,\" that closes its shots: it seems cut short."));
    // The summary, in the phone's language and in the app's order: each row known by its label.
    // A row whose label is not known is left out of the check rather than guessed.
    for (++i; i < lines.size() && !isDashLine(lines[i]); ++i) {
        const QStringList f = import_text::fields(lines[i], u',');
        shotview::takeSummaryRow(s, f.value(0), import_text::number(f.value(1)));
    }
    if (i >= lines.size())
        return ImportResult::refused(
            QStringLiteral("The file ends inside its summary, before its date: it seems cut short."));
    QString dateLine;
    for (++i; i < lines.size() && !s.when.isValid(); ++i) {
        if (dateLine.isEmpty())
            dateLine = lines[i];
        s.when = import_text::namedMonthDate(lines[i]);
    }
    shotview::startAtFirstShot(s);
    QStringList notes;
    if (passed.size() == 1)
        notes.append(QStringLiteral("line %1 is not a shot").arg(passed.front()));
    else if (passed.size() > 1)
        notes.append(QStringLiteral("lines %1 are not shots").arg(passed.join(QStringLiteral(", "))));
    if (!s.when.isValid())
        notes.append(dateField(dateLine).isEmpty()
                         ? QStringLiteral("the file gives no date")
                         : QStringLiteral("the date \"%1\" cannot be read").arg(dateField(dateLine)));
    s.problem = notes.join(QStringLiteral("; "));
    return ImportResult::one(std::move(s));
}

} // namespace import_formats
