#include "load_ladder.h"

#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <boost/math/distributions/students_t.hpp>
#include <cmath>
#include <numeric>

namespace load_ladder {

namespace {

QString number(double value, int decimals)
{
    return QLocale::c().toString(value, 'f', decimals);
}

// A charge as its steps are written: as many decimals as the label needs, at least one.
QString chargeText(double charge, ChargeUnit unit)
{
    int decimals = 1;
    while (decimals < 3 &&
           std::abs(charge - std::round(charge * std::pow(10.0, decimals)) / std::pow(10.0, decimals)) > 1e-9)
        ++decimals;
    return number(charge, decimals) + u' ' + unitSymbol(unit);
}

} // namespace

std::optional<Charge> parseCharge(const QString& label)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*(\\d+(?:[.,]\\d+)?)\\s*(grains?|grs?|gns?|grammes?|grams?|g)\\.?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = pattern.match(label);
    if (!m.hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = QString(m.captured(1)).replace(u',', u'.').toDouble(&ok);
    if (!ok || !std::isfinite(value) || value <= 0)
        return std::nullopt;
    const QString unit = m.captured(2).toLower();
    const bool grams = unit == u"g" || unit.startsWith(u"gram");
    return Charge{value, grams ? ChargeUnit::Grams : ChargeUnit::Grains};
}

QString unitName(ChargeUnit unit)
{
    return unit == ChargeUnit::Grams ? QStringLiteral("gram") : QStringLiteral("grain");
}

QString unitSymbol(ChargeUnit unit)
{
    return unit == ChargeUnit::Grams ? QStringLiteral("g") : QStringLiteral("gr");
}

std::optional<Line> fitLine(const std::vector<double>& x, const std::vector<double>& y, double level)
{
    const size_t n = std::min(x.size(), y.size());
    if (n < 2)
        return std::nullopt;
    const double mx = std::accumulate(x.begin(), x.begin() + std::ptrdiff_t(n), 0.0) / double(n);
    const double my = std::accumulate(y.begin(), y.begin() + std::ptrdiff_t(n), 0.0) / double(n);
    double sxx = 0, sxy = 0;
    for (size_t i = 0; i < n; ++i) {
        sxx += (x[i] - mx) * (x[i] - mx);
        sxy += (x[i] - mx) * (y[i] - my);
    }
    if (sxx <= 0)
        return std::nullopt; // every point at one x: no slope
    Line line;
    line.slope = sxy / sxx;
    line.intercept = my - line.slope * mx;
    if (n >= 3) {
        double residuals = 0;
        for (size_t i = 0; i < n; ++i)
            residuals += (y[i] - line.at(x[i])) * (y[i] - line.at(x[i]));
        const double df = double(n - 2);
        const double standardError = std::sqrt(residuals / df / sxx);
        const double t = boost::math::quantile(boost::math::complement(boost::math::students_t(df), (1 - level) / 2));
        line.slopeRange = confidence::Interval{line.slope - t * standardError, line.slope + t * standardError};
    }
    return line;
}

std::vector<std::pair<size_t, size_t>> Ladder::flatSpots() const
{
    std::vector<std::pair<size_t, size_t>> runs;
    for (size_t i = 0; i < neighbours.size(); ++i) {
        if (!neighbours[i].flat())
            continue;
        if (!runs.empty() && runs.back().second == i)
            runs.back().second = i + 1;
        else
            runs.emplace_back(i, i + 1);
    }
    return runs;
}

std::optional<Ladder> byCharge(const std::vector<Labelled>& strings)
{
    std::vector<Charge> charges;
    for (const Labelled& s : strings) {
        const auto c = parseCharge(s.label);
        if (!c)
            return std::nullopt;
        charges.push_back(*c);
    }
    Ladder ladder;
    const bool anyGrains =
        std::any_of(charges.begin(), charges.end(), [](const Charge& c) { return c.unit == ChargeUnit::Grains; });
    ladder.unit = anyGrains ? ChargeUnit::Grains : ChargeUnit::Grams;
    for (size_t i = 0; i < strings.size(); ++i) {
        const double value = charges[i].unit == ladder.unit ? charges[i].value : charges[i].value * kGrainsPerGram;
        // "37.5 gr" and "37.50gr" are one step; grams turned into grains may differ in the last bits.
        auto step = std::find_if(ladder.steps.begin(), ladder.steps.end(),
                                 [&](const Step& s) { return std::abs(s.charge - value) <= 1e-9 * value; });
        if (step == ladder.steps.end()) {
            ladder.steps.push_back({value, strings[i].label.trimmed(), {}, {}, {}});
            step = ladder.steps.end() - 1;
        }
        step->strings.push_back(i);
        step->velocities.insert(step->velocities.end(), strings[i].velocities.begin(), strings[i].velocities.end());
    }
    if (ladder.steps.size() < 2)
        return std::nullopt;
    std::stable_sort(ladder.steps.begin(), ladder.steps.end(),
                     [](const Step& a, const Step& b) { return a.charge < b.charge; });
    std::vector<double> x, y;
    for (Step& s : ladder.steps) {
        s.estimate = confidence::estimate(s.velocities);
        // A step without shots has no average to fit.
        if (s.estimate.shots > 0) {
            x.push_back(s.charge);
            y.push_back(s.estimate.mean);
        }
    }
    ladder.fit = fitLine(x, y);
    for (size_t i = 0; i + 1 < ladder.steps.size(); ++i)
        ladder.neighbours.push_back({confidence::compare(ladder.steps[i].velocities, ladder.steps[i + 1].velocities)});
    return ladder;
}

QString slopeText(double slope, const QString& speedUnit, ChargeUnit unit)
{
    QString figure = QStringLiteral("0");
    if (slope != 0 && std::isfinite(slope)) {
        const int magnitude = int(std::floor(std::log10(std::abs(slope))));
        const double scale = std::pow(10.0, magnitude - 1);
        const double rounded = std::round(slope / scale) * scale;
        figure = number(std::abs(rounded), std::max(0, 1 - magnitude));
        if (rounded < 0)
            figure.prepend(QChar(0x2212));
    }
    return QStringLiteral("about %1 %2 per %3").arg(figure, speedUnit, unitName(unit));
}

QStringList describe(const Ladder& ladder, const QString& speedUnit)
{
    QStringList lines;
    const auto charge = [&](size_t step) { return chargeText(ladder.steps[step].charge, ladder.unit); };
    if (ladder.fit) {
        QString text = QStringLiteral("Line through the averages (least squares, each step counted once): ") +
                       slopeText(ladder.fit->slope, speedUnit, ladder.unit);
        if (ladder.fit->slopeRange)
            text += QStringLiteral(" (%1 to %2 at 90 %)")
                        .arg(number(ladder.fit->slopeRange->low, 1), number(ladder.fit->slopeRange->high, 1));
        lines.append(text + u'.');
    }
    for (const auto& [first, last] : ladder.flatSpots()) {
        if (last == first + 1) {
            lines.append(QStringLiteral("Flat spot from %1 to %2: their averages differ by %3 %4, which would arise "
                                        "by chance %5.")
                             .arg(charge(first), charge(last),
                                  number(std::abs(ladder.neighbours[first].comparison->meanDifference), 1), speedUnit,
                                  confidence::chanceText(ladder.neighbours[first].comparison->meanP)));
        } else {
            lines.append(QStringLiteral("Flat spot from %1 to %2: no step's average there differs from its "
                                        "neighbour's beyond chance.")
                             .arg(charge(first), charge(last)));
        }
    }
    const auto tested = std::count_if(ladder.neighbours.begin(), ladder.neighbours.end(),
                                      [](const Neighbours& n) { return n.comparison.has_value(); });
    if (tested < std::ptrdiff_t(ladder.neighbours.size()))
        lines.append(tested == 0 ? QStringLiteral("No two neighbouring steps can be compared: each needs two shots "
                                                  "or more, not all alike.")
                                 : QStringLiteral("Steps of fewer than two shots, or of shots all alike, are not "
                                                  "compared with their neighbours."));
    else if (ladder.flatSpots().empty())
        lines.append(QStringLiteral("Each step's average differs from its neighbour's beyond chance: no flat spot."));
    return lines;
}

} // namespace load_ladder
