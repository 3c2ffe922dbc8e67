#include "binary_export.h"
#include "import_text.h"
#include "shotview_labels.h"
#include "xls_reader.h"
#include "xlsx_reader.h"

#include <cmath>

namespace binary_export {

namespace {

namespace shotview = import_formats::shotview;

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

bool isHeader(const QStringList& row)
{
    return plain(row.value(0)) == QLatin1String("#") && row.value(1).contains(u'(');
}

// The date row's label; the other rows are known as in the CSV.
bool isDateLabel(const QString& cell)
{
    const QString text = plain(cell).toUpper();
    return text == QLatin1String("DATE") || text == QLatin1String("DATUM") || text == QLatin1String("FECHA") ||
           text == QLatin1String("DATA") || text == QLatin1String("DATO");
}

bool isLabel(const QString& cell)
{
    return isDateLabel(cell) || shotview::summaryRow(plain(cell)) != shotview::SummaryRow::Unknown;
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
    s.unit = shotview::headerUnit(sheet.cell(header, 1));
    s.summary.convention = DeviationConvention::DividesByN;
    QStringList passed;
    size_t row = header + 1;
    for (; row < sheet.rows.size() && !isEmptyRow(sheet.rows[row]); ++row) {
        const QStringList& cells = sheet.rows[row];
        if (isLabel(cells.value(0)))
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
    QString date;
    for (; row < sheet.rows.size(); ++row) {
        const QStringList& cells = sheet.rows[row];
        if (isDateLabel(cells.value(0))) {
            date = plain(cells.value(1)).left(80);
            s.when = import_text::namedMonthDate(date);
            continue;
        }
        shotview::takeSummaryRow(s, plain(cells.value(0)), cellNumber(cells.value(1)));
    }
    if (s.velocities.empty())
        return std::nullopt;
    shotview::startAtFirstShot(s);
    QStringList notes;
    if (passed.size() == 1)
        notes.append(QStringLiteral("row %1 is not a shot").arg(passed.front()));
    else if (passed.size() > 1)
        notes.append(QStringLiteral("rows %1 are not shots").arg(passed.join(QStringLiteral(", "))));
    // The shots are kept without a date rather than refused for it.
    if (!s.when.isValid())
        notes.append(date.isEmpty() ? QStringLiteral("the sheet gives no date")
                                    : QStringLiteral("the date \"%1\" cannot be read").arg(date));
    s.problem = notes.join(QStringLiteral("; "));
    return s;
}

bool sameShots(const ImportedString& a, const ImportedString& b)
{
    return a.velocities == b.velocities && a.times == b.times && a.unit == b.unit;
}

} // namespace

Sessions readXeroWorkbook(const QByteArray& bytes)
{
    const workbook::Workbook book =
        xlsx_reader::looksLikeXlsx(bytes) ? xlsx_reader::read(bytes) : xls_reader::read(bytes);
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
        return {{},
                QStringLiteral("No sheet of the workbook is a chronograph's session (a title, a row headed "
                               "\"#\" and a speed, then the shots).")};
    return out;
}

} // namespace binary_export
