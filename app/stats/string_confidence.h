#pragma once

#include <QString>
#include <optional>
#include <vector>

// What a string's shots can say about the load, and how sure: the average and the standard
// deviation with their confidence intervals, and whether two strings differ beyond chance. The
// deviation here is the plain sample deviation (÷ n − 1), not the summary row's 0.95 × it.
namespace confidence {

inline constexpr double kLevel = 0.90;

struct Interval {
    double low = 0;
    double high = 0;
};

struct Estimate {
    int shots = 0;
    double mean = 0;
    double deviation = 0;               // ÷ n − 1; 0 below two shots
    std::optional<Interval> meanRange;  // Student's t, from two shots
    std::optional<Interval> deviationRange; // chi-square, from two shots
};

// The statistics of the velocities at the given confidence level.
Estimate estimate(const std::vector<double>& velocities, double level = kLevel);

// The same from the number of shots, their average and sample deviation.
Estimate estimateFrom(int shots, double mean, double deviation, double level = kLevel);

// The deviation dividing by n, as some devices give it.
double deviationByN(const std::vector<double>& velocities);

// How many shots make the interval of the deviation lie within ± `relative` of it.
int shotsToKnowDeviation(double relative = 0.20, double level = kLevel);

// Two strings: the difference of the averages with Welch's t-test, and the ratio of the
// variances with the F-test (both two-sided). None when a string has fewer than two shots, or
// no spread at all.
struct Comparison {
    double meanDifference = 0; // first − second
    double meanP = 1;          // chance of a difference at least this large if the loads were alike
    double welchDegrees = 0;
    double deviationRatio = 1; // first's deviation ÷ second's
    double deviationP = 1;
};
std::optional<Comparison> compare(const std::vector<double>& first, const std::vector<double>& second);

// "SD 8.7 fps (6.9 to 12.0 at 90 %, 19 shots)", "Average 2792.1 fps (2788.6 to 2795.6 at 90 %)";
// numbers with one decimal and a point, as the chart's labels are.
QString deviationText(const Estimate& e, const QString& unit);
QString averageText(const Estimate& e, const QString& unit);
// A chance in words: "less than 1 time in 100", "about 1 time in 12", "more than 1 time in 2".
QString chanceText(double p);
// The comparison of two strings in words, a sentence for the averages and one for the deviations.
QString comparisonText(const Comparison& c, const Estimate& first, const Estimate& second, const QString& unit);
// "About 35 shots would pin the deviation to ± 20 % (at 90 %); this string has 19."
QString shotsNeededText(int shots);

// The statistics of selected strings in words: for one, its average and deviation with their
// intervals and how many shots would pin the deviation; for two, whether they differ beyond chance.
QString selectionText(const std::vector<std::vector<double>>& strings, const QString& unit);

} // namespace confidence
