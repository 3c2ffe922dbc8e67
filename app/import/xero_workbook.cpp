#include "binary_export.h"
#include "import_text.h"
#include "xls_reader.h"
#include "xlsx_reader.h"

#include <QRegularExpression>
#include <cmath>
#include <initializer_list>

namespace binary_export {

namespace {

// The phone writes a narrow no-break space before AM/PM; the rest of the import reads spaces.
QString plain(QString text)
{
    return text.replace(QChar(0x202F), u' ').replace(QChar(0x00A0), u' ').trimmed();
}

// A cell's number as the import reads numbers: a decimal point or comma as stored, grouped
// thousands with the other mark.
std::optional<FileNumber> cellNumber(const QString& cell)
{
    std::optional<FileNumber> n = import_text::number(plain(cell));
    if (n && !std::isfinite(n->value))
        return std::nullopt;
    return n;
}

bool isEmptyRow(const QStringList& row)
{
    for (const QString& cell : row)
        if (!plain(cell).isEmpty() && plain(cell) != QLatin1String("-"))
            return false;
    return true;
}

// "Speed (FPS)", "Tempo (MPS)", "Tempo (mps)".
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

bool isHeader(const QStringList& row)
{
    return plain(row.value(0)) == QLatin1String("#") && row.value(1).contains(u'(');
}

// What a summary row's label names, in the languages the phone app writes. A label not known
// here is passed over: its figure is not checked rather than taken by its place.
enum class Label { Unknown, Average, Deviation, Spread, Weight, Date };

Label label(const QString& cell)
{
    // Labels end with the unit in brackets, sometimes left open ("PROJECTILE WEIGHT(GRAINS").
    const QString text = plain(cell).toUpper().section(u'(', 0, 0).trimmed();
    auto any = [&](std::initializer_list<const char*> words) {
        for (const char* w : words)
            if (text == QString::fromUtf8(w))
                return true;
        return false;
    };
    if (any({"AVERAGE SPEED", "AVG SPEED", "DURCHSCHNITTSGESCHWINDIGKEIT", "DURCHSCHNITTLICHE GESCHWINDIGKEIT"}))
        return Label::Average;
    if (any({"STD DEV", "STANDARD DEVIATION", "STANDARDABWEICHUNG"}))
        return Label::Deviation;
    if (any({"SPREAD", "EXTREME SPREAD", "STREUUNG", "EXTREMSTREUUNG"}))
        return Label::Spread;
    if (any({"PROJECTILE WEIGHT", "BULLET WEIGHT", "GEWICHT DES PROJEKTILS", "PROJEKTILGEWICHT"}))
        return Label::Weight;
    if (any({"DATE", "DATUM"}))
        return Label::Date;
    return Label::Unknown;
}

// The projectile's weight in grains, when the label's unit says grains ("GRAINS", "GRAN").
std::optional<double> grains(const QString& labelCell, const QString& valueCell)
{
    const QString unit = plain(labelCell).toUpper().section(u'(', 1).remove(u')').trimmed();
    const auto n = cellNumber(valueCell);
    if (!n || !(unit.startsWith(QLatin1String("GRAIN")) || unit == QLatin1String("GRAN") || unit == QLatin1String("GR")))
        return std::nullopt;
    return n->value;
}

// One sheet as ShotView writes it: the title, the header, the shots, then the summary by label.
// None when the sheet is not a session (another sheet of a workbook someone added to).
std::optional<ImportedString> session(const workbook::Sheet& sheet, QString& refusal)
{
    size_t header = 0;
    while (header < sheet.rows.size() && header < 5 && !isHeader(sheet.rows[header]))
        ++header;
    if (header >= sheet.rows.size() || header >= 5)
        return std::nullopt;
    ImportedString s;
    s.format = QStringLiteral("Garmin Xero C1 (ShotView workbook)");
    s.title = header > 0 ? plain(sheet.cell(0, 0)) : QString();
    if (s.title.isEmpty())
        s.title = plain(sheet.name);
    s.unit = headerUnit(sheet.cell(header, 1));
    s.summary.convention = DeviationConvention::DividesByN;
    QStringList passed;
    size_t row = header + 1;
    for (; row < sheet.rows.size() && !isEmptyRow(sheet.rows[row]); ++row) {
        const QStringList& cells = sheet.rows[row];
        if (label(cells.value(0)) != Label::Unknown)
            break;
        const auto number = cellNumber(cells.value(0));
        const auto speed = cellNumber(cells.value(1));
        if (!number || !speed || !(speed->value > 0)) {
            passed.append(QString::number(row + 1));
            continue;
        }
        if (s.velocities.size() >= kMaxShots) {
            refusal = QStringLiteral("The sheet \"%1\" holds more than %2 shots, more than a string can hold.")
                          .arg(sheet.name)
                          .arg(kMaxShots);
            return std::nullopt;
        }
        s.numbers.push_back(plain(cells.value(0)));
        s.velocities.push_back(speed->value);
        s.velocityDecimals = std::max(s.velocityDecimals, speed->decimals);
        const QString time = plain(cells.value(5));
        s.times.push_back(import_text::clockTime(time).isValid() ? time : QString());
    }
    for (; row < sheet.rows.size(); ++row) {
        const QStringList& cells = sheet.rows[row];
        switch (label(cells.value(0))) {
        case Label::Average:
            s.summary.average = cellNumber(cells.value(1));
            break;
        case Label::Deviation:
            s.summary.deviation = cellNumber(cells.value(1));
            break;
        case Label::Spread:
            s.summary.spread = cellNumber(cells.value(1));
            break;
        case Label::Weight:
            s.grains = grains(cells.value(0), cells.value(1)).value_or(0);
            break;
        case Label::Date:
            s.when = import_text::namedMonthDate(plain(cells.value(1)));
            break;
        case Label::Unknown:
            break;
        }
    }
    if (s.velocities.empty())
        return std::nullopt;
    if (s.when.isValid() && !s.times.empty()) {
        // The date row gives the session's start to the minute; the first shot's time is exact.
        const QTime first = import_text::clockTime(s.times.front());
        if (first.isValid())
            s.when.setTime(first);
    }
    if (passed.size() == 1)
        s.problem = QStringLiteral("row %1 is not a shot").arg(passed.front());
    else if (passed.size() > 1)
        s.problem = QStringLiteral("rows %1 are not shots").arg(passed.join(QStringLiteral(", ")));
    return s;
}

bool sameShots(const ImportedString& a, const ImportedString& b)
{
    return a.velocities == b.velocities && a.times == b.times && a.unit == b.unit;
}

} // namespace

Sessions readXeroWorkbook(const QByteArray& bytes)
{
    const workbook::Workbook book = xlsx_reader::looksLikeXlsx(bytes) ? xlsx_reader::read(bytes) : xls_reader::read(bytes);
    if (!book.refusal.isEmpty())
        return {{}, book.refusal};
    Sessions out;
    for (const workbook::Sheet& sheet : book.sheets) {
        QString refusal;
        std::optional<ImportedString> s = session(sheet, refusal);
        if (!refusal.isEmpty())
            return {{}, refusal};
        // The app may write one session twice under two titles: it is one string.
        if (!s || std::any_of(out.strings.begin(), out.strings.end(),
                              [&](const ImportedString& kept) { return sameShots(kept, *s); }))
            continue;
        out.strings.push_back(std::move(*s));
    }
    if (out.strings.empty())
        return {{}, QStringLiteral("No sheet of the workbook is a chronograph's session (a title, a row headed "
                                   "\"#\" and a speed, then the shots).")};
    return out;
}

} // namespace binary_export
