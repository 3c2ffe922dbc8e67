#include "binary_export.h"
#include "import_formats.h"
#include "import_text.h"

#include <QLocale>
#include <algorithm>
#include <cmath>
#include <numeric>

namespace import_formats {

namespace {

// The 4-byte "sep=;" a LabRadar writes first, perhaps after a byte-order mark and NUL padding.
bool startsLikeLabRadar(const QByteArray& bytes)
{
    QByteArray head = bytes.left(256);
    head.replace('\0', QByteArray());
    if (head.startsWith("\xEF\xBB\xBF"))
        head.remove(0, 3);
    return head.startsWith("sep=;");
}

QString figure(double value, int decimals)
{
    return QLocale::c().toString(value, 'f', decimals);
}

} // namespace

QString tooManyShots()
{
    return QStringLiteral("The file holds more than the %1 shots a string can hold.").arg(kMaxShots);
}

QString summaryDisagreement(const ImportedString& s)
{
    const auto n = s.velocities.size();
    if (n == 0)
        return {};
    const double mean = std::accumulate(s.velocities.begin(), s.velocities.end(), 0.0) / double(n);
    double squares = 0;
    for (double v : s.velocities)
        squares += (v - mean) * (v - mean);
    const auto [low, high] = std::minmax_element(s.velocities.begin(), s.velocities.end());
    // The shots are printed rounded while the device computed from what it measured: each shot
    // may be half its last digit off, which moves the average by as much, the deviation by up
    // to sqrt(n / (n - 1)) times that and the spread by twice that.
    const double shotRounding = 0.5 * std::pow(10.0, -s.velocityDecimals);
    const double deviationRounding = n > 1 ? shotRounding * std::sqrt(double(n) / double(n - 1)) : shotRounding;
    QStringList out;
    const QString unit = unitWord(s.unit);
    auto check = [&](const std::optional<FileNumber>& given, const QString& what, std::vector<double> computed,
                     double rounding) {
        if (!given)
            return;
        const double tolerance = given->lastDigit() + rounding + 1e-9;
        for (double c : computed)
            if (std::abs(given->value - c) <= tolerance)
                return;
        out.append(QStringLiteral("the file's %1 %2 %3 is not its shots' %4")
                       .arg(what, figure(given->value, given->decimals), unit,
                            figure(computed.front(), given->decimals + 1)));
    };
    check(s.summary.average, QStringLiteral("average"), {mean}, shotRounding);
    const double byN = std::sqrt(squares / double(n));
    const double byNMinus1 = n > 1 ? std::sqrt(squares / double(n - 1)) : 0;
    switch (s.summary.convention) {
    case DeviationConvention::DividesByN:
        check(s.summary.deviation, QStringLiteral("deviation (÷ n)"), {byN}, deviationRounding);
        break;
    case DeviationConvention::DividesByNMinus1:
        check(s.summary.deviation, QStringLiteral("deviation (÷ n − 1)"), {byNMinus1}, deviationRounding);
        break;
    case DeviationConvention::Unknown:
        check(s.summary.deviation, QStringLiteral("deviation"), {byNMinus1, byN}, deviationRounding);
        break;
    }
    check(s.summary.spread, QStringLiteral("spread"), {*high - *low}, 2 * shotRounding);
    return out.join(QStringLiteral("; "));
}

namespace {

// The checks every string of a file passes, whatever its format: a refusal, or "" when it is fine.
QString checked(ImportedString& s)
{
    if (s.velocities.empty())
        return QStringLiteral("The file holds no shots.");
    if (s.velocities.size() > kMaxShots)
        return tooManyShots();
    // Beyond any chronograph's range: a column of something else, or a damaged file.
    if (const double top = *std::max_element(s.velocities.begin(), s.velocities.end()); top >= kMaxVelocity)
        return QStringLiteral("The file gives a velocity of %1, more than any chronograph measures.")
            .arg(QLocale::c().toString(top, 'g', 8));
    QStringList notes;
    if (!s.problem.isEmpty())
        notes.append(s.problem);
    // Cut here, once: the archive writes the title into each of its rows.
    if (s.title.size() > kMaxTitle) {
        s.title = s.title.left(kMaxTitle).trimmed();
        notes.append(QStringLiteral("the title was cut to %1 characters").arg(kMaxTitle));
    }
    if (const QString disagreement = summaryDisagreement(s); !disagreement.isEmpty())
        notes.append(disagreement);
    s.problem = notes.join(QStringLiteral("; "));
    return {};
}

} // namespace

ImportResult readExport(const QByteArray& bytes)
{
    if (bytes.size() > kMaxImportBytes)
        return ImportResult::refused(
            QStringLiteral("The file is larger than 10 MB: no chronograph's export is that large."));
    if (bytes.trimmed().isEmpty())
        return ImportResult::refused(QStringLiteral("The file is empty."));
    ImportResult result;
    if (std::optional<binary_export::Sessions> binary = binary_export::read(bytes)) {
        // A workbook or a FIT file: known by its first bytes, never read as text.
        if (!binary->refusal.isEmpty())
            return ImportResult::refused(binary->refusal);
        result.strings = std::move(binary->strings);
    } else {
        const bool labRadar = startsLikeLabRadar(bytes);
        const import_text::Decoded decoded = import_text::decode(bytes, labRadar);
        if (!decoded.refusal.isEmpty())
            return ImportResult::refused(decoded.refusal);
        const QStringList lines = import_text::lines(decoded.text);
        if (isLabRadarReport(lines))
            result = readLabRadarReport(lines);
        else if (isXeroCsv(lines))
            result = readXeroCsv(lines);
        else if (result = readLoadTable(lines); result.strings.empty() && !result.isRefused())
            result = readVelocityColumn(lines);
        if (result.isRefused())
            return result;
    }
    if (result.strings.empty())
        return ImportResult::refused(
            QStringLiteral("The file is neither a Garmin Xero C1 nor a LabRadar export, and no column is "
                           "headed with a velocity (velocity, speed, V0, fps or m/s)."));
    for (ImportedString& s : result.strings)
        if (const QString why = checked(s); !why.isEmpty())
            return ImportResult::refused(why);
    return result;
}

} // namespace import_formats
