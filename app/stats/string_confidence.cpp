#include "string_confidence.h"

#include <QLocale>
#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/fisher_f.hpp>
#include <boost/math/distributions/students_t.hpp>
#include <algorithm>
#include <cmath>
#include <numeric>

namespace confidence {

namespace {

double meanOf(const std::vector<double>& v)
{
    return std::accumulate(v.begin(), v.end(), 0.0) / double(v.size());
}

double squaresAbout(const std::vector<double>& v, double mean)
{
    double sum = 0;
    for (double x : v)
        sum += (x - mean) * (x - mean);
    return sum;
}

QString one(double value)
{
    return QLocale::c().toString(value, 'f', 1);
}

} // namespace

Estimate estimate(const std::vector<double>& velocities, double level)
{
    if (velocities.empty())
        return {};
    const double mean = meanOf(velocities);
    const double deviation =
        velocities.size() > 1 ? std::sqrt(squaresAbout(velocities, mean) / double(velocities.size() - 1)) : 0;
    return estimateFrom(int(velocities.size()), mean, deviation, level);
}

Estimate estimateFrom(int shots, double mean, double deviation, double level)
{
    Estimate e;
    e.shots = shots;
    if (e.shots == 0)
        return e;
    e.mean = mean;
    if (e.shots < 2)
        return e;
    const double df = e.shots - 1;
    e.deviation = deviation;
    const double tail = (1 - level) / 2;
    const boost::math::students_t t(df);
    const double halfWidth = boost::math::quantile(boost::math::complement(t, tail)) * e.deviation /
                             std::sqrt(double(e.shots));
    e.meanRange = Interval{e.mean - halfWidth, e.mean + halfWidth};
    const boost::math::chi_squared chi(df);
    e.deviationRange = Interval{e.deviation * std::sqrt(df / boost::math::quantile(boost::math::complement(chi, tail))),
                                e.deviation * std::sqrt(df / boost::math::quantile(chi, tail))};
    return e;
}

double deviationByN(const std::vector<double>& velocities)
{
    if (velocities.empty())
        return 0;
    return std::sqrt(squaresAbout(velocities, meanOf(velocities)) / double(velocities.size()));
}

int shotsToKnowDeviation(double relative, double level)
{
    const double tail = (1 - level) / 2;
    for (int n = 2; n < 100000; ++n) {
        const boost::math::chi_squared chi(n - 1);
        const double high = std::sqrt((n - 1) / boost::math::quantile(chi, tail));
        const double low = std::sqrt((n - 1) / boost::math::quantile(boost::math::complement(chi, tail)));
        if (high <= 1 + relative && low >= 1 - relative)
            return n;
    }
    return 100000;
}

std::optional<Comparison> compare(const std::vector<double>& first, const std::vector<double>& second)
{
    if (first.size() < 2 || second.size() < 2)
        return std::nullopt;
    const double n1 = double(first.size());
    const double n2 = double(second.size());
    const double m1 = meanOf(first);
    const double m2 = meanOf(second);
    const double v1 = squaresAbout(first, m1) / (n1 - 1);
    const double v2 = squaresAbout(second, m2) / (n2 - 1);
    if (v1 <= 0 || v2 <= 0)
        return std::nullopt;
    Comparison c;
    c.meanDifference = m1 - m2;
    const double a = v1 / n1;
    const double b = v2 / n2;
    c.welchDegrees = (a + b) * (a + b) / (a * a / (n1 - 1) + b * b / (n2 - 1));
    const double t = std::abs(c.meanDifference) / std::sqrt(a + b);
    c.meanP = std::min(1.0, 2 * boost::math::cdf(boost::math::complement(boost::math::students_t(c.welchDegrees), t)));
    c.deviationRatio = std::sqrt(v1 / v2);
    const boost::math::fisher_f f(n1 - 1, n2 - 1);
    const double below = boost::math::cdf(f, v1 / v2);
    c.deviationP = std::min(1.0, 2 * std::min(below, 1 - below));
    return c;
}

QString deviationText(const Estimate& e, const QString& unit)
{
    if (!e.deviationRange)
        return QStringLiteral("SD needs two shots or more");
    return QStringLiteral("SD %1 %2 (%3 to %4 at 90 %, %5 shots)")
        .arg(one(e.deviation), unit, one(e.deviationRange->low), one(e.deviationRange->high))
        .arg(e.shots);
}

QString averageText(const Estimate& e, const QString& unit)
{
    if (!e.meanRange)
        return QStringLiteral("Average %1 %2 (one shot)").arg(one(e.mean), unit);
    return QStringLiteral("Average %1 %2 (%3 to %4 at 90 %)")
        .arg(one(e.mean), unit, one(e.meanRange->low), one(e.meanRange->high));
}

QString chanceText(double p)
{
    if (p < 0.001)
        return QStringLiteral("less than 1 time in 1000");
    if (p < 0.01)
        return QStringLiteral("less than 1 time in 100");
    if (p >= 0.5)
        return QStringLiteral("more than 1 time in 2");
    return QStringLiteral("about 1 time in %1").arg(std::round(1 / p));
}

QString comparisonText(const Comparison& c, const Estimate& first, const Estimate& second, const QString& unit)
{
    const bool differs = c.meanP < 0.10;
    QString text = QStringLiteral("The averages differ by %1 %2; a difference this large would arise by chance %3")
                       .arg(one(std::abs(c.meanDifference)), unit, chanceText(c.meanP));
    text += differs ? QStringLiteral(".") : QStringLiteral(", so it may well be chance.");
    const bool deviationsDiffer = c.deviationP < 0.10;
    text += QStringLiteral(" The deviations are %1 and %2 %3; a ratio this large would arise by chance %4")
                .arg(one(first.deviation), one(second.deviation), unit, chanceText(c.deviationP));
    text += deviationsDiffer ? QStringLiteral(".") : QStringLiteral(", so it may well be chance.");
    return text;
}

QString shotsNeededText(int shots)
{
    const int needed = shotsToKnowDeviation();
    return QStringLiteral("%1 shots would pin the deviation to ± 20 % (at 90 %); this string has %2.")
        .arg(needed)
        .arg(shots);
}

QString selectionText(const std::vector<std::vector<double>>& strings, const QString& unit)
{
    if (strings.empty())
        return {};
    if (strings.size() > 2)
        return QStringLiteral("Select one string for its statistics, or two to compare them.");
    const Estimate first = estimate(strings.front());
    const QString own = QStringLiteral("%1; %2. ").arg(averageText(first, unit), deviationText(first, unit));
    if (strings.size() == 1) {
        QString text = own + QStringLiteral("The deviation here divides by n − 1 (the summary shows 0.95 × it).");
        if (first.shots >= 2 && first.shots < shotsToKnowDeviation())
            text += u' ' + shotsNeededText(first.shots);
        return text;
    }
    const Estimate second = estimate(strings.back());
    const auto c = compare(strings.front(), strings.back());
    QString text = QStringLiteral("First: %1; second: %2. ")
                       .arg(deviationText(first, unit), deviationText(second, unit));
    if (!c)
        return text + QStringLiteral("Each string needs two shots or more, not all alike, to be compared.");
    return text + comparisonText(*c, first, second, unit);
}

} // namespace confidence
