#include "import_formats.h"
#include "import_text.h"

#include "shot/ballistics.h"

#include <QRegularExpression>
#include <algorithm>

namespace import_formats {

namespace {

VelocityUnit unitNamed(const QString& text)
{
    const QString u = text.trimmed().toLower();
    if (u == QLatin1String("fps") || u == QLatin1String("ft/s"))
        return VelocityUnit::Fps;
    if (u == QLatin1String("m/s") || u == QLatin1String("mps"))
        return VelocityUnit::MetresPerSecond;
    return VelocityUnit::Unknown;
}

struct DateParts {
    int a = 0, b = 0, year = 0; // as written: first, second, year
    bool yearFirst = false;     // ISO, "2024-03-10": a is the day, b the month
};

std::optional<DateParts> dateParts(const QString& text)
{
    static const QRegularExpression dmy(QStringLiteral("^\\s*(\\d{1,2})[-/.](\\d{1,2})[-/.](\\d{2,4})\\s*$"));
    static const QRegularExpression ymd(QStringLiteral("^\\s*(\\d{4})[-/.](\\d{1,2})[-/.](\\d{1,2})\\s*$"));
    if (const auto m = ymd.match(text); m.hasMatch())
        return DateParts{m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt(), true};
    const auto m = dmy.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    int year = m.captured(3).toInt();
    if (year < 100)
        year += 2000;
    return DateParts{m.captured(1).toInt(), m.captured(2).toInt(), year, false};
}

// The row that heads the table of shots: "Shot ID;V0;..." (or with commas or tabs, as a
// spreadsheet saves it back, cells padded). Its separator, or none when the line is not it.
std::optional<QChar> tableSeparator(const QString& line)
{
    static const QRegularExpression head(QStringLiteral("^\\s*\"?Shot ID\"?\\s*([;,\\t])"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = head.match(line);
    if (!m.hasMatch())
        return std::nullopt;
    return m.captured(1).front();
}

qsizetype tableRow(const QStringList& lines)
{
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (tableSeparator(lines[i]))
            return i;
    return -1;
}

bool blank(const QStringList& fields)
{
    return std::all_of(fields.begin(), fields.end(), [](const QString& f) { return f.trimmed().isEmpty(); });
}

// A track: one shot's velocity along its flight, in a LabRadar's "Shot0001 Track.csv".
bool isTrack(const QStringList& lines)
{
    for (const QString& line : lines) {
        const QString l = line.toLower();
        if (l.contains(QLatin1String("time")) &&
            (l.contains(QLatin1String("distance")) || l.contains(QLatin1String("velocity")) ||
             l.contains(QLatin1String("speed"))) &&
            !l.contains(QLatin1String("units")))
            return true;
    }
    return false;
}

} // namespace

bool isLabRadarReport(const QStringList& lines)
{
    if (!lines.isEmpty() && lines[0].trimmed().compare(QLatin1String("sep=;"), Qt::CaseInsensitive) == 0)
        return true;
    // Saved back through a spreadsheet: no "sep=;", but the device's keys and its table; or the
    // phone app's table of shots alone.
    const qsizetype table = tableRow(lines);
    if (table < 0)
        return false;
    static const QRegularExpression v0(QStringLiteral("^\\s*\"?Shot ID\"?\\s*[;,\\t]\\s*\"?V0\"?\\s*(?:[;,\\t]|$)"),
                                       QRegularExpression::CaseInsensitiveOption);
    if (v0.match(lines[table]).hasMatch())
        return true;
    bool device = false;
    bool series = false;
    for (const QString& line : lines.mid(0, 40)) {
        const QString key = line.trimmed().section(QRegularExpression(QStringLiteral("[;,\\t]")), 0, 0).trimmed();
        device = device || key.compare(QLatin1String("Device ID"), Qt::CaseInsensitive) == 0;
        series = series || key.compare(QLatin1String("Series No"), Qt::CaseInsensitive) == 0;
    }
    return device || series;
}

ImportResult readLabRadarReport(const QStringList& lines)
{
    ImportedString s;
    s.format = QStringLiteral("LabRadar series report");
    // The device says nothing of its convention: either is taken as its own.
    s.summary.convention = DeviationConvention::Unknown;
    QString device;
    QString series;
    std::optional<int> announced;
    bool grammes = false;
    const qsizetype table = tableRow(lines);
    if (table < 0 && isTrack(lines))
        return ImportResult::refused(
            QStringLiteral("The file is a LabRadar track of one shot (its velocity along its flight), not a series: "
                           "import the series' report (\"SR0001 Report.csv\" or the like)."));
    const QChar separator = table >= 0 ? *tableSeparator(lines[table]) : QChar(u';');
    qsizetype i = 0;
    for (; i < lines.size() && i != table; ++i) {
        const QStringList f = import_text::fields(lines[i], separator);
        const QString key = f.value(0).trimmed().toLower();
        const QString value = f.value(1).trimmed();
        if (key.startsWith(QLatin1String("sep=")))
            continue;
        if (key.contains(QLatin1String("device")))
            device = value;
        else if (key.contains(QLatin1String("series")))
            series = value;
        else if (key.contains(QLatin1String("total")) && key.contains(QLatin1String("shot")))
            announced = import_text::number(value) ? std::optional<int>(value.toInt()) : std::nullopt;
        else if (key.contains(QLatin1String("units velocity")))
            s.unit = unitNamed(value);
        else if (key.contains(QLatin1String("units weight")))
            grammes = value.toLower().startsWith(QLatin1String("gram")) || value.trimmed().toLower() == u'g';
        else if (key.contains(QLatin1String("average")) || key.contains(QLatin1String("mean")))
            s.summary.average = import_text::number(value);
        else if (key.contains(QLatin1String("std")) || key.contains(QLatin1String("deviation")))
            s.summary.deviation = import_text::number(value);
        else if (key.contains(QLatin1String("spread")))
            s.summary.spread = import_text::number(value);
    }
    if (i >= lines.size())
        return ImportResult::refused(
            QStringLiteral("The report ends before its table of shots (\"Shot ID;V0;...\"): it seems cut short."));
    s.title = series.isEmpty() ? QStringLiteral("LabRadar") : QStringLiteral("LabRadar series ") + series;
    if (!device.isEmpty())
        s.title += QStringLiteral(" (") + device + u')';

    const QStringList header = import_text::fields(lines[i], separator);
    auto column = [&](const QString& name) -> qsizetype {
        for (qsizetype c = 0; c < header.size(); ++c)
            if (header[c].trimmed().compare(name, Qt::CaseInsensitive) == 0)
                return c;
        return -1;
    };
    const qsizetype v0 = column(QStringLiteral("V0"));
    const qsizetype weight = column(QStringLiteral("Proj. Weight"));
    const qsizetype dateColumn = column(QStringLiteral("Date"));
    const qsizetype timeColumn = column(QStringLiteral("Time"));
    if (v0 < 0)
        return ImportResult::refused(QStringLiteral("The report's table has no column \"V0\" for the velocity."));
    // The columns a whole row reaches: a row that stops before them was cut off.
    const qsizetype needed = std::max({v0, weight, dateColumn, timeColumn}) + 1;
    QStringList passed;
    std::vector<DateParts> dates;
    std::vector<QTime> times;
    for (++i; i < lines.size(); ++i) {
        const QStringList f = import_text::fields(lines[i], separator);
        if (blank(f))
            continue;
        if (f.size() < needed) {
            if (i + 1 == lines.size())
                return ImportResult::refused(
                    QStringLiteral("The report's last row stops short: the file seems cut short."));
            passed.append(QString::number(i + 1));
            continue;
        }
        const auto speed = import_text::number(f[v0]);
        if (!speed || speed->value <= 0) {
            passed.append(QString::number(i + 1));
            continue;
        }
        s.numbers.push_back(QString::number(f[0].trimmed().toInt()));
        s.velocities.push_back(speed->value);
        s.velocityDecimals = std::max(s.velocityDecimals, speed->decimals);
        const QTime time = timeColumn >= 0 ? import_text::clockTime(f[timeColumn]) : QTime();
        s.times.push_back(time.isValid() ? f[timeColumn].trimmed() : QString());
        times.push_back(time);
        if (dateColumn >= 0)
            if (const auto d = dateParts(f[dateColumn]))
                dates.push_back(*d);
        if (s.velocities.size() > kMaxShots)
            return ImportResult::refused(tooManyShots());
        if (s.grains == 0 && weight >= 0)
            if (const auto w = import_text::number(f[weight]))
                s.grains = grammes ? w->value * ballistics::kGrainsPerGramme : w->value;
    }
    QStringList notes;
    // An owner who deleted rows leaves the count the device wrote: the rows present are read.
    if (announced && *announced > int(s.velocities.size()) && passed.isEmpty())
        notes.append(QStringLiteral("the report announces %1 shots but holds %2 (rows were deleted)")
                         .arg(*announced)
                         .arg(s.velocities.size()));
    if (!dates.empty()) {
        // The device writes month-day-year; converters write day-month-year, which a first
        // field beyond 12 anywhere shows.
        const bool dayFirst =
            std::any_of(dates.begin(), dates.end(), [](const DateParts& d) { return !d.yearFirst && d.a > 12; });
        const DateParts& d = dates.front();
        const QDate date = dayFirst || d.yearFirst ? QDate(d.year, d.b, d.a) : QDate(d.year, d.a, d.b);
        if (date.isValid())
            s.when = QDateTime(date, times.front().isValid() ? times.front() : QTime(0, 0));
    }
    if (passed.size() == 1)
        notes.append(QStringLiteral("line %1 is not a shot").arg(passed.front()));
    else if (passed.size() > 1)
        notes.append(QStringLiteral("lines %1 are not shots").arg(passed.join(QStringLiteral(", "))));
    s.problem = notes.join(QStringLiteral("; "));
    return ImportResult::one(std::move(s));
}

} // namespace import_formats
