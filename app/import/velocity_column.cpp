#include "import_formats.h"
#include "import_text.h"

#include <QRegularExpression>

namespace import_formats {

// The separator of a header line: the most frequent of semicolon, tab and comma outside quotes.
QChar separatorOf(const QString& line)
{
    int semicolons = 0, tabs = 0, commas = 0;
    bool quoted = false;
    for (QChar c : line) {
        if (c == u'"')
            quoted = !quoted;
        else if (!quoted && c == u';')
            ++semicolons;
        else if (!quoted && c == u'\t')
            ++tabs;
        else if (!quoted && c == u',')
            ++commas;
    }
    if (semicolons >= tabs && semicolons >= commas && semicolons > 0)
        return u';';
    return tabs > commas ? u'\t' : u',';
}

QStringList headerWords(const QString& header)
{
    static const QRegularExpression split(QStringLiteral("[^\\w/]+"), QRegularExpression::UseUnicodePropertiesOption);
    return header.toLower().split(split, Qt::SkipEmptyParts);
}

bool namesVelocity(const QString& header)
{
    static const QStringList names = {QStringLiteral("velocity"), QStringLiteral("velocities"), QStringLiteral("speed"),
                                      QStringLiteral("vel"),      QStringLiteral("v0"),         QStringLiteral("fps"),
                                      QStringLiteral("m/s"),      QStringLiteral("ft/s"),       QStringLiteral("mps")};
    for (const QString& w : headerWords(header))
        if (names.contains(w))
            return true;
    return false;
}

VelocityUnit unitInHeader(const QString& header)
{
    const QStringList w = headerWords(header);
    if (w.contains(QLatin1String("fps")) || w.contains(QLatin1String("ft/s")))
        return VelocityUnit::Fps;
    if (w.contains(QLatin1String("m/s")) || w.contains(QLatin1String("mps")))
        return VelocityUnit::MetresPerSecond;
    return VelocityUnit::Unknown;
}

namespace {

QString passedText(const QStringList& passed)
{
    if (passed.isEmpty())
        return {};
    if (passed.size() == 1)
        return QStringLiteral("line %1 is not a velocity").arg(passed.front());
    return QStringLiteral("lines %1 are not velocities").arg(passed.join(QStringLiteral(", ")));
}

const QRegularExpression& velocityLine()
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*([-+]?\\d+(?:[.,]\\d+)?)\\s*([a-zA-Z/]*)\\s*$"));
    return pattern;
}

// One velocity per line, each perhaps followed by its unit: all lines must agree on it.
ImportResult onePerLine(const QStringList& lines)
{
    const QRegularExpression& pattern = velocityLine();
    ImportedString s;
    s.format = QStringLiteral("One velocity per line");
    std::optional<VelocityUnit> unit;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].trimmed().isEmpty())
            continue;
        const QRegularExpressionMatch m = pattern.match(lines[i]);
        const auto value = m.hasMatch() ? import_text::number(m.captured(1)) : std::nullopt;
        const VelocityUnit own = unitInHeader(m.captured(2));
        if (!value || (!m.captured(2).isEmpty() && own == VelocityUnit::Unknown))
            return {};
        if (unit && *unit != own)
            return ImportResult::refused(
                QStringLiteral("The lines of the file do not all give their velocity in the same unit."));
        unit = own;
        if (value->value <= 0)
            return ImportResult::refused(
                QStringLiteral("Line %1 of the file is not a velocity: it is not above zero.").arg(i + 1));
        s.velocities.push_back(value->value);
        s.velocityDecimals = std::max(s.velocityDecimals, value->decimals);
        s.numbers.push_back(QString::number(s.velocities.size()));
        s.times.push_back({});
        if (s.velocities.size() > kMaxShots)
            return ImportResult::refused(tooManyShots());
    }
    s.unit = unit.value_or(VelocityUnit::Unknown);
    return ImportResult::one(std::move(s));
}

// A list without a header, each line a shot's number and its velocity ("1;2795,3"): the
// numbers count up from 1 (or 0), skipping deleted shots. Nothing when the lines are not so.
ImportResult numberedList(const QStringList& lines, QChar separator)
{
    ImportedString s;
    s.format = QStringLiteral("Numbered list of velocities");
    double previous = 0;
    for (const QString& line : lines) {
        if (line.trimmed().isEmpty())
            continue;
        const QStringList f = import_text::fields(line, separator);
        const auto number = f.size() == 2 ? import_text::number(f[0]) : std::nullopt;
        const auto value = f.size() == 2 ? import_text::number(f[1]) : std::nullopt;
        if (!number || !value || number->decimals != 0 || value->value <= 0 ||
            (s.velocities.empty() ? number->value > 1 || number->value < 0 : number->value <= previous))
            return {};
        previous = number->value;
        s.velocities.push_back(value->value);
        s.velocityDecimals = std::max(s.velocityDecimals, value->decimals);
        s.numbers.push_back(f[0].trimmed());
        s.times.push_back({});
        if (s.velocities.size() > kMaxShots)
            return ImportResult::refused(tooManyShots());
    }
    return ImportResult::one(std::move(s));
}

} // namespace

ImportResult readVelocityColumn(const QStringList& lines)
{
    qsizetype first = 0;
    while (first < lines.size() && lines[first].trimmed().isEmpty())
        ++first;
    if (first >= lines.size())
        return {};
    // "1,2795" is a numbered list's line before it is a velocity with a decimal comma.
    if (ImportResult list = numberedList(lines.mid(first), separatorOf(lines[first]));
        !list.strings.empty() || list.isRefused())
        return list;
    if (velocityLine().match(lines[first]).hasMatch())
        return onePerLine(lines.mid(first));
    const QChar separator = separatorOf(lines[first]);
    const QStringList header = import_text::fields(lines[first], separator);
    qsizetype column = -1;
    for (qsizetype c = 0; c < header.size() && column < 0; ++c)
        if (namesVelocity(header[c]))
            column = c;
    if (column < 0)
        return onePerLine(lines.mid(first));

    ImportedString s;
    s.format = QStringLiteral("Spreadsheet CSV");
    s.unit = unitInHeader(header[column]);
    QStringList passed;
    bool started = false;
    for (qsizetype i = first + 1; i < lines.size(); ++i) {
        if (lines[i].trimmed().isEmpty()) {
            if (started)
                break; // a summary block may follow, as Velmora's own CSV has
            continue;
        }
        const QStringList f = import_text::fields(lines[i], separator);
        const QString cell = f.value(column).trimmed();
        if (cell.isEmpty())
            continue;
        const auto value = import_text::number(cell);
        if (!value || value->value <= 0) {
            passed.append(QString::number(i + 1));
            continue;
        }
        started = true;
        s.velocities.push_back(value->value);
        s.velocityDecimals = std::max(s.velocityDecimals, value->decimals);
        s.numbers.push_back(QString::number(s.velocities.size()));
        s.times.push_back({});
        if (s.velocities.size() > kMaxShots)
            return ImportResult::refused(tooManyShots());
    }
    s.problem = passedText(passed);
    return ImportResult::one(std::move(s));
}

} // namespace import_formats
