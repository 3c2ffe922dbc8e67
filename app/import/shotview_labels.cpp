#include "shotview_labels.h"

#include "import_text.h"

#include "shot/ballistics.h"

#include <QRegularExpression>

namespace import_formats::shotview {

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

SummaryRow summaryRow(const QString& label)
{
    const QString l = label.trimmed().toUpper();
    auto has = [&l](const char* word) { return l.contains(QLatin1String(word)); };
    auto is = [&l](const char* word) { return l == QLatin1String(word); };
    // Power factor first: "AVERAGE POWER FACTOR" is no average speed.
    if (has("POWER") || has("LEISTUNG") || has("FACTEUR") || has("FACTOR") || has("FATTORE") || is("PF"))
        return SummaryRow::Other;
    if (has("WEIGHT") || has("GEWICHT") || has("POIDS") || has("PESO") || has("VEKT") || has("VIKT") || has("VÆGT"))
        return SummaryRow::Weight;
    if (has("DEV") || has("ABWEICHUNG") || has("ÉCART") || has("ECART") || has("DESV") || has("DEVIAZ") ||
        has("AFWIJKING") || has("AVVIK") || has("AFVIG") || has("AVVIKELSE") || is("SD"))
        return SummaryRow::Deviation;
    if (has("SPREAD") || has("STREUUNG") || has("SPREIDING") || has("ÉTENDUE") || has("ETENDUE") || has("ESTENSIONE") ||
        has("DISPERS") || has("SPRIDNING") || has("SPREDNING") || is("ES"))
        return SummaryRow::Spread;
    if (has("AVERAGE") || has("AVG") || has("DURCHSCHNITT") || has("MITTEL") || has("MOYEN") || has("MEDIA") ||
        has("PROMEDIO") || has("GEMIDDELD") || has("MÉDIA") || has("GENNEMSNIT") || has("GJENNOMSNITT") ||
        has("GENOMSNITT"))
        return SummaryRow::Average;
    if (has("NOTE") || has("NOTIZ") || has("NOTA"))
        return SummaryRow::Other;
    return SummaryRow::Unknown;
}

std::optional<double> grains(const QString& label, const FileNumber& value)
{
    static const QRegularExpression unit(QStringLiteral("\\(([^)]*)\\)?\\s*$"));
    const QString u = unit.match(label).captured(1).trimmed().toUpper();
    if (u.startsWith(QLatin1String("GR")) && !u.startsWith(QLatin1String("GRAM")))
        return value.value;
    if (u == QLatin1String("G") || u.startsWith(QLatin1String("GRAM")))
        return value.value * ballistics::kGrainsPerGramme;
    return std::nullopt;
}

void takeSummaryRow(ImportedString& s, const QString& label, const std::optional<FileNumber>& value)
{
    switch (summaryRow(label)) {
    case SummaryRow::Average:
        s.summary.average = value;
        break;
    case SummaryRow::Deviation:
        s.summary.deviation = value;
        break;
    case SummaryRow::Spread:
        s.summary.spread = value;
        break;
    case SummaryRow::Weight:
        if (value)
            if (const auto g = grains(label, *value))
                s.grains = *g;
        break;
    case SummaryRow::Other:
    case SummaryRow::Unknown:
        break;
    }
}

void startAtFirstShot(ImportedString& s)
{
    if (!s.when.isValid() || s.times.empty())
        return;
    const QTime first = import_text::clockTime(s.times.front());
    if (first.isValid())
        s.when.setTime(first);
}

} // namespace import_formats::shotview
