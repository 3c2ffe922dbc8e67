#include "import_formats.h"
#include "import_text.h"

#include <QRegularExpression>

namespace import_formats {

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

// "SPEED (FPS)", "Tempo (MPS)": the unit in parentheses.
VelocityUnit headerUnit(const QString& header)
{
    static const QRegularExpression paren(QStringLiteral("\\(([^)]*)\\)"));
    const QString unit = paren.match(header).captured(1).trimmed().toUpper();
    if (unit == QLatin1String("FPS") || unit == QLatin1String("FT/S"))
        return VelocityUnit::Fps;
    if (unit == QLatin1String("MPS") || unit == QLatin1String("M/S"))
        return VelocityUnit::MetresPerSecond;
    return VelocityUnit::Unknown;
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
    }
    if (i >= lines.size())
        return ImportResult::refused(QStringLiteral("The file ends before the line \"-,,,,,,\" that closes its shots: it seems cut short."));
    // The summary, in the phone's language: known by its order, not by its words.
    std::vector<std::optional<FileNumber>> values;
    for (++i; i < lines.size() && !isDashLine(lines[i]); ++i)
        values.push_back(import_text::number(import_text::fields(lines[i], u',').value(1)));
    if (i >= lines.size())
        return ImportResult::refused(QStringLiteral("The file ends inside its summary, before its date: it seems cut short."));
    s.summary.average = values.size() > 0 ? values[0] : std::nullopt;
    s.summary.deviation = values.size() > 1 ? values[1] : std::nullopt;
    s.summary.spread = values.size() > 2 ? values[2] : std::nullopt;
    if (values.size() > 4 && values[4])
        s.grains = values[4]->value;
    for (++i; i < lines.size() && !s.when.isValid(); ++i)
        s.when = import_text::namedMonthDate(lines[i]);
    if (s.when.isValid() && !s.times.empty()) {
        // The date line gives the session's start; the first shot's own time is more precise.
        const QTime first = import_text::clockTime(s.times.front());
        if (first.isValid())
            s.when.setTime(first);
    }
    if (!passed.isEmpty())
        s.problem = QStringLiteral("line %1 is not a shot").arg(passed.join(QStringLiteral(", ")));
    if (passed.size() > 1)
        s.problem = QStringLiteral("lines %1 are not shots").arg(passed.join(QStringLiteral(", ")));
    return ImportResult::one(std::move(s));
}

} // namespace import_formats
