#include "import_formats.h"
#include "import_text.h"

#include <QRegularExpression>
#include <QSet>
#include <algorithm>

namespace import_formats {

namespace {

bool anyWord(const QStringList& words, std::initializer_list<const char*> names)
{
    return std::any_of(names.begin(), names.end(),
                       [&words](const char* n) { return words.contains(QLatin1String(n)); });
}

// "Shot 1", "Shot #12", "Schuss 3", "S1", "Shot 2 (fps)": the shot's number, or 0.
int shotColumn(const QString& header)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*(?:shot|schuss|tir|disparo|colpo|skott|skud|schot|s)\\s*(?:#|no\\.?|nr\\.?)?\\s*(\\d{1,3})"
                       "\\s*(?:\\([^)]*\\))?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = pattern.match(header);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

// The first column of a load test: the charge (or the powder's weight, the load).
bool namesCharge(const QString& header)
{
    return anyWord(headerWords(header), {"charge", "powder", "load", "grains", "grain", "gr", "gn", "ladung", "pulver",
                                         "treibladung", "poudre", "carga", "polvere", "lading", "krut"});
}

// A charge "37.5" headed in grains is "37.5 gr": the chart places labels with a unit by value.
QString chargeLabel(const QString& cell, const QString& header)
{
    const QString label = cell.trimmed();
    if (!import_text::number(label))
        return label;
    const QStringList words = headerWords(header);
    if (anyWord(words, {"grains", "grain", "gr", "gn"}))
        return label + QStringLiteral(" gr");
    if (anyWord(words, {"grams", "gram", "gramm", "g"}))
        return label + QStringLiteral(" g");
    return label;
}

// A downrange table: a range column beside energy, drop or path.
bool isDownrange(const QStringList& header)
{
    bool range = false;
    bool ballistics = false;
    for (const QString& h : header) {
        const QStringList w = headerWords(h);
        range = range || anyWord(w, {"range", "distance", "yards", "yds", "yd", "entfernung", "distanz", "portée",
                                     "distancia", "distanza", "afstand", "avstand"});
        ballistics = ballistics || anyWord(w, {"drop", "energy", "path", "drift", "windage", "elevation", "moa", "mil",
                                               "mrad", "tof", "energie", "fall", "chute"});
    }
    return range && ballistics;
}

struct Columns {
    qsizetype label = 0;
    std::vector<std::pair<qsizetype, int>> shots; // the column and the shot's number
    qsizetype average = -1, deviation = -1, spread = -1;
};

Columns columnsOf(const QStringList& header)
{
    Columns c;
    for (qsizetype i = 0; i < header.size(); ++i) {
        const QString h = header[i].trimmed().toLower();
        const QStringList w = headerWords(h);
        if (const int n = shotColumn(h))
            c.shots.emplace_back(i, n);
        else if (anyWord(w, {"average", "avg", "mean", "durchschnitt", "mittelwert", "moyenne", "promedio"}))
            c.average = i;
        else if (h.contains(QLatin1String("deviation")) || anyWord(w, {"sd", "stdev", "std", "stabw"}))
            c.deviation = i;
        else if (h.contains(QLatin1String("spread")) || anyWord(w, {"es", "streuung"}))
            c.spread = i;
    }
    return c;
}

QString rowsText(const QStringList& rows, const char* one, const char* many)
{
    return rows.size() == 1 ? QString::fromLatin1(one).arg(rows.front())
                            : QString::fromLatin1(many).arg(rows.join(QStringLiteral(", ")));
}

// One string a row: the shots of its "Shot N" columns, never its figures.
ImportResult loadDevelopment(const QStringList& lines, qsizetype first, QChar separator, const QStringList& header,
                             const Columns& columns)
{
    const VelocityUnit unit = unitInHeader(lines[first]);
    ImportResult result;
    QStringList notShots;
    QStringList empty;
    size_t total = 0;
    for (qsizetype i = first + 1; i < lines.size(); ++i) {
        const QStringList f = import_text::fields(lines[i], separator);
        if (std::all_of(f.begin(), f.end(), [](const QString& c) { return c.trimmed().isEmpty(); }))
            continue;
        ImportedString s;
        s.format = QStringLiteral("Load-development table");
        s.unit = unit;
        s.label = chargeLabel(f.value(columns.label), header.value(columns.label)).left(kMaxTitle);
        s.summary.convention = DeviationConvention::Unknown;
        for (const auto& [column, number] : columns.shots) {
            const QString cell = f.value(column).trimmed();
            if (cell.isEmpty())
                continue;
            const auto v = import_text::number(cell);
            if (!v || v->value <= 0) {
                notShots.append(QString::number(i + 1));
                continue;
            }
            s.velocities.push_back(v->value);
            s.velocityDecimals = std::max(s.velocityDecimals, v->decimals);
            s.numbers.push_back(QString::number(number));
            s.times.push_back({});
        }
        if (s.velocities.empty()) {
            if (!s.label.isEmpty())
                empty.append(s.label);
            continue;
        }
        total += s.velocities.size();
        if (total > kMaxShots)
            return ImportResult::refused(tooManyShots());
        auto figure = [&f](qsizetype column) {
            return column >= 0 ? import_text::number(f.value(column)) : std::nullopt;
        };
        s.summary.average = figure(columns.average);
        s.summary.deviation = figure(columns.deviation);
        s.summary.spread = figure(columns.spread);
        result.strings.push_back(std::move(s));
    }
    if (result.strings.empty())
        return ImportResult::refused(QStringLiteral("The load-development table holds no shots under its \"Shot 1\" "
                                                    "... columns."));
    // What was passed over is said on every string: each is its own entry.
    QStringList notes;
    if (!notShots.isEmpty())
        notes.append(rowsText(notShots, "line %1 has a cell that is not a velocity",
                              "lines %1 have cells that are not "
                              "velocities"));
    if (!empty.isEmpty())
        notes.append(rowsText(empty, "the row %1 holds no shots", "the rows %1 hold no shots"));
    if (!notes.isEmpty())
        for (ImportedString& s : result.strings)
            s.problem = notes.join(QStringLiteral("; "));
    return result;
}

// A ladder: a charge and one velocity a row, each its own string of one shot.
ImportResult ladder(const QStringList& lines, qsizetype first, QChar separator, const QStringList& header,
                    qsizetype velocity)
{
    const VelocityUnit unit = unitInHeader(header[velocity]);
    ImportResult result;
    QSet<QString> charges;
    for (qsizetype i = first + 1; i < lines.size(); ++i) {
        const QStringList f = import_text::fields(lines[i], separator);
        const QString cell = f.value(velocity).trimmed();
        const auto v = import_text::number(cell);
        if (!v || v->value <= 0 || f.value(0).trimmed().isEmpty())
            continue;
        ImportedString s;
        s.format = QStringLiteral("Ladder table");
        s.unit = unit;
        s.label = chargeLabel(f.value(0), header.value(0)).left(kMaxTitle);
        s.velocities = {v->value};
        s.velocityDecimals = v->decimals;
        s.numbers = {QString::number(result.strings.size() + 1)};
        s.times = {QString()};
        charges.insert(s.label);
        result.strings.push_back(std::move(s));
        if (result.strings.size() > kMaxShots)
            return ImportResult::refused(tooManyShots());
    }
    // One charge throughout is a projectile's weight beside a string's velocities, not a ladder.
    if (charges.size() < 2)
        return {};
    return result;
}

} // namespace

ImportResult readLoadTable(const QStringList& lines)
{
    qsizetype first = 0;
    while (first < lines.size() && lines[first].trimmed().isEmpty())
        ++first;
    if (first >= lines.size())
        return {};
    const QChar separator = separatorOf(lines[first]);
    const QStringList header = import_text::fields(lines[first], separator);
    if (header.size() < 2)
        return {};
    if (isDownrange(header))
        return ImportResult::refused(QStringLiteral("The file is a ballistics table (velocity by range), not shots."));
    const Columns columns = columnsOf(header);
    if (columns.shots.size() >= 2 && columns.shots.front().first > 0)
        return loadDevelopment(lines, first, separator, header, columns);
    if (!namesCharge(header[0]) || namesVelocity(header[0]))
        return {};
    qsizetype velocity = -1;
    for (qsizetype c = 1; c < header.size(); ++c) {
        if (!namesVelocity(header[c]))
            continue;
        if (velocity >= 0)
            return {}; // two velocity columns: not a ladder
        velocity = c;
    }
    return velocity > 0 ? ladder(lines, first, separator, header, velocity) : ImportResult{};
}

} // namespace import_formats
